#include <limits.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>

#include "bench/qhbench/commands.h"
#include "platform/codepage.h"
#include "platform/drives.h"

namespace qhbench {

std::optional<std::u16string> DriveFormOf(const std::string& posixPath) {
  char resolved[PATH_MAX];
  if (!realpath(posixPath.c_str(), resolved)) {
    std::fprintf(stderr, "qh-bench: no file or folder %s\n", posixPath.c_str());
    return std::nullopt;
  }
  std::optional<std::u16string> drive = platform::DrivePath(resolved);
  if (!drive) std::fprintf(stderr, "qh-bench: %s lies on no drive of the drive map\n", resolved);
  return drive;
}

void WriteUtf8InSlices(std::u16string_view text) {
  constexpr size_t kSlice = size_t{1} << 20;
  for (size_t at = 0; at < text.size();) {
    size_t end = std::min(text.size(), at + kSlice);
    if (end < text.size() && text[end - 1] >= 0xD800 && text[end - 1] <= 0xDBFF) --end;
    const std::string slice = platform::WideToPosixUtf8(text.substr(at, end - at));
    std::fwrite(slice.data(), 1, slice.size(), stdout);
    at = end;
  }
}

}  // namespace qhbench

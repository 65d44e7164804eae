#include <limits.h>
#include <stdlib.h>

#include <cstdio>

#include "bench/qhbench/commands.h"
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

}  // namespace qhbench

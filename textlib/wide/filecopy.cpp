#include "textlib/wide/filecopy.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"

namespace textlib {

int CopyFileKeepDate(const std::string& source, const std::string& target) {
  std::vector<char> buffer(4096);
  const std::string from = platform::PosixPath(platform::AnsiToWide(source));
  const std::string to = platform::PosixPath(platform::AnsiToWide(target));
  auto attributes = platform::Stat(from);
  if (from.empty() || !attributes || attributes->isDirectory) return kCopySourceUnreadable;
  platform::NativeFile in = platform::NativeFile::Open(from, platform::FileAccess::Read);
  if (!in.Valid()) return kCopySourceUnreadable;
  // Creating the target truncates it: were it the source itself (or a link to it), the
  // copy would destroy the data it is about to read.
  std::error_code sameError;
  if (to.empty() || std::filesystem::equivalent(from, to, sameError)) return kCopyTargetNotCreated;
  platform::NativeFile out = platform::NativeFile::Create(to);
  if (!out.Valid()) return kCopyTargetNotCreated;

  auto fail = [&](int code) {
    int saved = platform::LastError();
    out.Close();
    platform::RemoveFile(to);
    platform::SetLastError(saved);
    return code;
  };
  while (true) {
    // Read and Write retry interrupted and partial transfers, so a short read is the end.
    int64_t got = in.Read(buffer.data(), static_cast<int64_t>(buffer.size()));
    if (got < 0) return fail(kCopySourceUnreadable);  // a failed read is not the end
    if (got > 0 && out.Write(buffer.data(), got) != got) return fail(kCopyShortWrite);
    if (got < static_cast<int64_t>(buffer.size())) break;
  }
  auto date = platform::Stat(from);
  if (!date) return fail(kCopyNoSourceDate);
  out.Close();
  platform::SetModificationTime(to, date->mtimeSeconds, date->mtimeNanos);
  platform::SetPermissions(to, attributes->mode & 07777);
  return kCopyOk;
}

}  // namespace textlib

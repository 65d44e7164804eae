#pragma once
// Copies one file in 4096-byte blocks and carries over its modification time and mode.
// Names are 8-bit in the ANSI code page (drive form), so a name outside that code page
// cannot be reached. A failure after the target was created deletes the target; a target
// that is the source itself is refused as not creatable.
#include <string>

namespace textlib {

enum CopyFileResult : int {
  kCopyOk = 0,
  kCopySourceUnreadable = 1,  // missing, not openable, or a read failed
  kCopyTargetNotCreated = 2,
  kCopyShortWrite = 4,
  kCopyNoSourceDate = 5,
};

int CopyFileKeepDate(const std::string& source, const std::string& target);

}  // namespace textlib

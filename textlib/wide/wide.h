#pragma once
// The wide platform layer: file functions, string routines and code-page conversions on
// UTF-16 texts and drive-form paths ("C:\a\b"). Everything here is the wide path only:
// this platform always has the wide interface, so the ANSI-only fallbacks do not exist
// and the two platform flags are constants. Paths reach the file system only through the
// drive map (platform/drives.h), so names of any length and any character work.
#include "textlib/errors.h"

namespace textlib {

inline constexpr bool PlatformHasWideApi = true;
inline constexpr bool PlatformAtLeastXP = true;

class EUniGeneralError : public Exception {
 public:
  using Exception::Exception;
};

class EUniInternalError : public Exception {
 public:
  using Exception::Exception;
};

// Raised by WideFormat for a format that does not fit its arguments.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// The class library's exception for the thread's last error.
[[noreturn]] void RaiseLastSystemError();
// value when it is not 0, else RaiseLastSystemError.
long long CheckWin32Result(long long value);

}  // namespace textlib

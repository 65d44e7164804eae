#pragma once
// Exceptions of the library, with the class library's fixed German texts. The message
// is wide; what() gives it as UTF-8.
#include <exception>
#include <string>

namespace textlib {

class Exception : public std::exception {
 public:
  explicit Exception(std::u16string message);
  const std::u16string& Message() const { return message_; }
  const char* what() const noexcept override { return utf8_.c_str(); }

 private:
  std::u16string message_;
  std::string utf8_;
};

#define TEXTLIB_EXCEPTION(Name)          \
  class Name : public Exception {        \
   public:                               \
    using Exception::Exception;          \
  }

TEXTLIB_EXCEPTION(EStringListError);
TEXTLIB_EXCEPTION(EResNotFound);
TEXTLIB_EXCEPTION(EStreamError);
TEXTLIB_EXCEPTION(EReadError);
TEXTLIB_EXCEPTION(EWriteError);
TEXTLIB_EXCEPTION(EFCreateError);
TEXTLIB_EXCEPTION(EFOpenError);
#undef TEXTLIB_EXCEPTION

class EWin32Error : public Exception {
 public:
  EWin32Error(int code, std::u16string message) : Exception(std::move(message)), code_(code) {}
  int Code() const { return code_; }

 private:
  int code_;
};

// The class library's error for a failed platform call: "Systemfehler. Code: %d.\n%s",
// or "Eine Systemfunktion ist fehlgeschlagen" for code 0.
EWin32Error MakeWin32Error(int code);

// Decimal text of a number, for the "%d" of the fixed texts.
std::u16string NumberText(long long value);

}  // namespace textlib

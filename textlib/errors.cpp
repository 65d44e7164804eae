#include "textlib/errors.h"

#include "platform/codepage.h"
#include "platform/file.h"

namespace textlib {

Exception::Exception(std::u16string message)
    : message_(std::move(message)), utf8_(platform::WideToPosixUtf8(message_)) {}

std::u16string NumberText(long long value) {
  std::string digits = std::to_string(value);
  return std::u16string(digits.begin(), digits.end());
}

EWin32Error MakeWin32Error(int code) {
  if (code == 0) return EWin32Error(0, u"Eine Systemfunktion ist fehlgeschlagen");
  auto text = platform::PosixUtf8ToWide(platform::SystemErrorText(code));
  return EWin32Error(code, u"Systemfehler. Code: " + NumberText(code) + u".\n" +
                               text.value_or(u""));
}

}  // namespace textlib

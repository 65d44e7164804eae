#pragma once
// Small databases in the stored formats: the UTF-8 store's records (" ", " ", "#" + path,
// "=" x half the path's length, text; CR LF between entries) and the MHT store's blocks
// (UTF-16LE with FF FE: " ", "#" + path, 50 "=", " ", text).
#include <string>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "textlib/unicode.h"

namespace searchtest {

struct Doc {
  std::u16string path;  // drive form
  std::u16string text;
};

inline std::string Utf8Store(const std::vector<Doc>& docs) {
  std::string out;
  for (const auto& d : docs) {
    out += " \r\n \r\n#" + platform::WideToPosixUtf8(d.path) + "\r\n" + std::string(d.path.size() / 2, '=') + "\r\n" +
           platform::WideToPosixUtf8(d.text) + "\r\n";
  }
  return out;
}

inline std::string Utf16LE(std::u16string_view text) {
  std::string out;
  for (char16_t c : text) {
    out += static_cast<char>(c & 0xFF);
    out += static_cast<char>(c >> 8);
  }
  return out;
}

inline std::string MhtStore(const std::vector<Doc>& docs) {
  std::u16string text;
  for (const auto& d : docs)
    text += u" \r\n#" + d.path + u"\r\n" + std::u16string(50, u'=') + u"\r\n \r\n" + d.text + u"\r\n";
  return "\xFF\xFE" + Utf16LE(text);
}

}  // namespace searchtest

#include "textlib/wide/utf.h"

#include <array>
#include <vector>

#include "platform/collate.h"
#include "textlib/wide/wide.h"

namespace textlib {

namespace {

bool PairAt(const char16_t* s, size_t i, size_t n) {
  return s[i] >= 0xD800 && s[i] < 0xDC00 && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000;
}

}  // namespace

// A surrogate pair is one four-byte sequence, as in every UTF-8 the program writes; a
// lone half keeps its three-byte form so that any text comes back as it was.
size_t WideCharsToUtf8(char* target, size_t targetBytes, const char16_t* source, size_t sourceLength) {
  if (!source) return 0;
  size_t count = 0;
  if (!target) {
    for (size_t i = 0; i < sourceLength; ++i) {
      const char16_t u = source[i];
      if (PairAt(source, i, sourceLength)) {
        count += 4;
        ++i;
      } else {
        count += u < 0x80 ? 1 : u < 0x800 ? 2 : 3;
      }
    }
    return count + 1;
  }
  if (targetBytes == 0) return 0;
  // Keeps the last byte for the terminator, so a full target never ends in a sequence
  // cut short by it.
  const size_t room = targetBytes - 1;
  for (size_t i = 0; i < sourceLength; ++i) {
    const char16_t u = source[i];
    unsigned char bytes[4];
    size_t n;
    const bool pair = PairAt(source, i, sourceLength);
    if (pair) {
      const char32_t v = 0x10000 + ((char32_t{u} - 0xD800) << 10) + (source[i + 1] - 0xDC00);
      bytes[0] = static_cast<unsigned char>(0xF0 | (v >> 18));
      bytes[1] = static_cast<unsigned char>(0x80 | ((v >> 12) & 0x3F));
      bytes[2] = static_cast<unsigned char>(0x80 | ((v >> 6) & 0x3F));
      bytes[3] = static_cast<unsigned char>(0x80 | (v & 0x3F));
      n = 4;
    } else if (u < 0x80) {
      bytes[0] = static_cast<unsigned char>(u);
      n = 1;
    } else if (u < 0x800) {
      bytes[0] = static_cast<unsigned char>(0xC0 | (u >> 6));
      bytes[1] = static_cast<unsigned char>(0x80 | (u & 0x3F));
      n = 2;
    } else {
      bytes[0] = static_cast<unsigned char>(0xE0 | (u >> 12));
      bytes[1] = static_cast<unsigned char>(0x80 | ((u >> 6) & 0x3F));
      bytes[2] = static_cast<unsigned char>(0x80 | (u & 0x3F));
      n = 3;
    }
    if (count + n > room) break;
    for (size_t k = 0; k < n; ++k) target[count++] = static_cast<char>(bytes[k]);
    if (pair) ++i;
  }
  target[count] = '\0';
  return count + 1;
}

std::string WideToUtf8(std::u16string_view text) {
  if (text.empty()) return {};
  // Three bytes per unit (four per pair) and the terminator: every text fits.
  std::string out(text.size() * 3 + 1, '\0');
  size_t written = WideCharsToUtf8(out.data(), out.size(), text.data(), text.size());
  out.resize(written - 1);
  return out;
}

ptrdiff_t Utf8ToWideChars(char16_t* target, size_t targetUnits, const char* source, size_t sourceBytes) {
  if (!source) return 0;
  if (target && targetUnits == 0) return 0;
  const auto* s = reinterpret_cast<const unsigned char*>(source);
  const size_t room = target ? targetUnits - 1 : SIZE_MAX;
  size_t count = 0, i = 0;
  auto continuation = [&](size_t at) { return at < sourceBytes && (s[at] & 0xC0) == 0x80; };
  while (i < sourceBytes) {
    char16_t units[2];
    size_t n = 1;
    unsigned char lead = s[i];
    if (lead < 0x80) {
      units[0] = lead;
      i += 1;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      // Four-byte sequences carry the characters above U+FFFF.
      if (!continuation(i + 1) || !continuation(i + 2) || !continuation(i + 3)) return -1;
      char32_t c = char32_t(lead & 0x07) << 18 | char32_t(s[i + 1] & 0x3F) << 12 |
                   char32_t(s[i + 2] & 0x3F) << 6 | char32_t(s[i + 3] & 0x3F);
      if (c < 0x10000 || c > 0x10FFFF) return -1;
      c -= 0x10000;
      units[0] = static_cast<char16_t>(0xD800 | (c >> 10));
      units[1] = static_cast<char16_t>(0xDC00 | (c & 0x3FF));
      n = 2;
      i += 4;
    } else if (lead & 0x20) {
      if (!continuation(i + 1) || !continuation(i + 2)) return -1;
      units[0] = static_cast<char16_t>((lead & 0x0F) << 12 | (s[i + 1] & 0x3F) << 6 | (s[i + 2] & 0x3F));
      i += 3;
    } else {
      if (!continuation(i + 1)) return -1;
      units[0] = static_cast<char16_t>((lead & 0x3F) << 6 | (s[i + 1] & 0x3F));
      i += 2;
    }
    if (count + n > room) break;
    if (target)
      for (size_t k = 0; k < n; ++k) target[count + k] = units[k];
    count += n;
  }
  if (target) target[count] = 0;
  return static_cast<ptrdiff_t>(count + 1);
}

std::u16string Utf8ToWide(std::string_view bytes) {
  if (bytes.empty()) return {};
  std::u16string out(bytes.size() + 1, u'\0');
  ptrdiff_t written = Utf8ToWideChars(out.data(), out.size(), bytes.data(), bytes.size());
  if (written < 1) return {};
  out.resize(static_cast<size_t>(written - 1));
  return out;
}

namespace {

constexpr char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

struct Utf7Tables {
  std::array<bool, 128> direct{};  // Set D, Set O and white space
  std::array<bool, 128> base64{};
  std::array<int8_t, 128> value{};
  Utf7Tables() {
    value.fill(-1);
    for (int i = 0; i < 64; ++i) {
      base64[static_cast<unsigned char>(kBase64[i])] = true;
      value[static_cast<unsigned char>(kBase64[i])] = static_cast<int8_t>(i);
    }
    for (char c : std::string_view("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789'(),-./:?"))
      direct[static_cast<unsigned char>(c)] = true;
    for (char c : std::string_view("!\"#$%&*;<=>@[]^_`{|}")) direct[static_cast<unsigned char>(c)] = true;
    for (char c : std::string_view("\t\r\n ")) direct[static_cast<unsigned char>(c)] = true;
  }
};

const Utf7Tables& Tables() {
  static const Utf7Tables tables;  // built once, on first use
  return tables;
}

}  // namespace

std::string WideToUtf7(std::u16string_view text) {
  const Utf7Tables& t = Tables();
  std::string out;
  bool shifted = false;
  uint32_t bits = 0;
  int bitCount = 0;
  auto flush = [&] {
    if (bitCount > 0) out.push_back(kBase64[(bits << (6 - bitCount)) & 0x3F]);
    bits = 0;
    bitCount = 0;
  };
  for (char16_t c : text) {
    if (c < 0x80 && t.direct[c]) {
      if (shifted) {
        flush();
        if (t.base64[c] || c == u'-') out.push_back('-');
        shifted = false;
      }
      out.push_back(static_cast<char>(c));
    } else if (c == u'+' && !shifted) {
      out += "+-";
    } else {
      if (!shifted) {
        out.push_back('+');
        shifted = true;
      }
      bits = bits << 16 | c;
      bitCount += 16;
      while (bitCount >= 6) {
        bitCount -= 6;
        out.push_back(kBase64[(bits >> bitCount) & 0x3F]);
      }
      bits &= (1u << bitCount) - 1;
    }
  }
  if (shifted) flush();
  return out;
}

std::u16string Utf7ToWide(std::string_view bytes) {
  const Utf7Tables& t = Tables();
  std::u16string out;
  out.reserve(bytes.size());
  bool invalid = false;
  size_t i = 0;
  while (i < bytes.size()) {
    unsigned char b = static_cast<unsigned char>(bytes[i++]);
    if (b != '+') {
      if (b >= 0x80) invalid = true;  // still copied
      out.push_back(b);
      continue;
    }
    if (i < bytes.size() && bytes[i] == '-') {
      out.push_back(u'+');
      ++i;
      continue;
    }
    uint32_t bits = 0;
    int bitCount = 0;
    bool produced = false;
    while (i < bytes.size()) {
      unsigned char c = static_cast<unsigned char>(bytes[i]);
      if (c >= 0x80 || !t.base64[c]) break;
      bits = (bits << 6 | static_cast<uint32_t>(t.value[c])) & 0xFFFFFF;
      bitCount += 6;
      if (bitCount >= 16) {
        bitCount -= 16;
        out.push_back(static_cast<char16_t>(bits >> bitCount));
        produced = true;
      }
      ++i;
    }
    if (!produced) invalid = true;
    if (bitCount > 0 && (bits & ((1u << bitCount) - 1)) != 0) invalid = true;
    if (i < bytes.size() && bytes[i] == '-') ++i;  // the run's closing "-" is dropped
  }
  if (invalid) throw EUniGeneralError(u"Invalid UTF7");
  return out;
}

namespace {

CodePage ResolveCodePage(CodePage cp) {
  switch (cp) {
    case 0: case 3: return platform::GetACP();
    case 1: return platform::GetOEMCP();
    case 2: return platform::GetMacCP();
    default: return cp;
  }
}

}  // namespace

std::u16string StringToWideCP(std::string_view bytes, CodePage cp) {
  if (cp == platform::kCpUtf7) return Utf7ToWide(bytes);
  if (cp == platform::kCpUtf8) return Utf8ToWide(bytes);
  return platform::MultiByteToWide(ResolveCodePage(cp), bytes).value_or(std::u16string());
}

std::string WideToStringCP(std::u16string_view text, CodePage cp) {
  if (cp == platform::kCpUtf7) return WideToUtf7(text);
  if (cp == platform::kCpUtf8) return WideToUtf8(text);
  return platform::WideToMultiByte(ResolveCodePage(cp), text).value_or(std::string());
}

CodePage LocaleCodePage(uint32_t locale) {
  CodePage cp = platform::LocaleDefaultAnsiCodePage(locale);
  return cp != 0 ? cp : platform::GetACP();
}

CodePage KeyboardCodePage() { return LocaleCodePage(platform::GetUserDefaultLcid()); }

char16_t KeyCharToWide(uint32_t code) {
  if (code >= 256) return static_cast<char16_t>(code);
  const char byte = static_cast<char>(code);
  auto wide = platform::MultiByteToWide(KeyboardCodePage(), std::string_view(&byte, 1));
  return wide && wide->size() == 1 ? (*wide)[0] : static_cast<char16_t>(code);
}

void SwapWideBytes(char16_t* buffer) {
  if (!buffer) return;
  for (; *buffer; ++buffer) *buffer = static_cast<char16_t>((*buffer >> 8) | (*buffer << 8));
}

}  // namespace textlib

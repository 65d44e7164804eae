#include "textlib/wide/widestr.h"

#include <cmath>
#include <cstdio>

#include "platform/codepage.h"
#include "textlib/unicode.h"
#include "textlib/wide/wide.h"

namespace textlib {
namespace {

std::u16string Ascii(std::string_view s) { return std::u16string(s.begin(), s.end()); }

class Formatter {
 public:
  Formatter(std::u16string_view format, std::span<const FormatArg> args) : format_(format), args_(args) {}

  std::u16string Run() {
    std::u16string out;
    size_t i = 0;
    while (i < format_.size()) {
      char16_t c = format_[i++];
      if (c != u'%') {
        out.push_back(c);
        continue;
      }
      if (i < format_.size() && format_[i] == u'%') {
        out.push_back(u'%');
        ++i;
        continue;
      }
      out += Directive(i);
    }
    return out;
  }

 private:
  [[noreturn]] void Invalid() const {
    throw EConvertError(u"Format '" + std::u16string(format_) + u"' ungültig oder nicht kompatibel mit Argument");
  }

  const FormatArg& NextArg() {
    if (next_ >= args_.size())
      throw EConvertError(u"Kein Argument für Format '" + std::u16string(format_) + u"'");
    return args_[next_++];
  }

  // Widths and precisions beyond this would only ask for absurd amounts of padding.
  static constexpr long long kMaxNumber = 1 << 20;

  // A number, or "*" taking the next integer argument; -1 when absent.
  long long Number(size_t& i) {
    if (i < format_.size() && format_[i] == u'*') {
      ++i;
      const auto* v = std::get_if<long long>(&NextArg().Get());
      if (!v || *v > kMaxNumber) Invalid();
      return *v;
    }
    if (i >= format_.size() || format_[i] < u'0' || format_[i] > u'9') return -1;
    long long n = 0;
    while (i < format_.size() && format_[i] >= u'0' && format_[i] <= u'9') {
      n = n * 10 + (format_[i++] - u'0');
      if (n > kMaxNumber) Invalid();
    }
    return n;
  }

  std::u16string Directive(size_t& i) {
    const size_t start = i, startArg = next_;
    long long first = Number(i);
    if (i < format_.size() && format_[i] == u':') {
      ++i;
      if (first < 0 || static_cast<size_t>(first) > args_.size()) Invalid();
      next_ = static_cast<size_t>(first);
    } else {
      i = start;  // not an index: read it again as the width
      next_ = startArg;
    }
    bool left = false;
    if (i < format_.size() && format_[i] == u'-') {
      left = true;
      ++i;
    }
    long long width = Number(i);
    long long precision = -1;
    if (i < format_.size() && format_[i] == u'.') {
      ++i;
      precision = Number(i);
      if (precision < 0) precision = 0;
    }
    if (i >= format_.size()) Invalid();
    char16_t type = format_[i++];
    if (type >= u'A' && type <= u'Z') type = static_cast<char16_t>(type - u'A' + u'a');
    std::u16string text = Convert(type, precision);
    if (width > 0 && text.size() < static_cast<size_t>(width)) {
      std::u16string pad(static_cast<size_t>(width) - text.size(), u' ');
      text = left ? text + pad : pad + text;
    }
    return text;
  }

  std::u16string Convert(char16_t type, long long precision) {
    const FormatArg::Value& v = NextArg().Get();
    switch (type) {
      case u'd': {
        long long n;
        if (auto* s = std::get_if<long long>(&v)) n = *s;
        else if (auto* u = std::get_if<unsigned long long>(&v)) n = static_cast<long long>(*u);
        else Invalid();
        std::u16string digits = Ascii(std::to_string(n < 0 ? 0ULL - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n)));
        if (precision > 0 && digits.size() < static_cast<size_t>(precision))
          digits.insert(0, static_cast<size_t>(precision) - digits.size(), u'0');
        return n < 0 ? u"-" + digits : digits;
      }
      case u'u':
      case u'x': {
        unsigned long long n = Unsigned(v);
        char buf[32];
        std::snprintf(buf, sizeof buf, type == u'u' ? "%llu" : "%llX", n);
        std::u16string digits = Ascii(buf);
        if (precision > 0 && digits.size() < static_cast<size_t>(precision))
          digits.insert(0, static_cast<size_t>(precision) - digits.size(), u'0');
        return digits;
      }
      case u's': {
        std::u16string s;
        if (auto* w = std::get_if<std::u16string>(&v)) s = *w;
        else if (auto* a = std::get_if<std::string>(&v)) s = platform::AnsiToWide(*a);
        else Invalid();
        if (precision >= 0 && s.size() > static_cast<size_t>(precision)) s.resize(static_cast<size_t>(precision));
        return s;
      }
      case u'f':
      case u'n':
      case u'e':
      case u'g':
        return Float(type, Double(v), precision);
      default:
        Invalid();
    }
  }

  unsigned long long Unsigned(const FormatArg::Value& v) const {
    if (auto* u = std::get_if<unsigned long long>(&v)) return *u;
    auto* s = std::get_if<long long>(&v);
    if (!s) Invalid();
    // Negative 32-bit integers read as their 32-bit pattern, as the class library does.
    if (*s < 0 && *s >= INT32_MIN) return static_cast<uint32_t>(*s);
    return static_cast<unsigned long long>(*s);
  }

  double Double(const FormatArg::Value& v) const {
    auto* d = std::get_if<double>(&v);
    if (!d) Invalid();
    return *d;
  }

  std::u16string Float(char16_t type, double value, long long precision) const {
    if (std::isnan(value)) return u"NAN";
    if (std::isinf(value)) return value < 0 ? u"-INF" : u"INF";
    char buf[512];
    int prec = static_cast<int>(precision);
    switch (type) {
      case u'f':
      case u'n':
        if (prec < 0) prec = 2;
        if (prec > 18) prec = 18;
        std::snprintf(buf, sizeof buf, "%.*f", prec, value);
        break;
      case u'e':
        if (prec < 0 || prec > 18) prec = 15;
        std::snprintf(buf, sizeof buf, "%.*E", prec < 1 ? 0 : prec - 1, value);
        break;
      default:
        if (prec < 0 || prec > 18) prec = 15;
        std::snprintf(buf, sizeof buf, "%.*G", prec == 0 ? 1 : prec, value);
        break;
    }
    std::string s = buf;
    if (type == u'e') {
      // Three exponent digits, as the class library writes them: 1,5E+002.
      size_t e = s.find('E');
      std::string digits = s.substr(e + 2);
      if (digits.size() < 3) digits = std::string(3 - digits.size(), '0') + digits;
      s = s.substr(0, e + 2) + digits;
    }
    std::u16string out;
    size_t dot = s.find('.');
    size_t intStart = (s[0] == '-') ? 1 : 0;
    size_t intEnd = dot == std::string::npos ? s.find_first_not_of("0123456789", intStart) : dot;
    if (intEnd == std::string::npos) intEnd = s.size();
    for (size_t k = 0; k < s.size(); ++k) {
      if (type == u'n' && k > intStart && k < intEnd && (intEnd - k) % 3 == 0) out.push_back(u'.');
      out.push_back(k == dot ? u',' : static_cast<char16_t>(s[k]));
    }
    return out;
  }

  std::u16string_view format_;
  std::span<const FormatArg> args_;
  size_t next_ = 0;
};

}  // namespace

std::u16string WideFormat(std::u16string_view format, std::span<const FormatArg> args) {
  return Formatter(format, args).Run();
}

std::u16string WideFormat(std::u16string_view format, std::initializer_list<FormatArg> args) {
  return WideFormat(format, std::span<const FormatArg>(args.begin(), args.size()));
}

int WideCompareString(platform::LocaleId locale, uint32_t flags, std::u16string_view a,
                      std::u16string_view b) {
  int r = platform::CompareLocale(locale, (flags & NORM_IGNORECASE) != 0, a, b);
  return r == -2 ? 0 : r + 2;
}

int WideCompareStr(std::u16string_view a, std::u16string_view b) {
  return WideCompareString(platform::GetUserDefaultLcid(), 0, a, b) - 2;
}

int WideCompareText(std::u16string_view a, std::u16string_view b) {
  return WideCompareString(platform::GetUserDefaultLcid(), NORM_IGNORECASE, a, b) - 2;
}

bool WideSameStr(std::u16string_view a, std::u16string_view b) { return WideCompareStr(a, b) == 0; }
bool WideSameText(std::u16string_view a, std::u16string_view b) { return WideCompareText(a, b) == 0; }

char16_t WideCharUpper(char16_t c) {
  if (c >= 0xD800 && c <= 0xDFFF) return c;  // a half of a pair has no case
  char32_t u = CharToUpper(c);
  return u <= 0xFFFF ? static_cast<char16_t>(u) : c;
}

size_t WideCharUpperBuff(char16_t* buffer, size_t length) {
  for (size_t i = 0; i < length; ++i) buffer[i] = WideCharUpper(buffer[i]);
  return length;
}

std::u16string WideUpperCase(std::u16string_view text) {
  std::u16string copy(text);
  WideCharUpperBuff(copy.data(), copy.size());
  return copy;
}

char16_t WideLastChar(std::u16string_view text) { return text.empty() ? u'\0' : text.back(); }

uint16_t WideGetCharType(char16_t c) {
  uint16_t type = 0;
  if (!IsInCategory(c, kCatCn)) type |= C1_DEFINED;
  if (IsInCategory(c, kCatLu)) type |= C1_UPPER | C1_ALPHA;
  if (IsInCategory(c, kCatLl)) type |= C1_LOWER | C1_ALPHA;
  if (IsInCategory(c, kCatLt) || IsInCategory(c, kCatLm) || IsInCategory(c, kCatLo)) type |= C1_ALPHA;
  if (IsInCategory(c, kCatNd)) type |= C1_DIGIT;
  if ((c >= 9 && c <= 13) || IsInCategory(c, kCatZs) || IsInCategory(c, kCatZl) || IsInCategory(c, kCatZp))
    type |= C1_SPACE;
  if (c == u'\t' || IsInCategory(c, kCatZs)) type |= C1_BLANK;
  for (int cat = kCatPc; cat <= kCatSo; ++cat)
    if (IsInCategory(c, cat)) {
      type |= C1_PUNCT;
      break;
    }
  if (IsInCategory(c, kCatCc)) type |= C1_CNTRL;
  if ((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')) type |= C1_XDIGIT;
  return type;
}

bool IsWideCharSpace(char16_t c) { return (WideGetCharType(c) & C1_SPACE) != 0; }
bool IsWideCharPunct(char16_t c) { return (WideGetCharType(c) & C1_PUNCT) != 0; }
bool IsWordBoundary(char16_t c) { return c == 0 || IsWideCharSpace(c) || IsWideCharPunct(c); }

bool IsCharInAnsiCodePage(char16_t c) { return platform::WideToCp1252(c).has_value(); }

std::u16string WideStringReplace(std::u16string_view text, std::u16string_view oldPattern,
                                 std::u16string_view newPattern, bool wholeWord, uint32_t flags) {
  const bool all = flags & rfReplaceAll, ignoreCase = flags & rfIgnoreCase;
  if (oldPattern.empty()) return std::u16string(text);
  // Upper-casing maps unit to unit, so positions in the copies are positions in the text.
  const std::u16string search = ignoreCase ? WideUpperCase(text) : std::u16string(text);
  const std::u16string pattern = ignoreCase ? WideUpperCase(oldPattern) : std::u16string(oldPattern);
  std::u16string result;
  size_t pos = 0;  // start of the rest
  while (pos < text.size()) {
    size_t i = search.find(pattern, pos);
    if (i == std::u16string::npos) break;
    const size_t end = i + pattern.size();
    if (wholeWord) {
      char16_t before = i == pos ? WideLastChar(result) : text[i - 1];
      char16_t after = end < text.size() ? text[end] : u'\0';
      if (!IsWordBoundary(before) || !IsWordBoundary(after)) {
        result.append(text.substr(pos, end - pos));
        pos = end;
        continue;
      }
    }
    result.append(text.substr(pos, i - pos));
    result.append(newPattern);
    pos = end;
    if (!all) break;
  }
  result.append(text.substr(pos));
  return result;
}

namespace {

std::u16string_view BreakOf(TTextLineBreakStyle style) {
  switch (style) {
    case tlbsLF: return u"\n";
    case tlbsCR: return u"\r";
    default: return u"\r\n";
  }
}

bool IsBreak(char16_t c) { return c == u'\r' || c == u'\n' || c == 0x2028; }

}  // namespace

size_t WideAdjustLineBreaksLength(std::u16string_view text, TTextLineBreakStyle style) {
  const size_t breakLength = BreakOf(style).size();
  size_t length = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsBreak(text[i])) {
      ++length;
      continue;
    }
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    length += breakLength;
  }
  return length;
}

std::u16string WideAdjustLineBreaks(std::u16string_view text, TTextLineBreakStyle style) {
  const std::u16string_view lineBreak = BreakOf(style);
  std::u16string out;
  out.reserve(WideAdjustLineBreaksLength(text, style));
  for (size_t i = 0; i < text.size(); ++i) {
    if (!IsBreak(text[i])) {
      out.push_back(text[i]);
      continue;
    }
    if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
    out.append(lineBreak);
  }
  return out;
}

}  // namespace textlib

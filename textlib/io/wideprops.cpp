#include "textlib/io/wideprops.h"

#include "platform/codepage.h"
#include "textlib/wide/utf.h"

namespace textlib {
namespace {

// A character above 127: the UTF-8 form, read back as ANSI text, is not the text.
bool NeedsMoreThanAscii(const std::u16string& s) { return platform::AnsiToWide(WideToUtf8(s)) != s; }

bool NeedsMoreThanAscii(const TUniStrings& list) {
  for (int i = 0; i < list.Count(); ++i)
    if (NeedsMoreThanAscii(list[i])) return true;
  return false;
}

[[noreturn]] void InvalidValue() { throw EReadError(u"Ungültiger Wert der Eigenschaft"); }

std::u16string StringValue(const TFilerValue& v) {
  return v.type == TValueType::vaWString ? v.wide : platform::AnsiToWide(v.bytes);
}

// The layout reader refuses a value of another type than the property takes.
const std::string& BytesValue(const TFilerValue& v) {
  if (v.type != TValueType::vaString) InvalidValue();
  return v.bytes;
}

std::u16string TextValue(const TFilerValue& v) {
  if (v.type != TValueType::vaString && v.type != TValueType::vaWString) InvalidValue();
  return StringValue(v);
}

// All items decoded before the list is touched, so a bad value leaves it as it was.
void ReplaceItems(TUniStrings& list, const std::vector<std::u16string>& items) {
  list.BeginUpdate();
  try {
    list.Clear();
    for (const auto& s : items) list.Add(s);
  } catch (...) {
    list.EndUpdate();
    throw;
  }
  list.EndUpdate();
}

std::string Qualified(const std::string& property, const char* fake) {
  return property.empty() ? fake : property + "." + fake;
}

}  // namespace

std::vector<TPropertyRecord> WriteWideProperties(const std::vector<TWideProperty>& properties) {
  std::vector<TPropertyRecord> out;
  for (const auto& p : properties) {
    if (!p.stored) continue;
    if (p.ancestorValue && *p.ancestorValue == p.value) continue;
    if (p.kind == TWideProperty::Kind::WideString) {
      if (!p.value.empty() && NeedsMoreThanAscii(p.value))
        out.push_back({p.name + "_UTF7", TFilerValue::String(WideToUtf7(p.value))});
      continue;
    }
    if (!p.hasAccess) continue;
    const char16_t c = p.value.empty() ? u'\0' : p.value[0];
    std::optional<char16_t> defaultChar = p.declaredDefault;
    if (p.ancestorValue && p.rootInheritsFromAncestorRoot)
      defaultChar = p.ancestorValue->empty() ? u'\0' : (*p.ancestorValue)[0];
    if (defaultChar && *defaultChar == c) continue;
    out.push_back({p.name + "W", TFilerValue::WString(std::u16string(1, c))});
  }
  return out;
}

bool ReadWideProperty(const TPropertyRecord& record, std::vector<TWideProperty>& properties,
                      const TWideReadContext& context) {
  for (auto& p : properties) {
    const bool wideString = p.kind == TWideProperty::Kind::WideString;
    if (record.name == p.name + "W") {
      if (wideString) {
        const std::string& bytes = BytesValue(record.value);
        if (context.Takes()) p.value = Utf8ToWide(bytes);
        return true;
      }
      // Always taken: at most one character, 8-bit or wide.
      const std::u16string s = TextValue(record.value);
      if (s.size() > 1) InvalidValue();
      p.value = std::u16string(1, s.empty() ? u'\0' : s[0]);
      return true;
    }
    if (record.name == p.name + "_UTF7") {
      const std::string& bytes = BytesValue(record.value);
      if (!context.Takes()) return true;
      const std::u16string s = Utf7ToWide(bytes);
      p.value = wideString ? s : std::u16string(1, s.empty() ? u'\0' : s[0]);
      return true;
    }
  }
  return false;
}

std::vector<TPropertyRecord> WriteWideStrings(const std::string& propertyName, const TUniStrings& list,
                                              const TUniStrings* ancestor, bool otherAncestor) {
  std::vector<TPropertyRecord> out;
  const bool write = ancestor ? !list.Equals(*ancestor) : otherAncestor ? true : list.Count() > 0;
  if (!write) return out;
  std::vector<TFilerValue> ansi;
  for (int i = 0; i < list.Count(); ++i) ansi.push_back(TFilerValue::String(platform::WideToAnsi(list[i])));
  out.push_back({Qualified(propertyName, "WideStrings"), TFilerValue::List(std::move(ansi))});
  if (NeedsMoreThanAscii(list)) {
    std::vector<TFilerValue> utf7;
    for (int i = 0; i < list.Count(); ++i) utf7.push_back(TFilerValue::String(WideToUtf7(list[i])));
    out.push_back({Qualified(propertyName, "WideStrings_UTF7"), TFilerValue::List(std::move(utf7))});
  }
  return out;
}

bool ReadWideStrings(const TPropertyRecord& record, const std::string& propertyName, TUniStrings& list,
                     const TWideReadContext& context) {
  const std::string& n = record.name;
  const TFilerValue& v = record.value;
  if (n == Qualified(propertyName, "Strings") || n == Qualified(propertyName, "WideStrings")) {
    if (v.type == TValueType::vaList) {
      std::vector<std::u16string> items;
      for (const auto& item : v.items) items.push_back(TextValue(item));
      ReplaceItems(list, items);
    } else {
      list.SetTextStr(TextValue(v));
    }
    return true;
  }
  const bool utf8 = n == Qualified(propertyName, "WideStringsW");
  const bool utf7 = n == Qualified(propertyName, "WideStrings_UTF7");
  if (!utf8 && !utf7) return false;
  if (v.type != TValueType::vaList) InvalidValue();
  const bool take = context.Takes() || (utf8 && list.Count() == 0);
  std::vector<std::u16string> items;
  for (const auto& item : v.items) {
    const std::string& bytes = BytesValue(item);
    if (take) items.push_back(utf8 ? Utf8ToWide(bytes) : Utf7ToWide(bytes));
  }
  if (take) ReplaceItems(list, items);
  return true;
}

}  // namespace textlib

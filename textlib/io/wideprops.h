#pragma once
// Wide text properties in form layouts, as a pure codec. Layout streams only know 8-bit
// strings, so each wide property is also stored under a fake name: "<name>_UTF7" (UTF-7,
// exact) or "<name>W" (UTF-8, read only), and a wide list as "WideStrings" (ANSI) plus
// "WideStrings_UTF7" when an item needs more than ANSI. Writing turns property values into
// the ordered records a layout holds; reading applies records back to the values.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "textlib/io/unistrings.h"

namespace textlib {

// Value types of the layout stream, with the class library's numbers.
enum class TValueType : uint8_t { vaNull = 0, vaList = 1, vaString = 6, vaWString = 18 };

struct TFilerValue {
  TValueType type = TValueType::vaNull;
  std::string bytes;                // vaString
  std::u16string wide;              // vaWString
  std::vector<TFilerValue> items;   // vaList

  static TFilerValue String(std::string s) { return {TValueType::vaString, std::move(s), {}, {}}; }
  static TFilerValue WString(std::u16string s) { return {TValueType::vaWString, {}, std::move(s), {}}; }
  static TFilerValue List(std::vector<TFilerValue> items) { return {TValueType::vaList, {}, {}, std::move(items)}; }
  bool operator==(const TFilerValue&) const = default;
};

struct TPropertyRecord {
  std::string name;
  TFilerValue value;
  bool operator==(const TPropertyRecord&) const = default;
};

// One published WideString or WideChar property of a component.
struct TWideProperty {
  enum class Kind { WideString, WideChar };
  std::string name;
  Kind kind = Kind::WideString;
  std::u16string value;  // a WideChar holds one unit (0 when none)
  bool stored = true;    // its stored specifier
  bool hasAccess = true; // read and write access methods
  std::optional<char16_t> declaredDefault;          // WideChar only
  std::optional<std::u16string> ancestorValue;      // an ancestor compared that has it
  bool rootInheritsFromAncestorRoot = false;        // ancestor's value is the default
};

struct TWideReadContext {
  bool hasOwner = true;
  bool ownerDesigning = false;
  bool runtimeSwitch = true;  // on from start-up: every run-time load with an owner takes them
  bool Takes() const { return hasOwner && (ownerDesigning || runtimeSwitch); }
};

// The fake properties written for a component's wide properties, in their order.
std::vector<TPropertyRecord> WriteWideProperties(const std::vector<TWideProperty>& properties);
// Applies one record; false when it is none of the properties' fake properties. A value
// of the wrong type, or a WideChar of more than one character, raises EReadError
// "Ungültiger Wert der Eigenschaft"; invalid UTF-7 raises EUniGeneralError "Invalid UTF7".
bool ReadWideProperty(const TPropertyRecord& record, std::vector<TWideProperty>& properties,
                      const TWideReadContext& context = {});

// A wide list under a property name ("Lines"): records "Lines.WideStrings" and, when
// needed, "Lines.WideStrings_UTF7". ancestor: the ancestor's wide list; otherAncestor: an
// ancestor of another kind (the list is then always written).
std::vector<TPropertyRecord> WriteWideStrings(const std::string& propertyName, const TUniStrings& list,
                                              const TUniStrings* ancestor = nullptr,
                                              bool otherAncestor = false);
// The same errors as ReadWideProperty; a refused record leaves the list unchanged.
bool ReadWideStrings(const TPropertyRecord& record, const std::string& propertyName, TUniStrings& list,
                     const TWideReadContext& context = {});

}  // namespace textlib

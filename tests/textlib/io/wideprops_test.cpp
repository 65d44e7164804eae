#include "textlib/io/wideprops.h"

#include <gtest/gtest.h>

#include "textlib/wide/wide.h"

using namespace textlib;
using Kind = TWideProperty::Kind;

namespace {
TWideProperty Prop(std::string name, Kind kind, std::u16string value, bool stored = true) {
  TWideProperty p;
  p.name = std::move(name);
  p.kind = kind;
  p.value = std::move(value);
  p.stored = stored;
  return p;
}
}  // namespace

TEST(WideProperties, HintIsStoredAsUtf7OnlyWhenNeeded) {
  std::vector<TWideProperty> props = {Prop("Hint", Kind::WideString, u"Suchwort eingeben f\u00FCr Textsuche in Liste")};
  const auto records = WriteWideProperties(props);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].name, "Hint_UTF7");
  EXPECT_EQ(records[0].value, TFilerValue::String("Suchwort eingeben f+APw-r Textsuche in Liste"));

  std::vector<TWideProperty> back = {Prop("Hint", Kind::WideString, u"")};
  EXPECT_TRUE(ReadWideProperty(records[0], back));
  EXPECT_EQ(back[0].value, props[0].value);

  std::vector<TWideProperty> plain = {Prop("Hint", Kind::WideString, u"Suchen"),
                                      Prop("Text", Kind::WideString, u""),
                                      Prop("Caption", Kind::WideString, u"\u00C4", false)};
  EXPECT_TRUE(WriteWideProperties(plain).empty());
  // Same as the ancestor's value: nothing.
  std::vector<TWideProperty> inherited = {Prop("Hint", Kind::WideString, u"\u00C4")};
  inherited[0].ancestorValue = inherited[0].value;
  EXPECT_TRUE(WriteWideProperties(inherited).empty());
}

TEST(WideProperties, ReadingTakesValuesOnlyWithOwner) {
  std::vector<TWideProperty> props = {Prop("Hint", Kind::WideString, u"alt")};
  const TPropertyRecord utf8{"HintW", TFilerValue::String("Gr\xC3\xBC\xC3\x9F" "e")};
  TWideReadContext noOwner;
  noOwner.hasOwner = false;
  EXPECT_TRUE(ReadWideProperty(utf8, props, noOwner));
  EXPECT_EQ(props[0].value, u"alt");
  EXPECT_TRUE(ReadWideProperty(utf8, props));
  EXPECT_EQ(props[0].value, u"Gr\u00FC\u00DFe");
  EXPECT_FALSE(ReadWideProperty({"Width", TFilerValue::String("1")}, props));
  EXPECT_THROW(ReadWideProperty({"Hint_UTF7", TFilerValue::String("+AGF-")}, props), EUniGeneralError);
}

TEST(WideProperties, WideCharProperty) {
  std::vector<TWideProperty> props = {Prop("PasswordChar", Kind::WideChar, u"\u2022")};
  props[0].declaredDefault = u'\0';
  const auto records = WriteWideProperties(props);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], (TPropertyRecord{"PasswordCharW", TFilerValue::WString(u"\u2022")}));

  props[0].value = std::u16string(1, u'\0');
  EXPECT_TRUE(WriteWideProperties(props).empty());  // the default

  TWideReadContext noOwner;
  noOwner.hasOwner = false;
  EXPECT_TRUE(ReadWideProperty(records[0], props, noOwner));  // always taken
  EXPECT_EQ(props[0].value, u"\u2022");
  EXPECT_TRUE(ReadWideProperty({"PasswordCharW", TFilerValue::String("")}, props));
  EXPECT_EQ(props[0].value, std::u16string(1, u'\0'));
  try {
    ReadWideProperty({"PasswordCharW", TFilerValue::WString(u"ab")}, props);
    FAIL();
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message(), u"Ungültiger Wert der Eigenschaft");
  }
}

TEST(WideProperties, ListsStoredOnceOrTwice) {
  TUniStringList memo;
  memo.Add(u"UniMemo1");
  auto records = WriteWideStrings("Lines", memo);
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0], (TPropertyRecord{"Lines.WideStrings", TFilerValue::List({TFilerValue::String("UniMemo1")})}));

  TUniStringList empty;
  EXPECT_TRUE(WriteWideStrings("Lines", empty).empty());
  EXPECT_EQ(WriteWideStrings("Lines", empty, nullptr, true).size(), 1u);
  EXPECT_TRUE(WriteWideStrings("Lines", memo, &memo).empty());

  TUniStringList wide;
  wide.Add(u"Gr\u00FC\u00DFe");
  wide.Add(u"\u65E5\u672C+1");
  records = WriteWideStrings("Lines", wide);
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[0].value.items[1], TFilerValue::String("??+1"));
  EXPECT_EQ(records[1].name, "Lines.WideStrings_UTF7");

  TUniStringList back;
  for (const auto& r : records) EXPECT_TRUE(ReadWideStrings(r, "Lines", back));
  EXPECT_TRUE(back.Equals(wide));

  // Without an owner the exact form is dropped and the ANSI form stays.
  TUniStringList ansi;
  TWideReadContext noOwner;
  noOwner.hasOwner = false;
  for (const auto& r : records) ReadWideStrings(r, "Lines", ansi, noOwner);
  EXPECT_EQ(ansi[1], u"??+1");

  TUniStringList text;
  EXPECT_TRUE(ReadWideStrings({"Lines.Strings", TFilerValue::String("a\r\nb")}, "Lines", text));
  EXPECT_EQ(text.Count(), 2);
}

TEST(WideProperties, ValuesOfTheWrongTypeAreRefused) {
  std::vector<TWideProperty> props = {Prop("Hint", Kind::WideString, u"alt"),
                                      Prop("PasswordChar", Kind::WideChar, u"*")};
  TUniStringList list;
  list.Add(u"bleibt");
  const TFilerValue list1 = TFilerValue::List({TFilerValue::String("a")});
  const struct {
    TPropertyRecord record;
    bool isList;
  } cases[] = {
      {{"HintW", TFilerValue::WString(u"x")}, false},
      {{"Hint_UTF7", list1}, false},
      {{"PasswordCharW", list1}, false},
      {{"Lines.WideStrings", TFilerValue{}}, true},
      {{"Lines.Strings", TFilerValue::List({TFilerValue::String("a"), list1})}, true},
      {{"Lines.WideStringsW", TFilerValue::String("a")}, true},
      {{"Lines.WideStrings_UTF7", TFilerValue::List({TFilerValue::WString(u"a")})}, true},
  };
  for (const auto& c : cases) {
    EXPECT_THROW(c.isList ? ReadWideStrings(c.record, "Lines", list) : ReadWideProperty(c.record, props),
                 EReadError)
        << c.record.name;
  }
  EXPECT_EQ(props[0].value, u"alt");
  EXPECT_EQ(props[1].value, u"*");
  EXPECT_EQ(list.Text(), u"bleibt\r\n");
}

TEST(WideProperties, DroppedExactFormsAreNotDecoded) {
  TWideReadContext noOwner;
  noOwner.hasOwner = false;
  std::vector<TWideProperty> props = {Prop("Hint", Kind::WideString, u"alt")};
  EXPECT_TRUE(ReadWideProperty({"Hint_UTF7", TFilerValue::String("+AGF-")}, props, noOwner));
  EXPECT_EQ(props[0].value, u"alt");

  // The UTF-8 list is still taken by an empty list; a filled one keeps its items.
  const TPropertyRecord utf8{"Lines.WideStringsW", TFilerValue::List({TFilerValue::String("\xC3\xA4")})};
  TUniStringList empty;
  EXPECT_TRUE(ReadWideStrings(utf8, "Lines", empty, noOwner));
  EXPECT_EQ(empty.Text(), u"\u00E4\r\n");
  TUniStringList filled;
  filled.Add(u"x");
  EXPECT_TRUE(ReadWideStrings(utf8, "Lines", filled, noOwner));
  EXPECT_EQ(filled.Text(), u"x\r\n");
}

#include "textlib/wide/resstring.h"

#include <gtest/gtest.h>

namespace textlib {
namespace {

class ResStringTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto table = std::make_shared<StringTableResource>(StringTableResource{
        {1, u"eins"}, {17, u"gr\u00FCn \u263A"}, {31, u"letzter"}});
    table->Add(0x1234, std::u16string(5000, u'x'));
    SetModuleStringTable(table);
  }
  void TearDown() override { SetModuleStringTable(nullptr); }
};

TEST_F(ResStringTest, TableKeepsTheResourceLayout) {
  StringTableResource table{{17, u"ab"}};
  // Block 2 holds 16 to 31: entry 0 (id 16) is empty, entry 1 (id 17) is "ab".
  std::vector<uint8_t> expected = {0, 0, 2, 0, 'a', 0, 'b', 0};
  expected.resize(expected.size() + 14 * 2, 0);  // the 14 empty entries behind it
  std::span<const uint8_t> block = table.Block(2);
  EXPECT_EQ(std::vector<uint8_t>(block.begin(), block.end()), expected);
  EXPECT_TRUE(table.Block(1).empty());
  EXPECT_FALSE(table.Add(5, std::u16string(0x10000, u'x')));
}

TEST_F(ResStringTest, LoadStringCopiesBoundedAndReturnsTheLength) {
  char16_t buffer[4];
  EXPECT_EQ(WideLoadString(17, buffer, 4), 6);
  EXPECT_EQ(std::u16string(buffer), u"gr\u00FC");
  EXPECT_EQ(WideLoadString(17, nullptr, 0), 6);
  EXPECT_EQ(WideLoadString(31, buffer, 4), 7);
  EXPECT_EQ(WideLoadString(2, buffer, 4), 0);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(WideLoadString(999, buffer, 4), 0);
}

TEST_F(ResStringTest, ResStringFromTableOrText) {
  const TResStringRec byId{17, nullptr};
  EXPECT_EQ(WideLoadResString(&byId), u"gr\u00FCn \u263A");
  const TResStringRec longOne{0x1234, nullptr};
  EXPECT_EQ(WideLoadResString(&longOne), std::u16string(5000, u'x'));
  const TResStringRec missing{2, nullptr};
  EXPECT_EQ(WideLoadResString(&missing), u"");
  const TResStringRec utf8{0, "\xEF\xBB\xBFgr\xC3\xBCn"};
  EXPECT_EQ(WideLoadResString(&utf8), u"gr\u00FCn");
  const TResStringRec ansi{0, "gr\xFCn \x80"};
  EXPECT_EQ(WideLoadResString(&ansi), u"gr\u00FCn \u20AC");
  const TResStringRec bareMark{0, "\xEF\xBB\xBF"};  // not longer than the mark: ANSI
  EXPECT_EQ(WideLoadResString(&bareMark), u"\u00EF\u00BB\u00BF");
  EXPECT_EQ(WideLoadResString(nullptr), u"");
  EXPECT_TRUE(IsIntResource(0xFFFF));
  EXPECT_FALSE(IsIntResource(0x10000));
}

}  // namespace
}  // namespace textlib

#include "platform/drives.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

DriveMap TestMap() {
  DriveMap map;
  map.AddFromText("T=/tmp/q/;d=/data;bogus;X=relative");
  return map;
}

TEST(DriveMap, ParsesTheListIgnoringBadEntries) {
  DriveMap map = TestMap();
  EXPECT_EQ(map.Root('C'), "/");
  EXPECT_EQ(map.Root('t'), "/tmp/q");
  EXPECT_EQ(map.Root('D'), "/data");
  EXPECT_FALSE(map.Root('X').has_value());
}

TEST(DriveMap, DriveFormToPosix) {
  DriveMap map = TestMap();
  struct Case {
    std::u16string in;
    std::optional<std::string> out;
  } cases[] = {
      {u"C:\\home\\anna\\a.htm", "/home/anna/a.htm"},
      {u"c:\\", "/"},
      {u"T:\\a\\b", "/tmp/q/a/b"},
      {u"T:\\", "/tmp/q"},
      {u"T:", "/tmp/q"},
      {u"T:\\a\\..\\..\\..\\etc", "/tmp/q/etc"},  // never above the drive's root
      {u"C:\\..\\x\\.\\y\\", "/x/y/"},
      {u"D:\\Grüße\U0001F600.txt", "/data/Grüße\xF0\x9F\x98\x80.txt"},
      {u"Q:\\a", std::nullopt},
      {u"Datenbank\\x.dat", "Datenbank/x.dat"},
  };
  for (const auto& c : cases) EXPECT_EQ(map.ToPosix(c.in), c.out) << std::string(c.in.begin(), c.in.end());
}

TEST(DriveMap, PosixToDriveFormByLongestRoot) {
  DriveMap map = TestMap();
  struct Case {
    std::string in;
    std::optional<std::u16string> out;
  } cases[] = {
      {"/home/anna/a.htm", u"C:\\home\\anna\\a.htm"},
      {"/", u"C:\\"},
      {"/tmp/q/a/b", u"T:\\a\\b"},
      {"/tmp/q", u"T:\\"},
      {"/tmp/qq/a", u"C:\\tmp\\qq\\a"},  // only whole folder names match a root
      {"/data/Grüße", u"D:\\Grüße"},
      {"/tmp/q/back\\slash", std::nullopt},
      {"/tmp/q/\xFF", std::nullopt},
      {"relative", std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(map.ToDrive(c.in), c.out) << c.in;
}

}  // namespace
}  // namespace platform

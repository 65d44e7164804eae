#include "textlib/io/cptextstream.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/codepage.h"
#include "tests/support/temp_dir.h"

using namespace textlib;
using Flags = TCpTextStream::Flags;

namespace {

constexpr Flags kNone = 0;
constexpr Flags kUni = TCpTextStream::UnicodeText;
constexpr Flags kSwap = TCpTextStream::SwappedBytes;
constexpr Flags kBom = TCpTextStream::Utf8Bom;

std::u16string ReadAll(TCpTextStream& s, int64_t unitsPerCall = 4096) {
  std::u16string out;
  std::vector<char16_t> buf(static_cast<size_t>(unitsPerCall));
  while (true) {
    const int64_t n = s.Read(buf.data(), unitsPerCall * 2);
    if (n <= 0) break;
    out.append(buf.data(), static_cast<size_t>(n / 2));
  }
  return out;
}

// Counts the seeks that reach the stream below.
class CountingStream : public TMemoryStream {
 public:
  using TMemoryStream::TMemoryStream;
  int64_t Seek(int64_t offset, SeekOrigin origin) override {
    ++seeks;
    return TMemoryStream::Seek(offset, origin);
  }
  int seeks = 0;
};

// Takes only the first `limit` bytes written, like a full disk.
class LimitedStream : public TMemoryStream {
 public:
  explicit LimitedStream(int64_t limit) : limit_(limit) {}
  int64_t Write(const void* buffer, int64_t count) override {
    const int64_t n = std::min(count, limit_ - Size());
    return n <= 0 ? 0 : TMemoryStream::Write(buffer, n);
  }

 private:
  int64_t limit_;
};

// Plain references, straight from the stored formats: UTF-8 unit by unit (lone surrogate
// halves and U+0000 in three bytes) but a pair in four, UTF-32 as the unit and two zero bytes.
std::string ReferenceUtf8(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) {
      const char32_t v = 0x10000 + ((char32_t{c} - 0xD800) << 10) + (text[++i] - 0xDC00);
      out += static_cast<char>(0xF0 | (v >> 18));
      out += static_cast<char>(0x80 | ((v >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((v >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (v & 0x3F));
    } else if (c >= 1 && c <= 0x7F) {
      out += static_cast<char>(c);
    } else if (c >= 1 && c <= 0x7FF) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::string ReferenceUtf32(const std::u16string& text) {
  std::string out("\xFF\xFE\0\0", 4);
  for (char16_t c : text) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8), '\0', '\0'};
  return out;
}

// Well-formed UTF-8 of one- to four-byte sequences, and the text it stands for.
void RandomUtf8(std::mt19937& rng, size_t chars, std::string& bytes, std::u16string& text) {
  for (size_t i = 0; i < chars; ++i) {
    switch (rng() % 4) {
      case 0: {
        const auto c = static_cast<char16_t>(0x20 + rng() % 0x5F);
        bytes += static_cast<char>(c);
        text += c;
        break;
      }
      case 1: {
        const auto c = static_cast<char16_t>(0x80 + rng() % 0x780);
        bytes += {static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
        text += c;
        break;
      }
      case 2: {
        const auto c = static_cast<char16_t>(0x800 + rng() % 0xD000);  // below the surrogates
        bytes += {static_cast<char>(0xE0 | (c >> 12)), static_cast<char>(0x80 | ((c >> 6) & 0x3F)),
                  static_cast<char>(0x80 | (c & 0x3F))};
        text += c;
        break;
      }
      default: {
        const char32_t c = 0x10000 + rng() % 0x100000;
        bytes += {static_cast<char>(0xF0 | (c >> 18)), static_cast<char>(0x80 | ((c >> 12) & 0x3F)),
                  static_cast<char>(0x80 | ((c >> 6) & 0x3F)), static_cast<char>(0x80 | (c & 0x3F))};
        text += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
        text += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
      }
    }
  }
}

}  // namespace

TEST(CpTextStream, WriteModeLeadingBytes) {
  struct Case {
    uint32_t cp;
    Flags flags;
    std::u16string text;
    std::string bytes;
  } cases[] = {
      {1200, kNone, u"ab", std::string("\xFF\xFE" "a\0b\0", 6)},
      {65001, kNone, u"a\u00E4", "a\xC3\xA4"},
      {65001, kBom, u"a", "\xEF\xBB\xBF" "a"},
      {12000, kNone, u"a", std::string("\xFF\xFE\0\0a\0\0\0", 8)},
      {0, kUni, u"a", std::string("\xFF\xFE" "a\0", 4)},
      {1252, kUni, u"a", std::string("\xFF\xFE" "a\0", 4)},
      {1252, kNone, u"\u00E4\u20AC\u03A9", "\xE4\x80?"},
      {1252, kBom, u"a", "a"},
      {850, kNone, u"\u00E4", "\x84"},
      {65001, kNone, std::u16string(1, u'\0'), "\xE0\x80\x80"},
      // A surrogate pair is one four-byte sequence; a lone half keeps three bytes.
      {65001, kNone, u"\U0001F600", "\xF0\x9F\x98\x80"},
      {65001, kNone, u"\xDE00\xD83D", "\xED\xB8\x80\xED\xA0\xBD"},
      {12000, kNone, u"\U0001F600", std::string("\xFF\xFE\0\0\x3D\xD8\0\0\x00\xDE\0\0", 12)},
  };
  for (const auto& c : cases) {
    TMemoryStream m;
    TCpTextStream t(m, TCpAccessMode::Write, c.flags, c.cp);
    EXPECT_TRUE(t.WriteText(c.text));
    EXPECT_EQ(m.Bytes(), c.bytes) << "cp " << c.cp << " flags " << int(c.flags);
  }
}

TEST(CpTextStream, WriteModeTruncatesAndRefusesSwapped) {
  TMemoryStream m(std::string(100, 'x'));
  {
    TCpTextStream t(m, TCpAccessMode::Write, kNone, 65001);
    EXPECT_TRUE(t.WriteText(u""));
  }
  EXPECT_EQ(m.Bytes(), "");

  TMemoryStream kept(std::string("keep"));
  try {
    TCpTextStream t(kept, TCpAccessMode::Write, kUni | kSwap, 1200);
    FAIL();
  } catch (const ECpTextStream& e) {
    EXPECT_EQ(e.HelpContext(), 3004);
    EXPECT_EQ(e.Message(), u"TCpTextStream:Cannot write to reversed Unicode stream.");
  }
  EXPECT_EQ(kept.Bytes(), "keep");
}

TEST(CpTextStream, ReadModeDetection) {
  struct Case {
    std::string bytes;
    uint32_t givenCp;
    uint32_t cp;
    Flags flags;
    std::u16string text;
  } cases[] = {
      {"a", 1252, 1252, kNone, u"a"},
      {"\xEF\xBB\xBF" "abc", 1252, 65001, kUni, u"abc"},
      {"a\xC3\xA4", 65001, 65001, kUni, u"a\u00E4"},
      {"ab\xE4", 0, 1252, kNone, u"ab\u00E4"},
      {"\xEF\xBB" "A", 1252, 1252, kNone, u"\u00EF\u00BB" "A"},
      {std::string("\xFF\xFE" "a\0", 4), 1252, 1200, kUni, u"a"},
      {std::string("\xFE\xFF\0a", 4), 1252, 1200, kUni | kSwap, u"a"},
      {std::string("\xFF\xFE\0\0" "a\0\0\0\x00\xF6\x01\0", 12), 1252, 12000, kUni, u"a\U0001F600"},
      {std::string("\xFE\xFF\0\0\0a\0\0", 8), 1252, 12000, kUni | kSwap, u"a"},
      {std::string("\xFF\xFE", 2), 65001, 1200, kUni, u""},
      {"", 1200, 1200, kUni, u""},
  };
  for (const auto& c : cases) {
    TMemoryStream m(c.bytes);
    TCpTextStream t(m, TCpAccessMode::Read, kNone, c.givenCp);
    EXPECT_EQ(t.Codepage(), c.cp) << testing::PrintToString(c.bytes);
    EXPECT_EQ(t.CreateFlags(), c.flags) << testing::PrintToString(c.bytes);
    EXPECT_EQ(ReadAll(t), c.text) << testing::PrintToString(c.bytes);
  }
}

TEST(CpTextStream, OddCountInEightBitCodePage) {
  TMemoryStream m(std::string("abcdef"));
  TCpTextStream t(m, TCpAccessMode::Read, kNone, 1252);
  char16_t buf[4];
  for (int pass = 0; pass < 2; ++pass) {
    try {
      pass == 0 ? t.Read(buf, 5) : t.Write(u"abc", 5);
      FAIL();
    } catch (const ECpTextStream& e) {
      EXPECT_EQ(e.HelpContext(), 3005);
      EXPECT_EQ(e.Message(), u"TCpTextStream:Cannot convert odd number of bytes: 5");
    }
  }
}

TEST(CpTextStream, Utf8ReadCutAtEveryPlace) {
  // One-, two-, three- and four-byte sequences, a stored U+0000 and a CESU-style pair.
  const std::string bytes =
      "a\xC3\xA4\xE2\x82\xAC\xF0\x9F\x98\x80z\xE0\x80\x80\xED\xA0\xBD\xED\xB8\x80!";
  const std::u16string expected =
      u"a\u00E4\u20AC\U0001F600z" + std::u16string(1, u'\0') + u"\U0001F600!";
  for (int64_t units = 1; units <= 12; ++units) {
    TMemoryStream m(bytes);
    TCpTextStream t(m, TCpAccessMode::Read, kNone, 65001);
    EXPECT_EQ(ReadAll(t, units), expected) << units << " units per read";
  }
}

TEST(CpTextStream, Utf8ReadDeliversTruncatedTailAsReplacement) {
  TMemoryStream m(std::string("ab\xE2\x82"));
  TCpTextStream t(m, TCpAccessMode::Read, kNone, 65001);
  EXPECT_EQ(ReadAll(t), u"ab\uFFFD");
}

TEST(CpTextStream, Utf32ReadReturnsUnitsStored) {
  TMemoryStream m(std::string("\xFF\xFE\0\0\x00\xF6\x01\0" "b\0\0\0", 12));
  TCpTextStream t(m, TCpAccessMode::Read, kNone, 0);
  char16_t buf[4] = {};
  EXPECT_EQ(t.Read(buf, 2), 2);  // only the high half fits
  EXPECT_EQ(buf[0], 0xD83D);
  EXPECT_EQ(t.Read(buf, 8), 4);
  EXPECT_EQ(buf[0], 0xDE00);
  EXPECT_EQ(buf[1], u'b');
  EXPECT_EQ(t.Read(buf, 8), 0);
}

TEST(CpTextStream, All256BytesSurviveCp1252) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  TMemoryStream in(all);
  TCpTextStream reader(in, TCpAccessMode::Read, kNone, 1252);
  const std::u16string text = ReadAll(reader, 7);
  ASSERT_EQ(text.size(), 256u);
  TMemoryStream out;
  TCpTextStream writer(out, TCpAccessMode::Write, kNone, 1252);
  EXPECT_TRUE(writer.WriteText(text));
  EXPECT_EQ(out.Bytes(), all);
}

TEST(CpTextStream, OtherCodePageThroughIconv) {
  // 850 ä ö, and in 932 a two-byte character read with one unit per call.
  TMemoryStream m(std::string("\x84\x94"));
  TCpTextStream t(m, TCpAccessMode::Read, kNone, 850);
  EXPECT_EQ(ReadAll(t, 1), u"\u00E4\u00F6");
  if (platform::IsCodePageInstalled(932)) {
    TMemoryStream sjis(std::string("a\x93\xFA" "b"));
    TCpTextStream r(sjis, TCpAccessMode::Read, kNone, 932);
    EXPECT_EQ(ReadAll(r, 1), u"a\u65E5b");
  }
}

TEST(CpTextStream, FailedConversionRaises) {
  TMemoryStream m;
  TCpTextStream t(m, TCpAccessMode::Write, kNone, 4711);
  try {
    t.WriteText(u"abc");
    FAIL();
  } catch (const ECpTextStream& e) {
    EXPECT_EQ(e.HelpContext(), 3001);
    EXPECT_EQ(e.Message().rfind(u"TCpTextStream.Write failed. Systemfehler. Code: ", 0), 0u);
    EXPECT_NE(t.LastWindowsError(), 0);
  }
  TMemoryStream r(std::string("abc\0", 4));
  TCpTextStream reader(r, TCpAccessMode::Read, kNone, 4711);
  char16_t buf[2];
  EXPECT_THROW(reader.Read(buf, 4), ECpTextStream);
}

TEST(CpTextStream, AppendAndReadWriteMarks) {
  {
    TMemoryStream m;
    TCpTextStream t(m, TCpAccessMode::Append, kNone, 1200);
    t.WriteText(u"a");
    EXPECT_EQ(m.Bytes(), std::string("\xFF\xFE" "a\0", 4));
  }
  {
    TMemoryStream m(std::string("xy"));
    m.Seek(0, SeekOrigin::End);
    TCpTextStream t(m, TCpAccessMode::Append, kNone, 1200);
    t.WriteText(u"a");
    EXPECT_EQ(m.Bytes(), std::string("xya\0", 4));
  }
  {
    TMemoryStream m;
    TCpTextStream t(m, TCpAccessMode::ReadWrite, kNone, 1200);
    t.WriteText(u"a");
    EXPECT_EQ(m.Bytes(), std::string("a\0", 2));
  }
  {
    TMemoryStream m(std::string("\xEF\xBB\xBF" "a"));
    TCpTextStream t(m, TCpAccessMode::ReadWrite, kNone, 1252);
    EXPECT_EQ(t.Codepage(), 65001u);
    t.WriteText(u"\u00E4");
    EXPECT_EQ(m.Bytes(), "\xEF\xBB\xBF" "a\xC3\xA4");
  }
  for (auto mode : {TCpAccessMode::Append, TCpAccessMode::ReadWrite}) {
    TMemoryStream m(std::string("\xFE\xFF\0a", 4));
    try {
      TCpTextStream t(m, mode, kUni | kSwap, 1200);
      FAIL();
    } catch (const ECpTextStream& e) {
      EXPECT_EQ(e.HelpContext(), 3003);
      EXPECT_EQ(e.Message(), u"TCpTextStream:Cannot append reversed Unicode stream.");
    }
    EXPECT_EQ(m.Bytes(), std::string("\xFE\xFF\0a", 4));
  }
}

TEST(CpTextStream, SizeLeavesWrappedPositionAlone) {
  CountingStream m(std::string("abcdef"));
  TCpTextStream t(m, TCpAccessMode::Read, kNone, 1252);
  char16_t buf[2];
  ASSERT_EQ(t.Read(buf, 4), 4);
  m.seeks = 0;
  EXPECT_EQ(t.Size(), 6);
  EXPECT_EQ(m.Position(), 2);
  EXPECT_LE(m.seeks, 2);  // the position asked once; the end and the way back never
  ASSERT_EQ(t.Read(buf, 2), 2);
  EXPECT_EQ(buf[0], u'c');
  // A relative seek after a move to the end starts from the end.
  t.Position();
  t.Seek(0, SeekOrigin::End);
  EXPECT_EQ(t.Seek(-1, SeekOrigin::Current), 5);
  ASSERT_EQ(t.Read(buf, 2), 2);
  EXPECT_EQ(buf[0], u'f');
}

TEST(CpTextStream, ShortWriteCountsWholeSequences) {
  LimitedStream m(4);
  TCpTextStream t(m, TCpAccessMode::Write, kNone, 65001);
  // a (1 byte), ä (2), ä (2): four bytes fit, the second ä does not.
  EXPECT_EQ(t.Write(u"a\u00E4\u00E4", 6), 4);
  EXPECT_FALSE(t.WriteText(u"b"));
}

TEST(CpTextStream, LargeTextRoundTripThroughFile) {
  testsupport::TempDrive drive;
  std::u16string text;
  for (int i = 0; i < 120000; ++i) text.push_back(static_cast<char16_t>(i % 3 == 0 ? 0x20AC : 0x41 + i % 26));
  text += u"\U0001F600";
  for (uint32_t cp : {65001u, 1200u, 12000u, 1252u}) {
    {
      THandleStream f(platform::NativeFile::Create(drive.Posix("big.txt")));
      TCpTextStream t(f, TCpAccessMode::Write, kNone, cp);
      ASSERT_TRUE(t.WriteText(text));
    }
    THandleStream f(platform::NativeFile::Open(drive.Posix("big.txt"), platform::FileAccess::Read));
    TCpTextStream t(f, TCpAccessMode::Read, kNone, cp);
    const std::u16string expected = cp == 1252 ? text.substr(0, text.size() - 2) + u"??" : text;
    EXPECT_EQ(ReadAll(t, 50001), expected) << cp;
  }
}

TEST(CpTextStream, ChunkedWritesMatchPlainEncoders) {
  // Longer than one conversion pass, with pairs and wide units on every pass boundary.
  std::mt19937 rng(7);
  const char16_t pool[] = {u'a', 0x00E4, 0x20AC, 0xD83D, 0xDE00, 0x0000, 0x07FF, 0x0800, 0xFFFF};
  std::u16string text;
  for (int i = 0; i < 100000; ++i) text += pool[rng() % std::size(pool)];
  const struct {
    uint32_t cp;
    std::string bytes;
  } cases[] = {{65001, ReferenceUtf8(text)}, {12000, ReferenceUtf32(text)}};
  for (const auto& c : cases) {
    TMemoryStream m;
    TCpTextStream t(m, TCpAccessMode::Write, kNone, c.cp);
    ASSERT_TRUE(t.WriteText(text));
    EXPECT_TRUE(m.Bytes() == c.bytes) << c.cp;
  }
}

TEST(CpTextStream, Utf8ReadsMatchPlainDecoderAtRandomCuts) {
  std::mt19937 rng(11);
  for (int round = 0; round < 20; ++round) {
    std::string bytes;
    std::u16string expected;
    RandomUtf8(rng, 1 + rng() % (round < 15 ? 60 : 40000), bytes, expected);
    TMemoryStream m(bytes);
    TCpTextStream t(m, TCpAccessMode::Read, kNone, 65001);
    std::u16string got;
    std::vector<char16_t> buf(70000);
    while (true) {
      const int64_t units = 1 + static_cast<int64_t>(rng() % (round < 15 ? 7 : 70000));
      const int64_t n = t.Read(buf.data(), units * 2);
      ASSERT_LE(n, units * 2);
      if (n == 0) break;
      got.append(buf.data(), static_cast<size_t>(n / 2));
    }
    EXPECT_TRUE(got == expected) << "round " << round;
  }
}

TEST(CpTextStream, SplitPairIsDroppedBySeek) {
  // The low half held back from a read belongs where that read ended, nowhere else.
  TMemoryStream m(std::string("\xF0\x9F\x98\x80xyz"));
  TCpTextStream t(m, TCpAccessMode::Read, kNone, 65001);
  char16_t buf[4] = {};
  ASSERT_EQ(t.Read(buf, 2), 2);
  EXPECT_EQ(buf[0], 0xD83D);
  t.Seek(5, SeekOrigin::Begin);
  ASSERT_EQ(t.Read(buf, 2), 2);
  EXPECT_EQ(buf[0], u'y');
  // Asking the size between the two reads keeps it.
  t.SetPosition(0);
  ASSERT_EQ(t.Read(buf, 2), 2);
  EXPECT_EQ(t.Size(), 7);
  ASSERT_EQ(t.Read(buf, 4), 4);
  EXPECT_EQ(buf[0], 0xDE00);
  EXPECT_EQ(buf[1], u'x');
}

TEST(CpTextStream, Utf32OddUnitsAndOutOfRange) {
  struct Case {
    std::string bytes;
    std::u16string text;
  } cases[] = {
      // A code point beyond U+10FFFF, then a stored surrogate half kept as it is.
      {std::string("\xFF\xFE\0\0\x00\x00\x11\x00\x3D\xD8\0\0", 12), u"\uFFFD\xD83D"},
      // A cut last unit is not delivered.
      {std::string("\xFF\xFE\0\0" "a\0\0\0" "b\0", 10), u"a"},
      {std::string("\xFF\xFE\0\0", 4), u""},
  };
  for (const auto& c : cases) {
    TMemoryStream m(c.bytes);
    TCpTextStream t(m, TCpAccessMode::Read, kNone, 1252);
    EXPECT_EQ(ReadAll(t, 3), c.text) << testing::PrintToString(c.bytes);
  }
}

TEST(CpTextStream, TinyCountsInUnicodeCodePages) {
  for (uint32_t cp : {65001u, 12000u}) {
    TMemoryStream m;
    TCpTextStream t(m, TCpAccessMode::Write, kNone, cp);
    EXPECT_EQ(t.Write(u"a", 1), cp == 65001 ? 1 : 0) << cp;
    EXPECT_EQ(t.Write(u"a", 0), 0) << cp;
  }
  TMemoryStream m(std::string("ab"));
  TCpTextStream t(m, TCpAccessMode::Read, kNone, 65001);
  char16_t buf[2];
  EXPECT_EQ(t.Read(buf, 1), 0);
  EXPECT_EQ(t.Read(buf, 2), 2);
  EXPECT_EQ(buf[0], u'a');
}

TEST(CpTextStream, EightBitReadsMatchWholeConversion) {
  // Reads of any size give what one conversion of all the bytes gives, also where a
  // two-byte character of a double-byte code page is cut by the request.
  std::mt19937 rng(13);
  std::string latin;
  for (int i = 0; i < 5000; ++i) latin += static_cast<char>(rng() % 256);
  std::string sjis;
  for (int i = 0; i < 3000; ++i) sjis += (rng() % 3 == 0) ? std::string("a") : std::string("\x93\xFA");
  const struct {
    uint32_t cp;
    std::string bytes;
  } cases[] = {{1252, latin}, {850, latin}, {932, sjis}};
  for (const auto& c : cases) {
    if (!platform::IsCodePageInstalled(c.cp)) continue;
    const std::u16string expected = *platform::MultiByteToWide(c.cp, c.bytes);
    for (int64_t units : {1, 2, 3, 5, 64, 2047, 40000}) {
      TMemoryStream m(c.bytes);
      TCpTextStream t(m, TCpAccessMode::Read, kNone, c.cp);
      EXPECT_TRUE(ReadAll(t, units) == expected) << c.cp << " with " << units << " units per read";
    }
  }
}

#include "textlib/io/filereader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "textlib/errors.h"
#include "tests/support/temp_dir.h"

using textlib::TMyFileReader;

namespace {

// Lines as the reader cuts them: at CR, with the LF of a CR LF dropped.
template <typename Str>
std::vector<Str> ReferenceLines(const Str& text) {
  std::vector<Str> lines;
  size_t i = 0;
  while (i < text.size()) {
    size_t cr = text.find(typename Str::value_type('\r'), i);
    if (cr == Str::npos) cr = text.size();
    lines.push_back(text.substr(i, cr - i));
    i = cr + 1;
    if (i < text.size() && text[i] == '\n') ++i;
  }
  return lines;
}

std::vector<std::u16string> ReadAllLines(TMyFileReader& r) {
  std::vector<std::u16string> lines;
  while (r.Position() < r.FileSize() && lines.size() < 10000) lines.push_back(r.ReadNextLine());
  return lines;
}

std::string Utf16Bytes(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
  return out;
}

}  // namespace

TEST(MyFileReader, SmallFileIsOneWindow) {
  testsupport::TempDrive drive;
  drive.WriteFile("a.txt", "eins\r\nzwei\r\ndrei");
  TMyFileReader r(drive.Drive(u"a.txt"), true);
  EXPECT_EQ(r.WindowSize(), 16);
  EXPECT_FALSE(r.IsUtf16());
  EXPECT_EQ(ReadAllLines(r), (std::vector<std::u16string>{u"eins", u"zwei", u"drei"}));
}

TEST(MyFileReader, EightBitLinesAcrossTinyWindows) {
  testsupport::TempDrive drive;
  // Long lines, empty lines, lone CR and LF, and CR LF pairs at every offset.
  std::string text;
  for (int i = 0; i < 12; ++i) text += std::string(static_cast<size_t>(i * 3 % 11), 'a' + i) + "\r\n";
  text += "\r\n\r\nlone\rcr\nlf\xE4\xFC\r\n\r";
  for (const std::string& tail : {std::string(""), std::string("end without break")}) {
    const std::string content = text + tail;
    drive.WriteFile("b.txt", content);
    std::vector<std::u16string> expected;
    for (const auto& l : ReferenceLines(content)) {
      std::u16string w;
      for (unsigned char c : l) w.push_back(c);
      expected.push_back(w);
    }
    for (uint32_t g : {2u, 4u, 6u, 8u, 10u, 16u, 64u, 65536u}) {
      TMyFileReader r(drive.Drive(u"b.txt"), true, g);
      EXPECT_EQ(ReadAllLines(r), expected) << "granularity " << g;
      EXPECT_EQ(r.Position(), static_cast<int64_t>(content.size()));
    }
  }
}

TEST(MyFileReader, Utf16LinesAcrossTinyWindows) {
  testsupport::TempDrive drive;
  const std::u16string text = u"erste \u20AC Zeile\r\n\r\nz\u00E4hlt\rx\r\nlange Zeile ohne Ende am Schluss";
  drive.WriteFile("u.txt", "\xFF\xFE" + Utf16Bytes(text));
  for (uint32_t g : {2u, 4u, 6u, 8u, 12u, 65536u}) {
    TMyFileReader r(drive.Drive(u"u.txt"), true, g);
    EXPECT_TRUE(r.IsUtf16());
    EXPECT_EQ(ReadAllLines(r), ReferenceLines(text)) << "granularity " << g;
  }
  // Without the mark the same bytes are 8-bit text.
  drive.WriteFile("n.txt", Utf16Bytes(u"ab"));
  TMyFileReader r(drive.Drive(u"n.txt"), true);
  EXPECT_FALSE(r.IsUtf16());
  EXPECT_EQ(r.ReadNextLine(), std::u16string(u"a\0b\0", 4));
}

TEST(MyFileReader, SeekAndLateMapping) {
  testsupport::TempDrive drive;
  drive.WriteFile("s.txt", "0123456789\r\nabcdefghij\r\nlast");
  TMyFileReader r(drive.Drive(u"s.txt"), false, 4);
  EXPECT_EQ(r.ReadNextLine(), u"");  // nothing mapped yet
  r.Seek(15);
  EXPECT_EQ(r.ReadNextLine(), u"defghij");
  EXPECT_EQ(r.ReadNextLine(), u"last");
  EXPECT_EQ(r.Position(), r.FileSize());
  r.Seek(0);
  EXPECT_EQ(r.ReadNextLine(), u"0123456789");
}

TEST(MyFileReader, EmptyAndMissingFiles) {
  testsupport::TempDrive drive;
  drive.WriteFile("e.txt", "");
  TMyFileReader r(drive.Drive(u"e.txt"), true);
  EXPECT_EQ(r.FileSize(), 0);
  EXPECT_EQ(r.ReadNextLine(), u"");
  try {
    TMyFileReader missing(drive.Drive(u"fehlt\\x.txt"), true);
    FAIL();
  } catch (const textlib::Exception& e) {
    EXPECT_EQ(e.Message().rfind(u"Es ist ein Fehler aufgetreten:\r\n", 0), 0u);
    EXPECT_GT(e.Message().size(), 32u);
  }
}

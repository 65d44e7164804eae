#include "textlib/io/filereader.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
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

std::vector<std::u16string> Widen(const std::vector<std::string>& lines) {
  std::vector<std::u16string> out;
  for (const auto& l : lines) {
    std::u16string w;
    for (unsigned char c : l) w.push_back(c);
    out.push_back(w);
  }
  return out;
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
    const std::vector<std::u16string> expected = Widen(ReferenceLines(content));
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

TEST(MyFileReader, MatchesReferenceOnRandomFiles) {
  // Sizes around whole windows (one, sixteen and 224 granularities) and random mixes of
  // CR, LF and letters, so that breaks fall on every window edge.
  testsupport::TempDrive drive;
  std::mt19937 rng(5);
  const char alphabet[] = {'a', 'b', '\r', '\n', '\r', '\xE4'};
  for (uint32_t g : {2u, 4u, 6u, 8u}) {
    for (int64_t size : {int64_t{g} - 1, int64_t{g}, int64_t{g} + 1, 16 * int64_t{g} - 1, 16 * int64_t{g},
                         224 * int64_t{g}, 224 * int64_t{g} + 3, int64_t{777}}) {
      std::string text;
      for (int64_t i = 0; i < size; ++i) text.push_back(alphabet[rng() % sizeof alphabet]);
      drive.WriteFile("r.txt", text);
      TMyFileReader r(drive.Drive(u"r.txt"), true, g);
      EXPECT_EQ(ReadAllLines(r), Widen(ReferenceLines(text))) << "granularity " << g << " size " << size;

      std::u16string wide;
      for (int64_t i = 0; i <= size / 2; ++i) wide.push_back(static_cast<char16_t>(alphabet[rng() % 5] & 0xFF));
      drive.WriteFile("w.txt", "\xFF\xFE" + Utf16Bytes(wide));
      TMyFileReader w(drive.Drive(u"w.txt"), true, g);
      EXPECT_EQ(ReadAllLines(w), ReferenceLines(wide)) << "UTF-16, granularity " << g << " size " << size;
    }
  }
}

TEST(MyFileReader, CrAtWindowEndAndLfAtNextStart) {
  testsupport::TempDrive drive;
  // Granularity 4, file of 20 bytes: window 4; the CR is byte 3, its LF byte 4.
  drive.WriteFile("c.txt", "abc\r\ndefghij\r\nklmnop");
  TMyFileReader r(drive.Drive(u"c.txt"), true, 4);
  EXPECT_EQ(r.ReadNextLine(), u"abc");
  EXPECT_EQ(r.Position(), 5);
  EXPECT_EQ(r.ReadNextLine(), u"defghij");
  EXPECT_EQ(r.ReadNextLine(), u"klmnop");
  EXPECT_EQ(r.Position(), r.FileSize());
}

TEST(MyFileReader, SeekPastTheEndReadsNothing) {
  testsupport::TempDrive drive;
  drive.WriteFile("p.txt", "abcdef");  // granularity 4: windows [0,4) and [4,6)
  TMyFileReader r(drive.Drive(u"p.txt"), true, 4);
  for (int64_t p : {4, 7, 6, 100, -3}) {
    r.Seek(p);
    const std::u16string line = r.ReadNextLine();
    if (p >= 6) {
      EXPECT_EQ(line, u"") << p;
    }
  }
  r.Seek(2);
  EXPECT_EQ(r.ReadNextLine(), u"cdef");
}

TEST(MyFileReader, SizesBeyondFourGigabytes) {
  // A sparse file: only the last window holds data.
  testsupport::TempDrive drive;
  const int64_t size = int64_t{5} << 30;
  const std::string path = drive.Posix("big.txt");
  { std::ofstream(path, std::ios::binary).put('x'); }
  std::error_code ec;
  std::filesystem::resize_file(path, static_cast<uintmax_t>(size), ec);
  if (ec) GTEST_SKIP() << "no sparse files here";
  { std::ofstream(path, std::ios::binary | std::ios::app) << "vor\r\nletzte"; }
  TMyFileReader r(drive.Drive(u"big.txt"), false);
  ASSERT_EQ(r.FileSize(), size + 11);
  r.Seek(size);
  EXPECT_EQ(r.ReadNextLine(), u"vor");
  EXPECT_EQ(r.Position(), size + 5);
  EXPECT_EQ(r.ReadNextLine(), u"letzte");
  EXPECT_EQ(r.Position(), r.FileSize());
}

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "app/index/index_run.h"
#include "platform/codepage.h"
#include "tests/support/temp_dir.h"

namespace app {
namespace {

// A status that neither waits nor looks at the clock.
class QuietStatus : public IndexStatus {
 public:
  void Pause(int) override {}
  int64_t TickCount() const override { return 0; }
};

std::string Utf16(std::u16string_view text, bool bigEndian) {
  std::string out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
  for (char16_t c : text) {
    const char hi = static_cast<char>(c >> 8), lo = static_cast<char>(c & 0xFF);
    out += bigEndian ? std::string{hi, lo} : std::string{lo, hi};
  }
  return out;
}

// The fifth entry of the one record the file gave: the stored text.
std::u16string StoredText(const std::string& bytes) {
  testsupport::TempDrive drive;
  drive.WriteFile("doc.htm", bytes);
  QuietStatus status;
  IndexRun run({}, status);
  const std::u16string path = drive.Drive(u"doc.htm");
  run.StripHTML(path);
  const std::u16string head = u" \r\n \r\n#" + path + u"\r\n" + std::u16string(path.size() / 2, u'=') + u"\r\n";
  const std::u16string& all = run.Store().PendingText();
  EXPECT_TRUE(all.starts_with(head));
  EXPECT_TRUE(all.ends_with(u"\r\n"));
  if (!all.starts_with(head) || all.size() < head.size() + 2) return u"<no record>";
  return all.substr(head.size(), all.size() - head.size() - 2);
}

TEST(StripHTML, DecisionChainGivesTheStoreText) {
  const std::string sjisMeta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=shift_jis\">";
  const std::string zhMeta = "<meta http-equiv=\"content-language\" content=\"zh-cn\"><meta charset=\"utf-8\">";
  const struct {
    const char* what;
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {"UTF-8 without mark, ü", "<p>Gr\xC3\xBC\xC3\x9F" "e</p>", u"\r\n\r\nGrüße"},
      {"cp1252 Straße", "<p>Stra\xDF" "e</p>", u"\r\n\r\nStraße"},
      {"cp1252 it’s", "<p>it\x92s</p>", u"\r\n\r\nit’s"},
      {"entities ’ – €", "<p>it&rsquo;s &ndash; 5 &euro;</p>", u"\r\n\r\nit’s – 5 €"},
      {"cp1252 ä stays", "<p>M\xE4rz \x80</p>", u"\r\n\r\nMärz €"},
      {"cp1252 é, lenient keeps it", "<p>Caf\xE9 au lait</p>", u"\r\n\r\nCafé au lait"},
      {"UTF-8 without mark, Cyrillic", "<meta charset=\"utf-8\"><p>\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82</p>",
       u"\r\n\r\nПривет"},
      {"UTF-8 mark, Cyrillic", "\xEF\xBB\xBF<p>\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE2\x82\xAC</p>",
       u"\r\n\r\nПривет €"},
      {"UTF-8 mark, one bad byte", "\xEF\xBB\xBF<p>Gr\xC3\xBC\xFF" "e \xD0\x9F\xD1\x80</p>", u"\r\n\r\nGrüÿe Пр"},
      {"UTF-16LE", Utf16(u"<p>Ünï 中文 ☃</p>", false), u"\r\n\r\nÜnï 中文 ☃"},
      {"UTF-16BE", Utf16(u"<p>Ünï 中文 ☃</p>", true), u"\r\n\r\nÜnï 中文 ☃"},
      {"shift_jis", sjisMeta + "<p>\x93\xFA\x96\x7B\x8C\xEA</p>", u"\r\n\r\n日本語"},
      {"shift_jis and windows-1252", sjisMeta + "<!-- windows-1252 --><p>\x93\xFA\x96\x7B\x8C\xEA</p>",
       u"\r\n\r\n“ú–{Œê"},
      {"windows-1251", "<meta charset=\"windows-1251\"><p>\xCF\xF0\xE8\xE2\xE5\xF2</p>", u"\r\n\r\nПривет"},
      {"zh and utf-8 without mark: kept as loaded", zhMeta + "<p>\xE4\xB8\xAD\xE6\x96\x87</p>",
       u"\r\n\r\n\u00E4\u00B8\u00AD\u00E6\u2013\u2021"},
      {"zh and utf-8 with mark", "\xEF\xBB\xBF" + zhMeta + "<p>\xE4\xB8\xAD\xE6\x96\x87</p>", u"\r\n\r\n中文"},
      {"no text: the notice and the file as loaded", "body { color: red }",
       u"\r\n\r\nDiese Datei kann nicht im Webbrowser angezeigt werden oder enthält keinen anzeigbaren Text!"
       u"\r\n\r\nbody { color: red }"},
  };
  for (const auto& c : cases) EXPECT_EQ(StoredText(c.bytes), c.text) << c.what;
}

TEST(StripHTML, HostileFilesGiveTheirTextOrTheNotice) {
  const std::u16string notice =
      u"\r\n\r\nDiese Datei kann nicht im Webbrowser angezeigt werden oder enthält keinen anzeigbaren Text!";
  const struct {
    const char* what;
    std::string bytes;
    std::u16string text;
  } cases[] = {
      {"UTF-16LE of odd size: the last byte is dropped", std::string("\xFF\xFE<\0p\0>\0x\0\0", 11), u"\r\n\r\nx"},
      {"UTF-16BE of odd size", std::string("\xFE\xFF\0<\0p\0>\0x\0", 11), u"\r\n\r\nx"},
      {"UTF-16LE with a lone surrogate", std::string("\xFF\xFE<\0p\0>\0\0\xD8x\0", 12), u"\r\n\r\n\xD800x"},
      {"a UTF-8 mark alone", "\xEF\xBB\xBF", notice},
      {"a UTF-16 mark alone", "\xFF\xFE", notice},
      {"zero bytes only", std::string(7, '\0'), notice},
      {"zero bytes inside the text", std::string("<p>a\0b</p>\0\0", 12), std::u16string(u"\r\n\r\na\0b", 7)},
      {"ill-formed UTF-8 stays code page 1252", "<p>\xC3\xFF\xE2\x82 x\xF0\x9F</p>",
       u"\r\n\r\n\u00C3\u00FF\u00E2\u201A x\u00F0\u0178"},
      {"four-byte UTF-8 without mark", "<p>\xF0\x9F\x98\x80 ok</p>", u"\r\n\r\n\xD83D\xDE00 ok"},
      {"one byte", "x", notice + u"\r\n\r\nx"},
  };
  for (const auto& c : cases) EXPECT_EQ(StoredText(c.bytes), c.text) << c.what;
  // A line of 30 MB without a break.
  const std::u16string big = StoredText("<p>" + std::string(30000000, 'a') + "</p>");
  EXPECT_EQ(big.size(), 4u + 30000000u);
}

TEST(StripHTML, LongTextHasNoBlankLinesInFront) {
  const std::u16string text = StoredText("<p>eins</p><p>zwei</p><p>drei</p>");
  EXPECT_EQ(text, u"eins\r\n\r\nzwei\r\n\r\ndrei");
}

TEST(StripHTML, SeparatorIsHalfThePathLength) {
  testsupport::TempDrive drive;
  drive.WriteFile("abcdefg.h", "<p>x</p>");  // "T:\abcdefg.h" is 12 units
  QuietStatus status;
  IndexRun run({}, status);
  run.StripHTML(drive.Drive(u"abcdefg.h"));
  EXPECT_TRUE(run.Store().PendingText().starts_with(u" \r\n \r\n#T:\\abcdefg.h\r\n======\r\n"));
  EXPECT_EQ(run.Counters().storedFiles, 1);
  EXPECT_EQ(run.Counters().totalBytes, 8);
}

TEST(StripHTML, MissingAndEmptyFilesGiveNoRecord) {
  testsupport::TempDrive drive;
  drive.WriteFile("empty.htm", "");
  QuietStatus status;
  IndexRun run({}, status);
  run.StripHTML(drive.Drive(u"empty.htm"));
  run.StripHTML(drive.Drive(u"missing.htm"));
  EXPECT_EQ(run.Store().EntryCount(), 0);
  EXPECT_EQ(run.Counters().storedFiles, 0);
  EXPECT_EQ(run.Counters().totalBytes, 0);
}

TEST(StripHTML, ANamedPipeIsNoFile) {
  testsupport::TempDrive drive;
  ASSERT_EQ(mkfifo(drive.Posix("pipe.htm").c_str(), 0600), 0);
  QuietStatus status;
  IndexRun run({}, status);
  run.StripHTML(drive.Drive(u"pipe.htm"));  // must not wait for a writer
  EXPECT_EQ(run.Store().EntryCount(), 0);
  EXPECT_FALSE(OpenFileProbe(drive.Drive(u"pipe.htm"), 16).Valid());
  EXPECT_EQ(DetectTextEncoding(drive.Drive(u"pipe.htm")), kKindNoUnicode);
}

TEST(ConvertStoreText, RuleOrderOnTheLoadedText) {
  // Kind 6 text as loaded: UTF-8 bytes one per character.
  const std::u16string utf8AsAnsi = platform::AnsiToWide("Gr\xC3\xBC\xC3\x9F" "e");
  EXPECT_EQ(ConvertStoreText(utf8AsAnsi, kKindNoUnicode, 0), u"Grüße");
  EXPECT_EQ(ConvertStoreText(platform::AnsiToWide("\xC3\xBC ok"), kKindNoUnicode, 932), u"ü ok");  // rule 1 first
  EXPECT_EQ(ConvertStoreText(u"中????", kKindNoUnicode, 932), u"中????");  // narrowed: many "?"
  EXPECT_EQ(ConvertStoreText(u"Ünï", kKindUtf16LE, 0), u"Ünï");
  EXPECT_EQ(ConvertStoreText(u"Привет", kKindUtf8, 1251), u"Привет");  // the mark decided
  EXPECT_EQ(ConvertStoreText(u"Stra\u00DFe", kKindNoUnicode, 1256), u"Straße");
}

}  // namespace
}  // namespace app

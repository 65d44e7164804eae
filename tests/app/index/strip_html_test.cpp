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

TEST(StripHTML, BytesAreDecodedBeforeTheHtmlIsParsed) {
  const std::string sjisMeta = "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=shift_jis\">";
  const std::string zhMeta = "<meta http-equiv=\"content-language\" content=\"zh-cn\"><meta charset=\"utf-8\">";
  const std::string utf8Meta = "<meta charset=\"utf-8\">";
  const struct {
    const char* what;
    std::string bytes;
    std::u16string text;
  } cases[] = {
      // Raw UTF-8 beside character references, as content systems write them.
      {"references and raw quotes", utf8Meta + "<p>Gr&uuml;&szlig;e \xE2\x80\x9EZitat\xE2\x80\x9C \xE2\x80\x93 Ende</p>",
       u"\r\n\r\nGrüße „Zitat“ – Ende"},
      {"euro as a reference", "<p>F\xC3\xBCr 5 &#x20AC;</p>", u"\r\n\r\nFür 5 €"},
      {"arrow outside cp1252", "<p>links &rarr; rechts \xC3\xA4</p>", u"\r\n\r\nlinks → rechts ä"},
      {"a Chinese language menu", utf8Meta + "<p>Sprache: \xE4\xB8\xAD\xE6\x96\x87 Deutsch M\xC3\xBCller</p>",
       u"\r\n\r\nSprache: 中文 Deutsch Müller"},
      {"emoji raw", "<p>Labor \xF0\x9F\x94\xAC</p>", u"\r\n\r\nLabor \U0001F52C"},
      {"emoji as references", "<p>Labor &#x1F52C; &#129408;</p>", u"\r\n\r\nLabor \U0001F52C \U0001F980"},
      {"UTF-8 without declaration", "<p>Gr\xC3\xBC\xC3\x9F" "e</p>", u"\r\n\r\nGrüße"},
      {"UTF-8 declared as windows-1252", "<meta charset=windows-1252><p>\xC3\x9F" "e \xE2\x82\xAC</p>",
       u"\r\n\r\nße €"},
      {"cp1252 without declaration", "<p>Stra\xDF" "e it\x92s \x84" "a\x93 \x96 5 \x80</p>",
       u"\r\n\r\nStraße it’s „a“ – 5 €"},
      {"cp1252 declared", "<meta charset=\"windows-1252\"><p>M\xE4rz \x80</p>", u"\r\n\r\nMärz €"},
      {"cp1252 declared as iso-8859-1", "<meta http-equiv=Content-Type content='text/html; charset=ISO-8859-1'>"
       "<p>\x84Gr\xFC\xDF" "e\x93 \x80</p>", u"\r\n\r\n„Grüße“ €"},
      {"cp1252 declared as utf-8", utf8Meta + "<p>M\xE4rz \xC3\xBC</p>", u"\r\n\r\nMärz ü"},
      {"cp1252 with references", "<p>Caf\xE9 &amp; &euro; &rarr;</p>", u"\r\n\r\nCafé & € →"},
      {"UTF-8 mark, Cyrillic", "\xEF\xBB\xBF<p>\xD0\x9F\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82 \xE2\x82\xAC</p>",
       u"\r\n\r\nПривет €"},
      {"UTF-8 mark, one bad byte", "\xEF\xBB\xBF<p>Gr\xC3\xBC\xFF" "e \xD0\x9F\xD1\x80</p>", u"\r\n\r\nGrüÿe Пр"},
      {"UTF-16LE", Utf16(u"<p>Ünï 中文 ☃ &euro;</p>", false), u"\r\n\r\nÜnï 中文 ☃ €"},
      {"UTF-16BE", Utf16(u"<p>Ünï 中文 ☃</p>", true), u"\r\n\r\nÜnï 中文 ☃"},
      {"UTF-32LE", std::string("\xFF\xFE\0\0<\0\0\0p\0\0\0>\0\0\0\xE4\0\0\0\x2C\xF5\x01\0", 24),
       u"\r\n\r\nä\U0001F52C"},
      {"shift_jis", sjisMeta + "<p>\x93\xFA\x96\x7B\x8C\xEA</p>", u"\r\n\r\n日本語"},
      {"shift_jis declared, windows-1252 mentioned", sjisMeta + "<!-- windows-1252 --><p>\x93\xFA\x96\x7B\x8C\xEA</p>",
       u"\r\n\r\n日本語"},
      {"windows-1251", "<meta charset=\"windows-1251\"><p>\xCF\xF0\xE8\xE2\xE5\xF2</p>", u"\r\n\r\nПривет"},
      {"koi8-r declared in XML", "<?xml version=\"1.0\" encoding=\"KOI8-R\"?><p>\xF0\xD2\xC9\xD7\xC5\xD4</p>",
       u"\r\n\r\nПривет"},
      {"zh and utf-8", zhMeta + "<p>\xE4\xB8\xAD\xE6\x96\x87</p>", u"\r\n\r\n中文"},
      {"a style sheet alone: the notice", "body { color: red }",
       u"\r\n\r\nDiese Datei kann nicht im Webbrowser angezeigt werden oder enthält keinen anzeigbaren Text!"
       u"\r\n\r\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(StoredText(c.bytes), c.text) << c.what;
}

TEST(StripHTML, DeclaredCodePage) {
  const struct {
    const char* sample;
    uint16_t codePage;
  } cases[] = {
      {"<meta charset=\"UTF-8\">", 65001},
      {"<meta http-equiv=\"Content-Type\" content=\"text/html; charset=Shift_JIS\">", 932},
      {"<meta charset = 'windows-1251' >", 1251},
      {"<?xml version='1.0' encoding='iso-8859-15'?>", 28605},
      {"<meta charset=latin1>", 28591},
      {"<p>mentions unicode and koi8-r but declares nothing</p>", 0},
      {"<meta charset=\"bogus\"><meta charset=\"gbk\">", 936},
      {"<p>encoding=\"koi8-r\" outside an XML declaration</p>", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(DeclaredCodePage(c.sample), c.codePage) << c.sample;
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
      // A mark alone or zero bytes are no text: the notice.
      {"a UTF-8 mark alone", "\xEF\xBB\xBF", notice},
      {"a UTF-16 mark alone", "\xFF\xFE", notice},
      {"zero bytes only", std::string(7, '\0'), notice},
      {"zero bytes inside the text", std::string("<p>a\0b</p>\0\0", 12), std::u16string(u"\r\n\r\na\0b", 7)},
      {"ill-formed UTF-8 stays code page 1252", "<p>\xC3\xFF\xE2\x82 x\xF0\x9F</p>",
       u"\r\n\r\n\u00C3\u00FF\u00E2\u201A x\u00F0\u0178"},
      {"encoded surrogates are no UTF-8", "<p>\xED\xA0\xBD\xED\xB8\x80</p>",
       u"\r\n\r\n\u00ED\u00A0\u00BD\u00ED\u00B8\u20AC"},
      {"four-byte UTF-8 without mark", "<p>\xF0\x9F\x98\x80 ok</p>", u"\r\n\r\n\xD83D\xDE00 ok"},
      {"one byte", "x", u"\r\n\r\nx"},
      {"every kind of break becomes CR LF", "<pre>a\nb\rc\r\nd\n\re\xE2\x80\xA8" "f</pre>",
       u"a\r\nb\r\nc\r\nd\r\n\r\ne\r\nf"},
      {"forged record lines get a blank, however many", "<pre>#C:\\a\n#D:\\b\n#e:\\c</pre>",
       u"\r\n\r\n #C:\\a\r\n #D:\\b\r\n #e:\\c"},
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

}  // namespace
}  // namespace app

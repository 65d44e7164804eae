#include "app/results/result_pages.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>

#include "platform/codepage.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"

namespace {

using app::ResultPageHost;
using app::ResultPageState;
using app::TResultPageWriter;

class Host : public ResultPageHost {
 public:
  bool SearchCancelRequested() const override { return cancel; }
  bool PathOpened() const override { return pathOpened; }
  void StopBusyIndicator() override { ++stopped; }
  void OpenInBrowser(const std::u16string& fileName) override { opened.push_back(fileName); }
  void ProcessMessages() override {}
  bool cancel = false, pathOpened = false;
  int stopped = 0;
  std::vector<std::u16string> opened;
};

class ResultPages : public ::testing::Test {
 protected:
  ResultPages() : writer(state, host) {
    writer.BaseFolder = drive.Drive();
    writer.CurrentDbName = u"Archiv";
  }
  std::string Page(const char* name) { return drive.ReadFile(std::string("Datenbank/Temp/") + name); }
  void Lines(std::initializer_list<std::u16string> lines) {
    writer.UniRichEdit1.Clear();
    for (const auto& l : lines) writer.UniRichEdit1.Add(l);
  }
  testsupport::TempDrive drive;
  ResultPageState state;
  Host host;
  TResultPageWriter writer;
};

const std::string kHead =
    "<html>\r\n<Head>\r\n<Title> Quarry-HTML Suchergebnis </Title>\r\n"
    "<META http-equiv=\"Content-Type\" content=\"text/html; charset=utf-8\">\r\n</Head>\r\n"
    "<body bgcolor=\"#FFFFFF\" text=\"#000000\" link=\"#669900\" Vlink=\"#999999\" Alink=\"#999999\" > "
    "<font face=\"verdana, arial, helvetica\">\r\n";
const std::string kTail = "</font>\r\n</body>\r\n</html>\r\n";

TEST_F(ResultPages, PageWithTwoHitsHasTheExactLayout) {
  Lines({u"T:\\Docs\\a.htm##text##Das Haus am See<br>", u"T:\\Docs\\b b.htm##text##Ein haus.<br>"});
  writer.SchreibHTMLDocNeu(u"Haus", 2);
  const std::string expected =
      kHead +
      "Datenbankname: \"Archiv\"<br>Sucheinstellung: Gross/klein <u>egal</u> und Suchtext <u>auch als Teil</u> "
      "in einem Wort/Satz finden.\r\n"
      "<br>Suchbegriff: <font color=\"#cc0000\">\"<u>Haus\"</u><font color=\"#000000\"> wurde in 2 Dateien "
      "gefunden.<br>Es wird jeweils nur die erste Fundstelle in der Datei hier aufgelistet:<br>\r\n" +
      std::string(54, '_') + "<br><br>\r\n" +
      "<font color=\"#000000\">in: <a href=\"file://" + drive.Posix("Docs/a.htm") +
      "\" target=\"_blank\">T:\\Docs\\a.htm</a><br><font color=\"#000080\">Das <b>Haus</b> am See<br><br><br>\r\n"
      "<font color=\"#000000\">in: <a href=\"file://" + drive.Posix("Docs/b%20b.htm") +
      "\" target=\"_blank\">T:\\Docs\\b b.htm</a><br><font color=\"#000080\">Ein <b>haus</b>.<br><br><br>\r\n" +
      kTail;
  EXPECT_EQ(Page("QY_Ergebnis.htm"), expected);
  ASSERT_EQ(host.opened.size(), 1u);
  EXPECT_EQ(host.opened[0], drive.Drive(u"Datenbank\\Temp\\QY_Ergebnis.htm"));
  EXPECT_EQ(state.ResultPageNo, 0);
}

TEST_F(ResultPages, NoHitPage) {
  writer.GrossKleinBeachten = true;
  writer.NurGanzeWoerter = true;
  writer.SchreibHTMLDocNeu(u"<i>x", 0);
  const std::string expected =
      kHead +
      "Datenbankname: \"Archiv\"<br>Sucheinstellung: Gross/Kleinschreibung <u>beachten</u> und nur <u>ganze</u> "
      "Wörter.<br>\r\n"
      "<br>Suchbegriff: <font color=\"#cc0000\">\"<u>&lt;i&gt;x\"</u><font color=\"#000000\"> wurde NICHT "
      "gefunden:<br>\r\n" +
      std::string(36, '_') + "<br><br>\r\n" + kTail;
  EXPECT_EQ(Page("QY_Ergebnis.htm"), expected);
}

TEST_F(ResultPages, SettingsSentenceAndRuleLength) {
  struct Row {
    bool caseSensitive, wholeWords;
    std::u16string sentence;
    size_t ruleWithHits, ruleWithout;
  } rows[] = {
      {true, true, u"Sucheinstellung: Gross/Kleinschreibung <u>beachten</u> und nur <u>ganze</u> Wörter.", 68, 36},
      {true, false,
       u"Sucheinstellung: Gross/Kleinschreibung <u>beachten</u> und Suchtext <u>auch als Teil</u> in einem "
       u"Wort/Satz finden.",
       68, 68},
      {false, true, u"Sucheinstellung: Gross/klein <u>egal</u> und <u>nur</u> ganze Wörter.", 54, 22},
      {false, false,
       u"Sucheinstellung: Gross/klein <u>egal</u> und Suchtext <u>auch als Teil</u> in einem Wort/Satz finden.", 54,
       54},
  };
  for (const auto& row : rows) {
    writer.GrossKleinBeachten = row.caseSensitive;
    writer.NurGanzeWoerter = row.wholeWords;
    for (const bool hits : {true, false}) {
      Lines({});
      if (hits) writer.UniRichEdit1.Add(u"T:\\a.htm##text##ab<br>");
      state.ResultPageNo = 2;
      writer.SchreibHTMLDocNeu(u"ab", hits ? 1 : 0);
      const std::u16string expected = u"\r\nDatenbankname: \"Archiv\"<br>" + row.sentence + (hits ? u"" : u"<br>") +
                                      u"\r\n";
      const std::u16string& page = writer.LastPage();
      EXPECT_NE(page.find(expected), std::u16string::npos) << row.ruleWithHits << hits;
      const std::u16string rule = u"\r\n" + std::u16string(hits ? row.ruleWithHits : row.ruleWithout, u'_') +
                                  u"<br><br>\r\n";
      EXPECT_NE(page.find(rule), std::u16string::npos) << row.ruleWithHits << hits;
    }
  }
}

TEST_F(ResultPages, DuplicatesIgnoringCaseAreDroppedAndOneHitSaysDatei) {
  Lines({u"T:\\a.htm##text##x ab<br>", u"T:\\A.HTM##text##X AB<br>", u"T:\\b.htm##text##ab<br>"});
  writer.SchreibHTMLDocNeu(u"ab", 3);
  EXPECT_NE(writer.LastPage().find(u"> wurde in 2 Dateien gefunden."), std::u16string::npos);
  EXPECT_EQ(writer.LastPage().find(u"A.HTM"), std::u16string::npos);
  Lines({u"T:\\a.htm##text##x ab<br>"});
  state.ResultPageNo = 1;
  writer.SchreibHTMLDocNeu(u"ab", 1);
  EXPECT_NE(writer.LastPage().find(u"> wurde in 1 Datei gefunden.<br>Es wird nur die erste Fundstelle"),
            std::u16string::npos);
}

TEST_F(ResultPages, EscapingAndBolding) {
  struct Row {
    std::u16string line, term;
    bool caseSensitive;
    std::u16string entryTail;  // what follows the link's "<font color="#000080">"
  } rows[] = {
      {u"T:\\a.htm##text##<script>alert(1)</script> Haus<br>", u"Haus", false,
       u"&lt;script&gt;alert(1)&lt;/script&gt; <b>Haus</b><br><br><br>"},
      // Only the last occurrence after the link is bold; the path's is not.
      {u"T:\\Haus.htm##text##Haus und Haus<br>", u"Haus", true, u"Haus und <b>Haus</b><br><br><br>"},
      // Case on: the other case is not bold.
      {u"T:\\a.htm##text##HAUS<br>", u"Haus", true, u"HAUS<br><br><br>"},
      // The trimmed term's length, and "&" escaped inside the bold part.
      {u"T:\\a.htm##text##R&D und mehr<br>", u" r&d ", false, u"<b>R&amp;D</b> und mehr<br><br><br>"},
      // A term that matches markup words does not reach into markup.
      {u"T:\\a.htm##text##font<br>", u"font", false, u"<b>font</b><br><br><br>"},
      {u"T:\\a.htm##text##a<br>b\"c'<br>", u"zz", false, u"a&lt;br&gt;b&quot;c&#39;<br><br><br>"},
      {u"T:\\a.htm##text##eins\r\nzwei\rdrei<br>", u"zz", false, u"eins  zwei drei<br><br><br>"},
  };
  for (const auto& row : rows) {
    Lines({row.line});
    writer.GrossKleinBeachten = row.caseSensitive;
    state.ResultPageNo = 2;
    writer.SchreibHTMLDocNeu(row.term, 1);
    const std::u16string& page = writer.LastPage();
    const size_t at = page.find(u"<font color=\"#000080\">");
    ASSERT_NE(at, std::u16string::npos);
    EXPECT_EQ(page.substr(at + 22, page.find(u"\r\n", at) - at - 22), row.entryTail)
        << platform::WideToPosixUtf8(row.line);
  }
  // A line that is no entry is escaped as a whole, with its last occurrence bold.
  Lines({u"<b>Haus</b>##text##"});
  writer.SchreibHTMLDocNeu(u"haus", 1);
  EXPECT_NE(writer.LastPage().find(u"\r\n&lt;b&gt;<b>Haus</b>&lt;/b&gt;##text##\r\n"), std::u16string::npos);
}

TEST_F(ResultPages, LinksAreRealFileUrls) {
  EXPECT_EQ(app::FileUrl(u"C:\\Docs\\x.htm"), u"file:///Docs/x.htm");
  EXPECT_EQ(app::FileUrl(u"C:\\Bücher\\a#b%c.htm"), u"file:///B%C3%BCcher/a%23b%25c.htm");
  EXPECT_EQ(app::FileUrl(u"C:\\\"><script>"), u"file:///%22%3E%3Cscript%3E");
  EXPECT_EQ(app::HtmlEscape(u"a<b>&\"'"), u"a&lt;b&gt;&amp;&quot;&#39;");
}

TEST_F(ResultPages, FirstPageOfAPairIsWrittenTwiceAndPagesLinkOn) {
  Lines({u"T:\\a.htm##text##ab<br>"});
  state.ResultPageNo = -1;
  state.MorePages = true;
  writer.SchreibHTMLDocNeu(u"ab", 30);
  EXPECT_EQ(Page("QY_Ergebnis.htm"), Page("QY_Ergebnis2.htm"));
  const std::string link = "<font color=\"#000000\"><a href=\"file://" + drive.Posix("Datenbank/Temp/QY_Ergebnis2.htm") +
                           "\" target=\"_blank\"><span style=\"font-family:alrial;color:black;text-decoration:none;\">"
                           "Zur nächsten Seite hier klicken</span></a><br><br><br>\r\n";
  EXPECT_NE(Page("QY_Ergebnis.htm").find(link + kTail), std::string::npos);
  EXPECT_NE(Page("QY_Ergebnis.htm").find("> wurde bisher in 30 Dateien gefunden."), std::string::npos);
  EXPECT_EQ(state.ResultPageNo, -1);

  state.ResultPageNo = 3;
  writer.SchreibHTMLDocNeu(u"ab", 75);
  EXPECT_NE(Page("QY_Ergebnis3.htm").find("QY_Ergebnis4.htm"), std::string::npos);
  EXPECT_EQ(host.opened.size(), 1u);  // only the first page opens the browser

  state.MorePages = false;
  state.ResultPageNo = 4;
  writer.SchreibHTMLDocNeu(u"ab", 76);
  EXPECT_EQ(Page("QY_Ergebnis4.htm").find("QY_Ergebnis5"), std::string::npos);
}

TEST_F(ResultPages, NonAsciiIsWrittenAsProperUtf8) {
  Lines({u"T:\\a.htm##text##Grüße \U0001F600<br>"});
  writer.SchreibHTMLDocNeu(u"Grüße", 1);
  const std::string page = Page("QY_Ergebnis.htm");
  EXPECT_NE(page.find("<b>Gr\xC3\xBC\xC3\x9F" "e</b> \xF0\x9F\x98\x80<br>"), std::string::npos);
  EXPECT_TRUE(platform::PosixUtf8ToWide(page).has_value());
}

TEST_F(ResultPages, CancelAndOpenedPath) {
  Lines({u"T:\\a.htm##text##ab<br>"});
  host.cancel = true;
  writer.SchreibHTMLDocNeu(u"ab", 1);
  EXPECT_TRUE(writer.WrittenFiles().empty());
  // Without hit lines a cancel still writes the (empty) buffer.
  Lines({});
  writer.SchreibHTMLDocNeu(u"ab", 0);
  EXPECT_EQ(Page("QY_Ergebnis.htm"), "");
  host.cancel = false;
  host.pathOpened = true;
  state.ResultPageNo = 1;
  Lines({u"T:\\a.htm##text##ab<br>"});
  writer.SchreibHTMLDocNeu(u"ab", 1);
  EXPECT_EQ(writer.WrittenFiles().size(), 1u);
  EXPECT_EQ(state.ResultPageNo, 1);
}

// Pages written ahead by the worker are the pages written at once, in the same order; the
// page buffer may hold entries that the page decodes; a page that cannot be written is
// reported once, when the worker is waited for.
TEST_F(ResultPages, PagesWrittenAheadAreThePagesWrittenAtOnce) {
  const auto run = [&](bool ahead, const std::u16string& base) {
    writer.BaseFolder = base;
    writer.WriteAhead(ahead);
    state = ResultPageState{};
    std::vector<std::u16string> texts;
    for (int32_t page = 1; page <= 12; ++page) {
      Lines({u"t:\\a" + std::u16string(1, char16_t(u'a' + page)) + u".htm##text##ab cd<br>",
             u"T:\\A" + std::u16string(1, char16_t(u'A' + page)) + u".HTM##TEXT##AB CD<br>", u"T:\\b.htm##text##x ab<br>"});
      writer.LineOfEntry = page % 2 ? +[](const std::u16string& e) { return e + u"!"; } : nullptr;
      state.MorePages = page < 12;
      state.ResultPageNo = page == 1 ? 1 : page;
      writer.SchreibHTMLDocNeu(u"ab", page * 3);
    }
    writer.LineOfEntry = nullptr;
    writer.WriteAhead(false);
    return writer.WrittenFiles();
  };
  const std::vector<std::u16string> atOnce = run(false, drive.Drive());
  std::vector<std::string> pages;
  for (const auto& file : atOnce) pages.push_back(drive.ReadFile(platform::PosixPath(file).substr(drive.Posix("").size())));
  ASSERT_EQ(atOnce.size(), 12u);
  EXPECT_NE(pages[2].find("<b>ab</b> cd&lt;br&gt;!<br><br>"), std::string::npos);  // decoded by the page
  EXPECT_NE(pages[2].find("bisher in 8 Dateien"), std::string::npos);  // one repeated line dropped

  const std::vector<std::u16string> ahead = run(true, drive.Drive());
  EXPECT_EQ(std::vector(ahead.begin() + 12, ahead.end()), atOnce);
  for (size_t i = 0; i < atOnce.size(); ++i)
    EXPECT_EQ(drive.ReadFile(platform::PosixPath(atOnce[i]).substr(drive.Posix("").size())), pages[i]) << i;
  EXPECT_EQ(host.opened.size(), 2u);

  // A folder in the way of page 5: the worker's write fails.
  ASSERT_EQ(std::remove(drive.Posix("Datenbank/Temp/QY_Ergebnis5.htm").c_str()), 0);
  ASSERT_EQ(::mkdir(drive.Posix("Datenbank/Temp/QY_Ergebnis5.htm").c_str(), 0755), 0);
  testsupport::ScopedRecordingSink sink;
  writer.ResetFailure();
  run(true, drive.Drive());
  EXPECT_TRUE(writer.Failed());
  ASSERT_EQ(sink->Boxes().size(), 1u);
  EXPECT_NE(sink->Boxes()[0].text.find(u"kann nicht geschrieben werden"), std::u16string::npos);
}

}  // namespace

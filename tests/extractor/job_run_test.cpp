// The extraction job over a browser that serves pages from a table: the exact bytes of
// the store, chunks, state files and log, chunking, the hand-over between processes,
// cancel and resume, and the failures it must survive.
#include <sys/stat.h>

#include <QCoreApplication>

#include <algorithm>

#include <map>
#include <memory>
#include <set>

#include <filesystem>

#include <gtest/gtest.h>

#include "extractor/job/extraction_job.h"
#include "platform/codepage.h"
#include "platform/drives.h"
#include "platform/file.h"
#include "tests/support/temp_dir.h"
#include "textlib/unicode.h"

namespace extractor {
namespace {

const std::u16string kEquals(50, u'=');

class FakeBrowser : public TBrowserHost {
 public:
  std::map<std::u16string, std::u16string> pages;  // missing: a navigation error
  std::set<std::u16string> undeclared;             // pages read without a declared charset
  std::function<void(const std::u16string&)> onLoad;

 protected:
  bool LoadPage(const std::u16string& url, TBrowserDocument& document, int32_t& errorCode) override {
    if (onLoad) onLoad(url);
    const auto it = pages.find(url);
    if (it == pages.end()) {
      errorCode = kNavErrorNotFound;
      return false;
    }
    document.text = it->second;
    document.charsetDeclared = !undeclared.contains(url);
    return true;
  }
};

class TestHost : public JobHost {
 public:
  bool successorStarts = true;
  int successors = 0;
  std::vector<std::u16string> reports;
  std::function<void(std::u16string_view)> onStatus;

  void ProcessMessages() override { QCoreApplication::processEvents(); }
  void Pause(int, const std::function<bool()>& done) override {
    for (int i = 0; i < 3 && !done(); ++i) QCoreApplication::processEvents();
  }
  void SetStatusText(std::u16string_view text) override {
    if (onStatus) onStatus(text);
  }
  void Report(std::u16string_view line) override { reports.emplace_back(line); }
  int64_t TickCount() const override { return 0; }
  bool StartSuccessor(const JobPaths&) override {
    ++successors;
    return successorStarts;
  }
};

// One process of a job: its own browser, host and job, as a new Gleaner would have.
struct Process {
  FakeBrowser browser;
  TestHost host;
  ExtractionJob job{browser, host};
};

std::u16string Utf16Text(const std::string& bytes) {
  std::u16string text;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    text += static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
  return text;
}

int Marks(const std::string& bytes) {
  int marks = 0;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    if (static_cast<unsigned char>(bytes[i]) == 0xFF && static_cast<unsigned char>(bytes[i + 1]) == 0xFE) ++marks;
  return marks;
}

// The paths of the store's blocks, in order.
std::vector<std::u16string> BlockPaths(const std::string& store) {
  std::u16string text = Utf16Text(store);
  std::erase(text, u'\uFEFF');
  std::vector<std::u16string> paths;
  size_t pos = 0;
  while ((pos = text.find(u"\r\n#", pos)) != std::u16string::npos) {
    const size_t end = text.find(u"\r\n", pos + 3);
    paths.push_back(text.substr(pos + 3, end - pos - 3));
    pos = end;
  }
  return paths;
}

class JobRun : public ::testing::Test {
 protected:
  testsupport::TempDrive drive;
  const std::u16string list = u"T:\\b\\Datenbank\\Temp\\db_mht.dat";
  const std::u16string store = u"T:\\b\\Datenbank\\db_MHTtext.txt";
  std::map<std::u16string, std::u16string> pages;
  std::set<std::u16string> undeclared;

  void SetUp() override {
    drive.WriteFile("b/Datenbank/Temp/.keep", "");
    platform::RemoveFile(drive.Posix("b/Datenbank/Temp/.keep"));
  }
  std::string Read(std::string_view path) { return drive.ReadFile(path); }
  bool Exists(std::string_view path) { return platform::Stat(drive.Posix(path)).has_value(); }

  // n archives docs/ä<i>.mht whose pages say "Seite <i>"; returns their list bytes.
  std::string Archives(int n, std::vector<std::u16string>* paths = nullptr) {
    std::string bytes;
    for (int i = 0; i < n; ++i) {
      const std::string name = "docs/\xC3\xA4" + std::to_string(i) + ".mht";
      drive.WriteFile(name, std::string(static_cast<size_t>(i + 1), 'x'));
      const std::u16string path = u"T:\\docs\\ä" + textlib::DecodeUtf8(std::to_string(i)) + u".mht";
      pages[path] = u"Seite " + textlib::DecodeUtf8(std::to_string(i)) + u"\r\n";
      if (paths) paths->push_back(path);
      bytes += "T:\\docs\\\xC3\xA4" + std::to_string(i) + ".mht\r\n";
    }
    return bytes;
  }

  std::unique_ptr<Process> NewProcess() {
    auto p = std::make_unique<Process>();
    p->browser.pages = pages;
    p->browser.undeclared = undeclared;
    return p;
  }

  // Runs a job to its end through all its processes; `prepare` sees each process first.
  JobEnd RunChain(int* processes = nullptr, const std::function<void(Process&, int)>& prepare = nullptr) {
    int count = 1;
    auto p = NewProcess();
    p->job.StartNew(list, store);
    if (prepare) prepare(*p, 0);
    JobEnd end = p->job.ExtrahierDenText();
    while (end == JobEnd::Restarted) {
      p = NewProcess();
      EXPECT_TRUE(p->job.StartRestarted(u"T:\\b\\Datenbank\\Temp\\"));
      if (prepare) prepare(*p, count);
      ++count;
      end = p->job.ExtrahierDenText();
    }
    if (processes) *processes = count;
    return end;
  }
};

TEST_F(JobRun, StoreLogAndListByteForByte) {
  drive.WriteFile("docs/\xC3\x84rger.mht", "0123456789");
  drive.WriteFile("docs/\xF0\x9F\x98\x80 mail.eml", "12345");
  drive.WriteFile("docs/leer.mht", "abc");
  drive.WriteFile("docs/kaputt.mht", "abcd");
  pages[u"T:\\docs\\Ärger.mht"] = u"GrÃ¼ÃŸe\r\nZeile zwei\r\n";
  undeclared.insert(u"T:\\docs\\Ärger.mht");
  pages[u"T:\\docs\\😀 mail.eml"] = u"  Hallo  \r\n\r\n\r\n\r\n\r\nWelt\r\n";
  pages[u"T:\\docs\\leer.mht"] = u"";
  drive.WriteFile("b/Datenbank/Temp/db_mht.dat",
                  "PFAD_UND_ENDUNGEN= T:\\docs *.mht *.eml\r\nT:\\docs\\\xC3\x84rger.mht\r\nT:\\docs\\fehlt.mht\r\n"
                  "T:\\docs\\\xF0\x9F\x98\x80 mail.eml\r\nT:\\docs\\leer.mht\r\nT:\\docs\\kaputt.mht\r\n");
  auto p = NewProcess();
  p->job.StartNew(list, store);
  ASSERT_EQ(p->job.ExtrahierDenText(), JobEnd::Finished);

  EXPECT_EQ(Read("b/Datenbank/db_MHTtext.txt"),
            Utf16LeWithMark(u" \r\n#T:\\docs\\Ärger.mht\r\n" + kEquals + u"\r\n \r\nGrüße\r\nZeile zwei\r\n\r\n" +
                            u" \r\n#T:\\docs\\😀 mail.eml\r\n" + kEquals + u"\r\n \r\nHallo\r\n\r\nWelt\r\n\r\n"));
  EXPECT_EQ(Read("b/Datenbank/db_MHT.log"),
            Utf16LeWithMark(u" \r\nAnzahl Dateien: 6\r\n6 MHT-Dateien wurden indiziert. Zeit: 0:0:2 "
                            u"Gesamtgröße der Datei(en) : 22 Bytes\r\n"));
  ASSERT_EQ(p->host.reports.size(), 1u);
  EXPECT_NE(p->host.reports[0].find(u"kaputt.mht"), std::u16string::npos);
  // Nothing of the job is left behind: no copies, chunks, state or resume list.
  // Only the result, written last, says how the job ended.
  EXPECT_EQ(Read("b/Datenbank/Temp/db_Ergebnis.txt"), "Fertig\r\n");
  auto temp = platform::ListDirectory(drive.Posix("b/Datenbank/Temp"));
  ASSERT_TRUE(temp);
  ASSERT_EQ(temp->size(), 2u);
  std::sort(temp->begin(), temp->end(), [](const auto& a, const auto& b) { return a.name < b.name; });
  EXPECT_EQ((*temp)[0].name, "db_Ergebnis.txt");
  EXPECT_EQ((*temp)[1].name, "db_mht.dat");
  const auto db = platform::ListDirectory(drive.Posix("b/Datenbank"));
  EXPECT_EQ(db->size(), 3u);  // Temp, store, log
}

TEST_F(JobRun, AnEmptyOrMissingListWritesAnEmptyStoreAndLog) {
  auto p = NewProcess();
  p->job.StartNew(list, store);
  ASSERT_EQ(p->job.ExtrahierDenText(), JobEnd::Finished);
  EXPECT_EQ(Read("b/Datenbank/db_MHTtext.txt"), "\xFF\xFE");
  EXPECT_EQ(Read("b/Datenbank/db_MHT.log"),
            Utf16LeWithMark(u" \r\nAnzahl Dateien: 0\r\n0 MHT-Dateien wurden indiziert. Zeit: 0:0:2 "
                            u"Gesamtgröße der Datei(en) : 0 Bytes\r\n"));
}

TEST_F(JobRun, ChunkWrittenAtOneHundredThousandUnits) {
  for (const size_t blockUnits : {size_t{99999}, size_t{100000}}) {
    SCOPED_TRACE(blockUnits);
    drive.WriteFile("docs/a.mht", "a");
    drive.WriteFile("docs/b.mht", "b");
    const std::u16string a = u"T:\\docs\\a.mht", b = u"T:\\docs\\b.mht";
    const std::u16string big(blockUnits - StoreBlock(a, u"").size(), u'x');
    ASSERT_EQ(StoreBlock(a, big).size(), blockUnits);
    pages = {{a, big}, {b, u"klein"}};
    drive.WriteFile("b/Datenbank/Temp/db_mht.dat", "T:\\docs\\a.mht\r\nT:\\docs\\b.mht\r\n");
    ASSERT_EQ(RunChain(), JobEnd::Finished);
    const std::string bytes = Read("b/Datenbank/db_MHTtext.txt");
    EXPECT_EQ(Marks(bytes), blockUnits < kChunkUnits ? 1 : 2);
    std::u16string text = Utf16Text(bytes);
    std::erase(text, u'\uFEFF');
    EXPECT_EQ(text, StoreBlock(a, big) + StoreBlock(b, u"klein"));
  }
}

TEST_F(JobRun, FortyFiveArchivesRunInThreeProcesses) {
  std::vector<std::u16string> paths;
  std::string listBytes = Archives(45, &paths);
  listBytes += "T:\\docs\\\xC4rger.mht\r\n";  // no UTF-8, no file: its bytes must survive
  drive.WriteFile("b/Datenbank/Temp/db_mht.dat", listBytes);

  auto first = NewProcess();
  first->job.StartNew(list, store);
  ASSERT_EQ(first->job.ExtrahierDenText(), JobEnd::Restarted);
  EXPECT_EQ(first->host.successors, 1);
  const std::vector<std::string> lines = SplitListLines(listBytes);
  std::vector<std::string> expected = lines;
  for (int i = 0; i < 20; ++i) expected[static_cast<size_t>(i)] = "*" + lines[static_cast<size_t>(i)];
  EXPECT_EQ(Read("b/Datenbank/Temp/db_mht.dat"), JoinListLines(expected));
  EXPECT_EQ(Read("b/Datenbank/Temp/_mht_temp.dat"), JoinListLines(expected));
  EXPECT_EQ(Read("b/Datenbank/Temp/TempMHTlist.dat"),
            "J1 T:\\b\\Datenbank\\Temp\\db_mht.dat\r\nT:\\b\\Datenbank\\db_MHTtext.txt\r\n");
  EXPECT_EQ(Read("b/Datenbank/Temp/logtemp.log"), Utf16LeWithMark(u"0 210\r\n"));  // 1 + ... + 20 bytes
  EXPECT_TRUE(Exists("b/Datenbank/Temp/db_UTF8Dokument1.txt"));
  EXPECT_FALSE(Exists("b/Datenbank/db_MHTtext.txt"));

  int processes = 1;
  auto p = NewProcess();
  ASSERT_TRUE(p->job.StartRestarted(u"T:\\b\\Datenbank\\Temp\\"));
  JobEnd end = p->job.ExtrahierDenText();
  while (end == JobEnd::Restarted) {
    ++processes;
    p = NewProcess();
    ASSERT_TRUE(p->job.StartRestarted(u"T:\\b\\Datenbank\\Temp\\"));
    end = p->job.ExtrahierDenText();
  }
  ++processes;
  EXPECT_EQ(end, JobEnd::Finished);
  EXPECT_EQ(processes, 3);
  const std::string bytes = Read("b/Datenbank/db_MHTtext.txt");
  EXPECT_EQ(BlockPaths(bytes), paths);
  EXPECT_EQ(Marks(bytes), 3);
  const std::u16string log = Utf16Text(Read("b/Datenbank/db_MHT.log"));
  EXPECT_NE(log.find(u"Anzahl Dateien: 46\r\n"), std::u16string::npos);
  EXPECT_NE(log.find(u"Gesamtgröße der Datei(en) : 1,01 KB"), std::u16string::npos);  // 1035 bytes
  for (const char* left : {"Temp/TempMHTlist.dat", "Temp/_mht_temp.dat", "Temp/logtemp.log", "Temp/db_UTF8Dokument1.txt",
                           "db_mht_temp.dat"})
    EXPECT_FALSE(Exists(std::string("b/Datenbank/") + left)) << left;
}

TEST_F(JobRun, CancelAtEachPointThenResumeStoresEveryArchiveOnceInOrder) {
  enum class Point { DuringWait, BetweenArchives };
  for (const Point point : {Point::DuringWait, Point::BetweenArchives}) {
    for (const int at : {0, 1, 7, 19, 20, 21, 24}) {
      SCOPED_TRACE(testing::Message() << (point == Point::DuringWait ? "wait " : "between ") << at);
      platform::RemoveTreeContentsNoFollow(drive.Posix("b/Datenbank"));
      drive.WriteFile("b/Datenbank/Temp/x", "");
      pages.clear();
      std::vector<std::u16string> paths;
      drive.WriteFile("b/Datenbank/Temp/db_mht.dat", Archives(25, &paths));
      int seen = 0;  // archives shown so far in the job
      const JobEnd end = RunChain(nullptr, [&](Process& p, int) {
        ExtractionJob* job = &p.job;
        p.browser.onLoad = [job, &seen, at, point](const std::u16string&) {
          if (point == Point::DuringWait && seen == at) job->RequestCancel();
          ++seen;
        };
        p.host.onStatus = [job, &seen, at, point](std::u16string_view text) {
          if (point == Point::BetweenArchives && seen == at + 1 && text.starts_with(u"(")) job->RequestCancel();
        };
      });
      ASSERT_EQ(end, JobEnd::Cancelled);
      ASSERT_TRUE(Exists("b/Datenbank/db_mht_temp.dat"));
      EXPECT_EQ(Read("b/Datenbank/Temp/db_Ergebnis.txt"), "Abgebrochen\r\n");
      const std::vector<std::u16string> done = BlockPaths(Read("b/Datenbank/db_MHTtext.txt"));
      // Cancelled while its page loads, an archive stays unfinished; while its text is
      // taken, it is finished first.
      const size_t stored = static_cast<size_t>(point == Point::DuringWait ? at : at + 1);
      EXPECT_EQ(done, std::vector<std::u16string>(paths.begin(), paths.begin() + static_cast<ptrdiff_t>(stored)));
      // The log counts what was stored, and the resume list marks exactly that.
      const std::u16string log = Utf16Text(Read("b/Datenbank/db_MHT.log"));
      EXPECT_NE(log.find(u"Anzahl Dateien: " + textlib::DecodeUtf8(std::to_string(stored)) + u"\r\n"), std::u16string::npos)
          << platform::WideToPosixUtf8(log);
      const std::vector<std::string> resume = SplitListLines(Read("b/Datenbank/db_mht_temp.dat"));
      EXPECT_EQ(static_cast<size_t>(std::count_if(resume.begin(), resume.end(), [](const std::string& l) { return IsFinishedItem(l); })),
                stored);

      // The main program's resume: the resume list becomes the job list, the store chunk 0.
      drive.WriteFile("b/Datenbank/Temp/db_mht.dat", Read("b/Datenbank/db_mht_temp.dat"));
      drive.WriteFile("b/Datenbank/Temp/db_UTF8Dokument0.txt", Read("b/Datenbank/db_MHTtext.txt"));
      platform::RemoveFile(drive.Posix("b/Datenbank/db_MHTtext.txt"));
      ASSERT_EQ(RunChain(), JobEnd::Finished);
      EXPECT_EQ(BlockPaths(Read("b/Datenbank/db_MHTtext.txt")), paths);
      EXPECT_FALSE(Exists("b/Datenbank/db_mht_temp.dat"));
    }
  }
}

TEST_F(JobRun, AFailedRestartGoesOnInTheSameProcess) {
  std::vector<std::u16string> paths;
  drive.WriteFile("b/Datenbank/Temp/db_mht.dat", Archives(25, &paths));
  auto p = NewProcess();
  p->host.successorStarts = false;
  p->job.StartNew(list, store);
  EXPECT_EQ(p->job.ExtrahierDenText(), JobEnd::Finished);
  EXPECT_EQ(p->host.successors, 1);
  const std::string bytes = Read("b/Datenbank/db_MHTtext.txt");
  EXPECT_EQ(BlockPaths(bytes), paths);
  EXPECT_EQ(Marks(bytes), 2);  // the chunk of the hand-over and the rest
  EXPECT_FALSE(Exists("b/Datenbank/Temp/TempMHTlist.dat"));
  EXPECT_NE(Utf16Text(Read("b/Datenbank/db_MHT.log")).find(u"Anzahl Dateien: 25"), std::u16string::npos);
}

TEST_F(JobRun, AFailedJobLeavesNoResumeListAndSaysSo) {
  // A chunk's folder that is missing; a store whose last step, the folder's sync, fails.
  {
    std::vector<std::u16string> paths;
    drive.WriteFile("b/list.dat", Archives(21, &paths));
    platform::RemoveTreeNoFollow(drive.Posix("b/Datenbank/Temp"));
    auto p = NewProcess();
    p->job.StartNew(u"T:\\b\\list.dat", store);
    EXPECT_EQ(p->job.ExtrahierDenText(), JobEnd::Failed);
    EXPECT_NE(p->job.FailureText().find(u"db_UTF8Dokument1.txt"), std::u16string::npos);
    EXPECT_FALSE(Exists("b/Datenbank/db_mht_temp.dat"));
    EXPECT_FALSE(Exists("b/Datenbank/db_MHTtext.txt"));
    EXPECT_FALSE(Exists("b/Datenbank/db_MHT.log"));
  }
  {
    drive.WriteFile("b/Datenbank/Temp/db_mht.dat", Archives(3));
    auto p = NewProcess();
    p->job.StartNew(list, store);
    platform::FaultPlan plan;
    plan.rules.push_back({platform::FaultOp::Sync, 2, EIO, false});  // the store's folder
    platform::ArmFaults(plan);
    const JobEnd end = p->job.ExtrahierDenText();
    platform::DisarmFaults();
    EXPECT_EQ(end, JobEnd::Failed);
    // Every item is done, yet nothing may be taken for finished: the next build starts anew.
    EXPECT_FALSE(Exists("b/Datenbank/db_mht_temp.dat"));
    EXPECT_FALSE(Exists("b/Datenbank/db_MHT.log"));
    const std::string result = Read("b/Datenbank/Temp/db_Ergebnis.txt");
    EXPECT_TRUE(result.starts_with("Fehler\r\nDatei T:\\b\\Datenbank\\db_MHTtext.txt")) << result;
  }
}

TEST_F(JobRun, OnlyRegularFilesAreShown) {
  std::vector<std::u16string> paths;
  std::string listBytes = Archives(2, &paths);
  ASSERT_EQ(::mkfifo(drive.Posix("docs/rohr.mht").c_str(), 0600), 0);
  listBytes += "T:\\docs\\rohr.mht\r\n";
  pages[u"T:\\docs\\rohr.mht"] = u"nie";
  drive.WriteFile("b/Datenbank/Temp/db_mht.dat", listBytes);
  std::vector<std::u16string> shown;
  ASSERT_EQ(RunChain(nullptr, [&](Process& p, int) { p.browser.onLoad = [&](const std::u16string& u) { shown.push_back(u); }; }),
            JobEnd::Finished);
  EXPECT_EQ(shown, paths);
  EXPECT_EQ(BlockPaths(Read("b/Datenbank/db_MHTtext.txt")), paths);
}

TEST_F(JobRun, TheMainProgramsCancelFileStopsTheJob) {
  drive.WriteFile("b/Datenbank/Temp/db_mht.dat", Archives(3));
  drive.WriteFile("b/Datenbank/Temp/db_Abbruch.txt", "");
  EXPECT_EQ(RunChain(), JobEnd::Cancelled);
  EXPECT_EQ(BlockPaths(Read("b/Datenbank/db_MHTtext.txt")), std::vector<std::u16string>{});
  EXPECT_EQ(SplitListLines(Read("b/Datenbank/db_mht_temp.dat")).size(), 3u);
}

TEST_F(JobRun, TheStateBelongsToTheFirstProcessThatClaimsIt) {
  drive.WriteFile("b/Datenbank/Temp/TempMHTlist.dat", "J1 T:\\b\\l.dat\r\nT:\\b\\Datenbank\\db_MHTtext.txt\r\n");
  auto taker = NewProcess();
  EXPECT_TRUE(taker->job.StartRestarted(u"T:\\b\\Datenbank\\Temp\\"));
  EXPECT_FALSE(Exists("b/Datenbank/Temp/TempMHTlist.dat"));
  auto late = NewProcess();
  EXPECT_FALSE(late->job.StartRestarted(u"T:\\b\\Datenbank\\Temp\\"));
  EXPECT_FALSE(late->job.HasJob());
}

TEST_F(JobRun, AResumedJobJoinsChunkZeroButNoChunkOfAnEarlierJob) {
  drive.WriteFile("docs/neu.mht", "n");
  pages[u"T:\\docs\\neu.mht"] = u"neu";
  drive.WriteFile("b/Datenbank/Temp/db_mht.dat", "*T:\\docs\\alt.mht\r\nT:\\docs\\neu.mht\r\n");
  const std::string old = Utf16LeWithMark(StoreBlock(u"T:\\docs\\alt.mht", u"alt"));
  drive.WriteFile("b/Datenbank/Temp/db_UTF8Dokument0.txt", old);
  drive.WriteFile("b/Datenbank/Temp/db_UTF8Dokument1.txt", Utf16LeWithMark(StoreBlock(u"T:\\docs\\stale.mht", u"x")));
  ASSERT_EQ(RunChain(), JobEnd::Finished);
  EXPECT_EQ(Read("b/Datenbank/db_MHTtext.txt"), old + Utf16LeWithMark(StoreBlock(u"T:\\docs\\neu.mht", u"neu")));
}

}  // namespace
}  // namespace extractor

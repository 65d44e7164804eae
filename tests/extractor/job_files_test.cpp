// The extraction job's files and texts: sizes, times, the code-page repair, state and
// totals files, names, the chunk list and the join.
#include <algorithm>
#include <random>

#include <filesystem>

#include <gtest/gtest.h>

#include "extractor/job/job_files.h"
#include "platform/file.h"
#include "tests/support/temp_dir.h"

namespace extractor {
namespace {

TEST(JobFiles, FormatFileSize) {
  const struct {
    int64_t bytes;
    std::u16string text;
  } cases[] = {
      {0, u"0 Bytes"},           {1, u"1 Bytes"},          {1024, u"1024 Bytes"},
      {1025, u"1 KB"},           {1536, u"1,5 KB"},        {1100, u"1,07 KB"},
      {1048576, u"1024 KB"},     {1048577, u"1 MB"},       {6000000, u"5,72 MB"},
      {-1, u"-1 Bytes"},         {int64_t{1} << 60, u"1024 PB"}, {(int64_t{1} << 60) + 1, u"1 EB"},
      {INT64_MAX, u"8 EB"},
  };
  for (const auto& c : cases) EXPECT_EQ(FormatFileSize(c.bytes), c.text) << c.bytes;
}

TEST(JobFiles, TimeAndThousands) {
  EXPECT_EQ(SecondsToTimeText(3725), u"1:2:5");
  EXPECT_EQ(SecondsToTimeText(59), u"0:0:59");
  EXPECT_EQ(SecondsToTimeText(int64_t{100000} * 3600), u"100000:0:0");
  EXPECT_EQ(FormatThousands(0), u"0");
  EXPECT_EQ(FormatThousands(1234567), u"1.234.567");
  EXPECT_EQ(FormatThousands(-1234), u"-1.234");
}

TEST(JobFiles, CodePageRepairTouchesOnlyUndeclaredTextThatCameFromItsBytes) {
  const struct {
    std::u16string text;
    bool declared;
    std::u16string result;
  } cases[] = {
      {u"GrÃ¼ÃŸe", false, u"Grüße"},               // UTF-8 read as 1252
      {u"GrÃ¼ÃŸe", true, u"GrÃ¼ÃŸe"},             // declared: left alone
      {u"Ã and more", false, u"Ã and more"},       // narrowed bytes are no UTF-8
      {u"Ïðèâåò", false, u"Привет"},               // 1251 read as 1252
      {u"Français: forêt, îles", false, u"Français: forêt, îles"},  // Latin words, not Cyrillic ones
      {u"Ìîñêâà è Word", false, u"Москва и Word"},  // Cyrillic words beside a Latin one
      {u"Fenêtre å Åsa", true, u"Fenêtre å Åsa"},  // correct French/Nordic, declared
      {u"Fenêtre → ok", false, u"Fenêtre → ok"},   // "→" is no 1252 character
      {u"Ÿ€", false, u"Ÿ€"},                        // no valid UTF-8 either
      {u"plain text", false, u"plain text"},
  };
  for (const auto& c : cases) EXPECT_EQ(RepairCodePage(c.text, c.declared), c.result);
  EXPECT_EQ(DecodeCodePageText("", 65001), u"");
  EXPECT_EQ(DecodeCodePageText("\xC3\xA4", 65001), u"ä");
  EXPECT_EQ(DecodeCodePageText("\xEF", 1251), u"п");
}

TEST(JobFiles, MailTextLinesTrimmedAndFourBreaksMadeOne) {
  EXPECT_EQ(TidyMailText(u"  Zeile  \r\n\r\n\r\n\r\n\r\nEnde\r\n"), u"Zeile\r\n\r\nEnde\r\n");
  EXPECT_EQ(TidyMailText(u"a\r\n\r\n\r\n\r\n\r\n\r\nb"), u"a\r\n\r\n\r\nb");  // six become three
  EXPECT_EQ(TidyMailText(u"\t x \t"), u"x");
}

TEST(JobFiles, NamesFollowFromTheStore) {
  const JobPaths p = JobPaths::From(u"T:\\b\\Datenbank\\Temp\\web_mht.dat", u"  T:\\b\\Datenbank\\web_MHTtext.txt ");
  EXPECT_EQ(p.outputPath, u"T:\\b\\Datenbank\\web_MHTtext.txt");
  EXPECT_EQ(p.tempFolder, u"T:\\b\\Datenbank\\Temp\\");
  EXPECT_EQ(p.dbPrefix, u"web");
  EXPECT_EQ(p.ChunkPath(12), u"T:\\b\\Datenbank\\Temp\\web_UTF8Dokument12.txt");
  EXPECT_EQ(p.StatePath(), u"T:\\b\\Datenbank\\Temp\\TempMHTlist.dat");
  EXPECT_EQ(p.RestartListPath(), u"T:\\b\\Datenbank\\Temp\\_mht_temp.dat");
  EXPECT_EQ(p.TotalsPath(), u"T:\\b\\Datenbank\\Temp\\logtemp.log");
  EXPECT_EQ(p.ResumeListPath(), u"T:\\b\\Datenbank\\web_mht_temp.dat");
  EXPECT_EQ(p.LogPath(), u"T:\\b\\Datenbank\\web_MHT.log");
  EXPECT_EQ(JobPaths::From(u"l", u"T:\\x\\A_MHTTEXT.TXT").LogPath(), u"T:\\x\\A_MHT.log");
  // A store of another name never gets the log written over it.
  EXPECT_EQ(JobPaths::From(u"l", u"T:\\x\\store.txt").LogPath(), u"T:\\x\\store.txt_MHT.log");
}

TEST(JobFiles, StateKeepsEveryPathOnItsOwnLine) {
  const RestartState state{true, 7, u"T:\\a*b\\Пр 😀\\l_mht.dat", u"T:\\a*b\\Datenbank\\Пр_MHTtext.txt"};
  const std::string bytes = StateFileBytes(state);
  EXPECT_EQ(bytes, "J7 T:\\a*b\\\xD0\x9F\xD1\x80 \xF0\x9F\x98\x80\\l_mht.dat\r\nT:\\a*b\\Datenbank\\\xD0\x9F\xD1\x80_MHTtext.txt\r\n");
  const std::optional<RestartState> back = ParseStateFile(bytes);
  ASSERT_TRUE(back);
  EXPECT_TRUE(back->haveChunks);
  EXPECT_EQ(back->chunkCounter, 7);
  EXPECT_EQ(back->listPath, state.listPath);
  EXPECT_EQ(back->outputPath, state.outputPath);
  EXPECT_FALSE(ParseStateFile("Jx l\r\no\r\n"));
  EXPECT_FALSE(ParseStateFile("J1 l\r\n"));
  const std::optional<RestartState> plain = ParseStateFile("0 l\no");
  ASSERT_TRUE(plain);
  EXPECT_FALSE(plain->haveChunks);
}

TEST(JobFiles, TotalsRoundTrip) {
  const std::string bytes = TotalsFileBytes({12, int64_t{5} << 40});
  EXPECT_EQ(bytes, Utf16LeWithMark(u"12 5497558138880\r\n"));
  const std::optional<Totals> back = ParseTotalsFile(bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->seconds, 12);
  EXPECT_EQ(back->bytes, int64_t{5} << 40);
  EXPECT_FALSE(ParseTotalsFile(Utf16LeWithMark(u"zwölf 3")));
}

TEST(JobFiles, ListLinesKeepTheirBytes) {
  const std::string list = "T:\\a.mht\r\nT:\\\xC4rger.mht\n*T:\\c.eml\rlast";
  const std::vector<std::string> lines = SplitListLines(list);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "T:\\\xC4rger.mht");
  EXPECT_EQ(JoinListLines(lines), "T:\\a.mht\r\nT:\\\xC4rger.mht\r\n*T:\\c.eml\r\nlast\r\n");
  EXPECT_EQ(SplitListLines(std::string(300000, 'x')).at(0).size(), 300000u);  // no line-length limit
}

TEST(JobFiles, ChunksJoinInNumericOrderOfExactlyTheirNames) {
  testsupport::TempDrive drive;
  const JobPaths paths = JobPaths::From(u"T:\\Temp\\db_mht.dat", u"T:\\db_MHTtext.txt");
  std::vector<int> numbers;
  for (int n = 0; n <= 12; ++n) numbers.push_back(n);
  numbers.push_back(100000);
  std::shuffle(numbers.begin(), numbers.end(), std::mt19937(7));
  for (int n : numbers) drive.WriteFile("Temp/db_UTF8Dokument" + std::to_string(n) + ".txt", std::to_string(n) + ";");
  // Not chunks of this job.
  for (const char* name : {"dbx_UTF8Dokument1.txt", "db_UTF8Dokument.txt", "db_UTF8Dokument2a.txt", "db_utf8dokument3.txt",
                           "db_UTF8Dokument4.txt.tmp", "other_UTF8Dokument1.txt"})
    drive.WriteFile(std::string("Temp/") + name, "stray;");
  const std::vector<ChunkFile> chunks = ListChunkFiles(paths);
  std::vector<std::u16string> parts;
  std::string expected;
  for (const ChunkFile& c : chunks) parts.push_back(c.path);
  for (int n = 0; n <= 12; ++n) expected += std::to_string(n) + ";";
  expected += "100000;";
  std::vector<std::u16string> seen;
  ASSERT_TRUE(JoinFiles(parts, paths.outputPath, [&](const std::u16string& p) { seen.push_back(p); }, nullptr));
  EXPECT_EQ(drive.ReadFile("db_MHTtext.txt"), expected);
  EXPECT_EQ(seen, parts);
}

TEST(JobFiles, AFailedJoinLeavesTheOldStore) {
  testsupport::TempDrive drive;
  drive.WriteFile("db_MHTtext.txt", "old");
  drive.WriteFile("Temp/db_UTF8Dokument1.txt", "one");
  std::u16string failed;
  EXPECT_FALSE(JoinFiles({drive.Drive(u"Temp\\db_UTF8Dokument1.txt"), drive.Drive(u"Temp\\missing.txt")},
                         drive.Drive(u"db_MHTtext.txt"), nullptr, &failed));
  EXPECT_EQ(failed, drive.Drive(u"Temp\\missing.txt"));
  EXPECT_EQ(drive.ReadFile("db_MHTtext.txt"), "old");
  {
    platform::FaultPlan plan;
    plan.rules.push_back({platform::FaultOp::Write, 1, ENOSPC});
    platform::ScopedFaults faults(plan);
    EXPECT_FALSE(JoinFiles({drive.Drive(u"Temp\\db_UTF8Dokument1.txt")}, drive.Drive(u"db_MHTtext.txt"), nullptr, &failed));
  }
  EXPECT_EQ(drive.ReadFile("db_MHTtext.txt"), "old");
  EXPECT_EQ(GetFileSizeByName(drive.Drive(u"db_MHTtext.txt")), 3);
  EXPECT_EQ(GetFileSizeByName(drive.Drive(u"db_*.txt")), -1);  // no pattern matching
  EXPECT_EQ(GetFileSizeByName(drive.Drive(u"Temp")), -1);
}

}  // namespace
}  // namespace extractor

#include "app/index/document_store.h"

#include <gtest/gtest.h>

#include <random>

#include "app/index/text_encoding.h"
#include "app/index/write_to_stream.h"
#include "platform/codepage.h"
#include "tests/support/temp_dir.h"

namespace app {
namespace {

std::u16string RandomText(std::mt19937& rng, size_t length) {
  static const char16_t kPool[] = u"abc äöüß€’–\r\n\u00C3\u00BC\u0081\u4E2D\xD83D\xDE00\xD800?";
  std::uniform_int_distribution<size_t> pick(0, std::size(kPool) - 2);
  std::u16string text;
  for (size_t i = 0; i < length; ++i) text += kPool[pick(rng)];
  return text;
}

TEST(DocumentStore, StreamedStoreEqualsTheWholeText) {
  testsupport::TempDrive drive;
  std::mt19937 rng(7);
  std::u16string whole;
  DocumentStore store;
  ASSERT_TRUE(store.BeginFile(drive.Drive(u"store.txt")));
  // Enough entries to pass the write chunk several times, split surrogate pairs included.
  for (int i = 0; i < 300; ++i) {
    const std::u16string entry = RandomText(rng, 5000);
    store.Append(entry);
    whole += entry + u"\r\n";
  }
  // Pages larger than the chunk go out in slices; one slice boundary falls inside a pair.
  for (size_t pairAt : {size_t{1} << 19, (size_t{1} << 19) - 1, size_t{3} << 18}) {
    std::u16string entry = RandomText(rng, (size_t{1} << 20) + 17);
    entry[pairAt - 1] = 0xD83D;
    entry[pairAt] = 0xDE00;
    store.Append(entry);
    whole += entry + u"\r\n";
  }
  EXPECT_EQ(drive.ReadFile("store.txt"), "");  // nothing in place before the flush
  ASSERT_TRUE(store.Flush(drive.Drive(u"store.txt")));
  ASSERT_TRUE(WriteToStream(whole, drive.Drive(u"whole.txt"), 65001));
  EXPECT_EQ(drive.ReadFile("store.txt"), drive.ReadFile("whole.txt"));
  EXPECT_EQ(store.EntryCount(), 0);
}

TEST(DocumentStore, InMemoryWithoutAFile) {
  testsupport::TempDrive drive;
  DocumentStore store;
  store.Append(u" ");
  store.Append(u"#T:\\a.htm");
  EXPECT_EQ(store.PendingText(), u" \r\n#T:\\a.htm\r\n");
  ASSERT_TRUE(store.Flush(drive.Drive(u"store.txt")));
  EXPECT_EQ(drive.ReadFile("store.txt"), " \r\n#T:\\a.htm\r\n");
}

TEST(DocumentStore, FailuresKeepTheOldStore) {
  testsupport::TempDrive drive;
  drive.WriteFile("store.txt", "old");
  DocumentStore store;
  EXPECT_FALSE(store.BeginFile(drive.Drive(u"no\\such\\store.txt")));
  store.Append(u"x");
  EXPECT_FALSE(store.Flush(drive.Drive(u"store.txt")));
  EXPECT_NE(store.ErrorText().find(u"kann nicht geschrieben werden: "), std::u16string::npos);
  EXPECT_EQ(drive.ReadFile("store.txt"), "old");
  // A discarded run leaves neither a store nor its temporary file.
  ASSERT_TRUE(store.BeginFile(drive.Drive(u"store.txt")));
  store.Append(u"new");
  store.Discard();
  EXPECT_EQ(drive.ReadFile("store.txt"), "old");
  EXPECT_EQ(platform::ListDirectory(drive.Posix(""))->size(), 1u);  // no temporary left
}

TEST(AnsiUtf8ToWideLenient, MatchesTheDecoderOverTheNarrowedText) {
  std::mt19937 rng(11);
  for (int i = 0; i < 2000; ++i) {
    const std::u16string text = RandomText(rng, i % 40);
    EXPECT_EQ(AnsiUtf8ToWideLenient(text), Utf8ToWideLenient(platform::WideToAnsi(text)));
  }
  std::uniform_int_distribution<int> byte(0, 255);
  for (int i = 0; i < 2000; ++i) {
    std::string bytes;
    for (int k = 0; k < i % 12; ++k) bytes += static_cast<char>(byte(rng));
    EXPECT_EQ(AnsiUtf8ToWideLenient(platform::AnsiToWide(bytes)), Utf8ToWideLenient(bytes));
  }
}

}  // namespace
}  // namespace app

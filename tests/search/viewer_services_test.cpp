#include "search/engine/viewer_services.h"

#include <gtest/gtest.h>

#include "platform/clipboard.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"

namespace search {
namespace {

TEST(ViewerServices, FileTestsAndMarks) {
  testsupport::TempDrive drive;
  drive.WriteFile("le.txt", std::string("\xFF\xFEx\0", 4));
  drive.WriteFile("utf8.txt", "\xEF\xBB\xBFx");
  drive.WriteFile("short.txt", "\xEF\xBB");
  platform::MakeDirectory(drive.Posix("dir"));
  bool isDir = true;
  EXPECT_TRUE(FileExistsInfo(drive.Drive(u"le.txt"), isDir));
  EXPECT_FALSE(isDir);
  EXPECT_TRUE(FileExistsInfo(drive.Drive(u"dir"), isDir));
  EXPECT_TRUE(isDir);
  EXPECT_FALSE(FileExistsNotDirectory(drive.Drive(u"dir")));
  EXPECT_FALSE(FileExistsInfo(drive.Drive(u"missing"), isDir));
  EXPECT_FALSE(OpenFileShared(drive.Drive(u"dir")).Valid());
  EXPECT_FALSE(OpenFileShared(drive.Drive(u"missing")).Valid());

  auto le = OpenFileShared(drive.Drive(u"le.txt"));
  auto utf8 = OpenFileShared(drive.Drive(u"utf8.txt"));
  auto shortFile = OpenFileShared(drive.Drive(u"short.txt"));
  EXPECT_TRUE(IsFileUnicode(le));
  EXPECT_FALSE(IsFileUTF8(le));
  EXPECT_TRUE(IsFileUTF8(utf8));
  EXPECT_FALSE(IsFileUnicode(utf8));
  EXPECT_FALSE(IsFileUTF8(shortFile));
  EXPECT_EQ(FileSizeOfHandle(le), 4);
  EXPECT_EQ(FileSizeOfHandle(platform::NativeFile()), -1);
}

TEST(ViewerServices, TextsAndHex) {
  EXPECT_EQ(StrToHexBytes("ABC"), "41 42 43");
  EXPECT_EQ(StrToHexBytes(std::string("\0\xFF", 2)), "00 FF");
  EXPECT_EQ(StrToHexBytes(""), "");
  EXPECT_EQ(SubstituteFileName(kMsgCannotOpenFile, u"C:\\100%s.txt"), u"Cannot open file: \"C:\\100%s.txt\"");
}

TEST(ViewerServices, Clipboard) {
  auto clip = std::make_shared<platform::MemoryClipboard>();
  auto previous = platform::SetClipboard(clip);
  EXPECT_TRUE(CopyToClipboardEncoded("", vEncANSI));
  EXPECT_TRUE(CopyToClipboardEncoded("\x84", vEncOEM));
  EXPECT_EQ(clip->bytes[platform::ClipFormat::OemText], "\x84");
  EXPECT_EQ(clip->unicodeText, u"ä");
  EXPECT_TRUE(CopyToClipboardEncoded("\xC6", vEncCyrWin));
  EXPECT_EQ(clip->bytes.count(platform::ClipFormat::OemText), 0u);  // emptied first
  EXPECT_EQ(clip->bytes[platform::ClipFormat::Text], "?");
  EXPECT_EQ(clip->unicodeText, u"Ж");
  EXPECT_TRUE(CopyWideTextToClipboard(u"Ω"));
  EXPECT_EQ(clip->unicodeText, u"Ω");
  clip->busy = true;
  EXPECT_FALSE(CopyWideTextToClipboard(u"x"));
  EXPECT_FALSE(CopyToClipboardEncoded("x", vEncANSI));
  EXPECT_TRUE(CopyToClipboardW(u"", true));
  platform::SetClipboard(previous);
}

TEST(ViewerServices, MessageBoxes) {
  testsupport::ScopedRecordingSink sink;
  MsgError(u"Cannot read stream");
  ASSERT_EQ(sink->Boxes().size(), 1u);
  EXPECT_EQ(sink->Boxes()[0].caption, u"Viewer");
  EXPECT_EQ(sink->Boxes()[0].flags, platform::mb::IconError | kMbSetForeground);
  MessageBoxesEnabled = false;
  EXPECT_EQ(MsgBox(u"x", u"y", platform::mb::Ok), platform::MsgResult::Cancel);
  MessageBoxesEnabled = true;
  EXPECT_EQ(sink->Boxes().size(), 1u);
}

// Held errors are counted, by the innermost holding scope, and shown again once it ends.
TEST(ViewerServices, HeldErrorsAreCountedNotShown) {
  testsupport::ScopedRecordingSink sink;
  {
    ViewerErrorsHeld outer;
    {
      const ViewerErrorsHeld notHolding(false);
      const ViewerErrorsHeld inner;
      MsgError(u"Cannot read stream");
      EXPECT_TRUE(inner.Any());
      EXPECT_FALSE(notHolding.Any());
    }
    EXPECT_FALSE(outer.Any());
    MsgError(u"Cannot read stream");
    EXPECT_TRUE(outer.Any());
  }
  EXPECT_TRUE(sink->Boxes().empty());
  MsgError(u"Cannot read stream");
  EXPECT_EQ(sink->Boxes().size(), 1u);
}

}  // namespace
}  // namespace search

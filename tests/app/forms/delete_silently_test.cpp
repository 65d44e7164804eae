#include "app/forms/delete_silently.h"

#include <filesystem>

#include "forms_fixture.h"

namespace formstest {
namespace {

namespace fs = std::filesystem;

// Files outside the emptied folder that links inside it point to.
void PutOutside(const testsupport::TempDrive& drive) {
  drive.WriteFile("outside/keep.txt", "keep");
  drive.WriteFile("outside/sub/keep.htm", "keep too");
}

void ExpectOutsideIntact(const testsupport::TempDrive& drive) {
  EXPECT_EQ(drive.ReadFile("outside/keep.txt"), "keep");
  EXPECT_EQ(drive.ReadFile("outside/sub/keep.htm"), "keep too");
}

// A folder with a file, a subfolder and links to a file and a folder outside.
void FillWithLinks(const testsupport::TempDrive& drive, const std::string& folder) {
  drive.WriteFile(folder + "/a.htm", "x");
  drive.WriteFile(folder + "/sub/b.txt", "y");
  fs::create_symlink(drive.Posix("outside/keep.txt"), drive.Posix(folder + "/file-link.htm"));
  fs::create_symlink(drive.Posix("outside"), drive.Posix(folder + "/folder-link"));
  fs::create_symlink(drive.Posix("outside"), drive.Posix(folder + "/sub/inner-link"));
}

TEST(DeleteSilently, EmptiesTheFolderRemovingLinksNotWhatTheyPointTo) {
  testsupport::TempDrive drive;
  PutOutside(drive);
  FillWithLinks(drive, "Temp");
  EXPECT_TRUE(app::DeleteSilently(u"T:\\Temp\\*.*"));
  EXPECT_TRUE(fs::is_directory(drive.Posix("Temp")));
  EXPECT_TRUE(fs::is_empty(drive.Posix("Temp")));
  ExpectOutsideIntact(drive);
}

TEST(DeleteSilently, APatternTakesOnlyMatchingNamesAndALinkAmongThemIsRemovedNotFollowed) {
  testsupport::TempDrive drive;
  PutOutside(drive);
  FillWithLinks(drive, "Temp");
  EXPECT_TRUE(app::DeleteSilently(u"T:\\Temp\\*.HTM"));
  EXPECT_FALSE(fs::exists(drive.Posix("Temp/a.htm")));
  EXPECT_FALSE(fs::is_symlink(drive.Posix("Temp/file-link.htm")));
  EXPECT_TRUE(fs::exists(drive.Posix("Temp/sub/b.txt")));
  EXPECT_TRUE(fs::is_symlink(drive.Posix("Temp/folder-link")));
  ExpectOutsideIntact(drive);
}

TEST(DeleteSilently, AFolderThatIsALinkOrMissingIsRefused) {
  testsupport::TempDrive drive;
  PutOutside(drive);
  fs::create_symlink(drive.Posix("outside"), drive.Posix("Temp"));
  for (const char16_t* mask : {u"T:\\Temp\\*.*", u"T:\\Temp\\*.htm", u"T:\\missing\\*.*"}) {
    EXPECT_FALSE(app::DeleteSilently(mask));
  }
  EXPECT_TRUE(fs::is_symlink(drive.Posix("Temp")));
  ExpectOutsideIntact(drive);
}

TEST_F(FormsTest, ClosingEmptiesTempWithoutFollowingLinks) {
  PutOutside(drive_);
  struct Case {
    const char* what;
    bool tempIsLink;
  };
  for (const Case& c : {Case{"a real Temp holding links", false}, Case{"Temp itself a link", true}}) {
    SCOPED_TRACE(c.what);
    fs::remove_all(drive_.Posix("base/Datenbank"));
    fs::create_directories(drive_.Posix("base/Datenbank"));
    if (c.tempIsLink) {
      fs::create_symlink(drive_.Posix("outside"), drive_.Posix("base/Datenbank/Temp"));
    } else {
      FillWithLinks(drive_, "base/Datenbank/Temp");
    }
    auto w = Start();
    sink_->Answer(platform::MsgResult::Yes);
    EXPECT_TRUE(w->main->close());
    ExpectOutsideIntact(drive_);
    if (c.tempIsLink) {
      EXPECT_TRUE(fs::is_symlink(drive_.Posix("base/Datenbank/Temp")));
    } else {
      EXPECT_TRUE(fs::is_empty(drive_.Posix("base/Datenbank/Temp")));
    }
  }
}

}  // namespace
}  // namespace formstest

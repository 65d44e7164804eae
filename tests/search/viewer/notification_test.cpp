#include "search/viewer/file_notification.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <cstdio>
#include <fstream>
#include <string>

#include "platform/drives.h"
#include "tests/support/temp_dir.h"

namespace search {
namespace {

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << bytes;
}

class NotificationTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file = drive.Posix("watched.txt");
    WriteFile(file, "first");
    watch.SetFileName(drive.Drive(u"watched.txt"));
    watch.Options = foNotifyFilename | foNotifySize | foNotifyLastWrite;
    watch.Start();
  }
  testsupport::TempDrive drive;
  std::string file;
  TFileNotification watch;
};

TEST_F(NotificationTest, TwoWritesGiveOneEventAndALaterWriteAnother) {
  QSignalSpy changed(&watch, &TFileNotification::Changed);
  WriteFile(file, "second, longer");
  WriteFile(file, "third, longer still");
  QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 10000);
  // Every notice of the two writes came before this write's: exactly one more event.
  WriteFile(file, "4");
  QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 2, 10000);
  EXPECT_FALSE(watch.Timer().isActive());
}

TEST_F(NotificationTest, AnUnrelatedFileInTheFolderIsNoChange) {
  QSignalSpy changed(&watch, &TFileNotification::Changed);
  WriteFile(drive.Posix("other.txt"), "x");
  // The next event is the watched file's own: the other file's notice started nothing.
  WriteFile(file, "changed");
  QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 10000);
  WriteFile(drive.Posix("other.txt"), "xy");
  WriteFile(file, "changed again");
  QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 2, 10000);
}

TEST_F(NotificationTest, ARenameOverTheFileKeepsItWatched) {
  QSignalSpy changed(&watch, &TFileNotification::Changed);
  WriteFile(drive.Posix("new.tmp"), "replacement");
  ASSERT_EQ(std::rename(drive.Posix("new.tmp").c_str(), file.c_str()), 0);
  QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 10000);
  // The replacement itself is watched: a write to it is seen.
  WriteFile(file, "written after the rename");
  QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 2, 10000);
}

TEST_F(NotificationTest, DeletionIsAChangeAndStopEndsTheWatch) {
  QSignalSpy changed(&watch, &TFileNotification::Changed);
  ASSERT_EQ(std::remove(file.c_str()), 0);
  QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 10000);
  WriteFile(file, "back again");
  QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 2, 10000);
  watch.Stop();
  EXPECT_FALSE(watch.Active());
  WriteFile(file, "unseen");
  WriteFile(drive.Posix("marker"), "");
  QCoreApplication::processEvents();
  EXPECT_EQ(changed.count(), 2);
}

TEST(FileNotification, AFolderWatchSeesANewFile) {
  testsupport::TempDrive drive;
  TFileNotification watch;
  watch.SetDirectory(drive.Drive());
  watch.Start();
  QSignalSpy changed(&watch, &TFileNotification::Changed);
  WriteFile(drive.Posix("new.txt"), "x");
  QTRY_COMPARE_WITH_TIMEOUT(changed.count(), 1, 10000);
}

TEST(FileNotification, SettingOneNameClearsTheOther) {
  TFileNotification watch;
  watch.SetDirectory(u"C:\\tmp");
  watch.SetFileName(u"C:\\tmp\\a.txt");
  EXPECT_TRUE(watch.Directory().empty());
  watch.SetDirectory(u"C:\\tmp");
  EXPECT_TRUE(watch.FileName().empty());
  EXPECT_EQ(watch.Options, foNotifyFilename | foNotifyDirname | foNotifyLastWrite);
}

}  // namespace
}  // namespace search

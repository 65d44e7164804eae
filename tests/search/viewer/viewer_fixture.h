#pragma once
// A viewer on a temporary drive with a recording holder and message boxes recorded.
#include <QApplication>
#include <QTest>
#include <string>
#include <vector>

#include "search/viewer/file_viewer.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"

namespace search {

class RecordingHost : public TViewerHost {
 public:
  bool QuietFlag() const override { return quiet; }
  TViewerDocKind DocKind() const override { return kind; }
  void ClearMemo() override {
    memo.clear();
    ++clears;
  }
  void AppendMemoLine(const std::u16string& line, int) override {
    memo.push_back(line);
    memoFilled = true;
    if (onAppend) onAppend();
  }
  void MemoDrawn() override { ++drawn; }
  void SetFirstShownOffset(int64_t offset) override { firstShown = offset; }
  void FitMemoWidth(bool withBar, int) override { memoBeside = withBar; }
  void ShowMemoOverlay() override { ++overlayShown; }
  void SetSearchBoxText(const std::u16string& text) override { searchBox = text; }

  bool quiet = false;
  TViewerDocKind kind = TViewerDocKind::Ansi;
  std::vector<std::u16string> memo;
  int clears = 0, drawn = 0, overlayShown = 0;
  bool memoFilled = false, memoBeside = false;
  int64_t firstShown = -1;
  std::u16string searchBox;
  std::function<void()> onAppend;
};

class ViewerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    viewer.SetHost(&host);
    viewer.SetFont(ViewerTypewriterFont(10));
    viewer.resize(640, 320);
    viewer.show();
    Settle();
  }
  // Lets posted resize and layout events arrive.
  static void Settle() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
  // Writes the file and opens it.
  void OpenFile(const std::string& bytes, TFileViewerMode mode = vmodeText, std::u16string name = u"doc.txt") {
    drive.WriteFile(std::string(name.begin(), name.end()), bytes);
    viewer.SetMode(mode);
    ASSERT_TRUE(viewer.Open(drive.Drive(name)));
    Settle();
    viewer.Redraw();
  }
  QImage Grab() { return viewer.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  // The point inside the character at offset (one pixel right of its left edge).
  QPoint PointOf(int64_t offset) {
    int x = 0, y = 0;
    EXPECT_TRUE(viewer.Page().lines.PointFromOffset(offset, x, y)) << offset;
    return QPoint(x - viewer.Model().HViewPos() + 1, y + 1);
  }

  testsupport::TempDrive drive;
  testsupport::ScopedRecordingSink boxes;
  RecordingHost host;
  TFileViewer viewer;
};

}  // namespace search

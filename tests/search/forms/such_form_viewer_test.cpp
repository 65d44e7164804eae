#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTextDocument>
#include <cstdlib>
#include <string>

#include "app/settings/program_state.h"
#include "search/forms/such_form.h"
#include "search/viewer/file_viewer.h"
#include "tests/support/recording_sink.h"
#include "tests/support/temp_dir.h"
#include "widgets/uni_memo.h"

namespace search {
namespace {

TEST(SuchFormViewer, TheVisibleViewerMirrorsIntoTheMemoOverIt) {
  testsupport::TempDrive drive;
  testsupport::ScopedRecordingSink boxes;
  app::ProgramState state;
  search::TSuchForm form(state);
  form.show();
  QCoreApplication::sendPostedEvents();
  auto* viewer = form.findChild<TFileViewer*>(QStringLiteral("Viewer"));
  auto* hidden = form.findChild<TFileViewer*>(QStringLiteral("Viewer2"));
  auto* memo = form.findChild<widgets::TUniMemo*>(QStringLiteral("ViewerMemo"));
  ASSERT_TRUE(viewer && hidden && memo);
  EXPECT_EQ(memo->parentWidget(), viewer);
  EXPECT_FALSE(hidden->isVisible());
  EXPECT_TRUE(viewer->Model().TextWrap());
  EXPECT_TRUE(viewer->Model().TextWidthFit());
  EXPECT_FALSE(viewer->EncodingItem().isVisible());

  std::string text;
  for (int i = 0; i < 200; ++i) text += "Zeile " + std::to_string(i) + "\r\n";
  drive.WriteFile("doc.txt", text);
  ASSERT_TRUE(viewer->Open(drive.Drive(u"doc.txt")));
  QCoreApplication::sendPostedEvents();
  viewer->Redraw();
  EXPECT_TRUE(state.MemoFilled);
  // Without a document kind of the window each mirrored line is empty: one block per line.
  EXPECT_EQ(memo->document()->blockCount(), viewer->Page().lines.Count());
  EXPECT_TRUE(memo->Text().find_first_not_of(u"\r\n") == std::u16string::npos);
  EXPECT_EQ(memo->height(), viewer->height());
  // The bar beside the memo stays free.
  ASSERT_TRUE(viewer->verticalScrollBar()->isVisible());
  EXPECT_LE(memo->width(), viewer->verticalScrollBar()->parentWidget()->x());
  if (const char* folder = std::getenv("QUARRY_VIEWER_SHOTS")) {
    form.grab().save(QString::fromUtf8(folder) + QStringLiteral("/v3-such-form.png"));
    viewer->grab().save(QString::fromUtf8(folder) + QStringLiteral("/v3-such-form-viewer.png"));
  }
  form.SetViewerFontSize(14);
  EXPECT_EQ(viewer->Font().pointSize(), 14);
  form.CloseViewerDocument();
  EXPECT_TRUE(viewer->FileName().empty());
  EXPECT_EQ(memo->Lines().Count(), 0);
  EXPECT_TRUE(boxes->Boxes().empty());
}

}  // namespace
}  // namespace search

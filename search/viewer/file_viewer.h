#pragma once
// The file viewer control: a scroll area that draws the page its document model lays out
// into an image of its own and copies the image to the screen. The model (buffer, modes,
// positions, line splitting, selection) lives in the search engine and runs without a
// window; this class adds the fonts, the drawing of the five modes, keys, mouse, the
// pop-up and encoding menus, the mirror of drawn lines into the holder's memo, and auto
// reload over a file watch.
#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QFont>
#include <QImage>
#include <QTimer>
#include <cstdint>
#include <memory>
#include <string>

#include "search/engine/document_model.h"
#include "search/viewer/file_notification.h"
#include "search/viewer/viewer_host.h"
#include "search/viewer/viewer_menus.h"

class QMenu;
class QAction;

namespace search {

enum TViewerPopupCommand : uint32_t {
  vpCmdCopy = 1,
  vpCmdCopyHex = 2,
  vpCmdSelectLine = 4,
  vpCmdSelectAll = 8,
  vpCmdEncMenu = 16,
};
using TViewerPopupCommands = uint32_t;

// The fonts by their names; fontconfig picks the nearest installed family.
QFont ViewerTypewriterFont(int pointSize = 10);  // "Courier New"
QFont ViewerOemFont(int pointSize = 9);          // "Terminal": code page 850 text, monospace
QFont ViewerUnicodeFont(int pointSize = 10);     // "Arial Unicode MS" and wide fallbacks

class TFileViewer : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TFileViewer(QWidget* parent = nullptr);
  ~TFileViewer() override;

  TDocumentModel& Model() { return model_; }
  const TDocumentModel& Model() const { return model_; }
  // The window whose memo mirrors the drawn lines; nullptr: none.
  void SetHost(TViewerHost* host) { host_ = host; }

  // ---- Source
  bool Open(const std::u16string& fileName, bool redraw = true);
  bool LoadFile(bool newFile);
  void CloseSource();
  const std::u16string& FileName() const { return model_.FileName(); }

  // ---- Properties that redraw or touch the menus
  TFileViewerMode Mode() const { return model_.Mode(); }
  void SetMode(TFileViewerMode mode);
  TViewerEncoding TextEncoding() const { return model_.TextEncoding(); }
  void SetTextEncoding(TViewerEncoding encoding);
  void SetTextNonPrintable(bool on);
  void SetTextOemSpecial(bool on);
  const QFont& Font() const { return font_; }
  void SetFont(const QFont& font);
  const QFont& FontOEM() const { return fontOem_; }
  void SetFontOEM(const QFont& font);
  // Kept and streamed; no drawing uses it.
  QFont FontFooter;
  QColor FontColor = Qt::black;
  QColor Color = Qt::white;
  TViewerPopupCommands TextPopupCommands = vpCmdCopy | vpCmdCopyHex | vpCmdSelectLine | vpCmdSelectAll | vpCmdEncMenu;
  bool AutoReload() const { return model_.AutoReload; }
  void SetAutoReload(bool on);
  bool AutoReloadBeep() const { return model_.AutoReloadBeep; }
  void SetAutoReloadBeep(bool on) { model_.AutoReloadBeep = on; }

  // ---- Drawing
  void Redraw();
  // The last drawn image and the page it shows.
  const QImage& Bitmap() const { return bitmap_; }
  const TViewerPage& Page() const { return page_; }
  bool Drawing() const { return redrawLock_ > 0; }

  // ---- Commands
  // Failure: "Cannot copy data to Clipboard" (caption "Viewer").
  bool CopyToClipboard(bool asHex = false);
  // One point larger (direction 1) or smaller (-1) until the line height changes; nothing
  // beyond 72 or below 1 point.
  bool StepFontSize(int direction);
  void ScrollHorizontally(int pixels);

  // ---- Menus (for the window and for tests)
  QMenu& PopupMenu() { return *popup_; }
  QAction& CopyToSearchBoxItem() { return *copyItem_; }
  QAction& EncodingItem() { return *encodingItem_; }
  void UpdatePopupMenu();
  // The encoding menu of the current mode, built on first use, its checks brought up to date.
  QMenu& EncodingMenu();
  // Pops the encoding menu up centred 20 pixels above the viewer's middle.
  void ShowEncodingMenu();

  TFileNotification& FileWatch() { return watch_; }
  bool MiddleScrolling() const { return middleScrolling_; }

 signals:
  void OnFileReload();
  void OnSelectionChange();
  void OnOptionsChange();
  void OnScroll();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  bool viewportEvent(QEvent* event) override;
  void scrollContentsBy(int, int) override {}

 private:
  class Measure;
  enum class Edge { None, Top, Bottom, Left, Right };

  const QFont& DrawingFont() const;
  void DrawTo(QImage& image);
  void DrawReadError(QPainter& p, const QColor& colour);
  void DrawLineMode(QPainter& p, const QColor& text);
  void DrawBinary(QPainter& p, const QColor& text);
  void DrawHex(QPainter& p, const QColor& text, bool enabled);
  // Draws a line's text at its point, a TAB's filler left blank; nothing while the holder
  // is quiet.
  void DrawText(QPainter& p, const TStrPosRecord& line, const QColor& colour);
  void InvertSelection(QPainter& p, const TStrPosRecord& line);
  void UpdateScrollBars();
  void OnScrollBarAction(Qt::Orientation orientation, int action);

  int64_t OffsetAt(QPoint point) const;
  // The character under the point (not the nearest caret position), -1 off the text.
  int64_t CharOffsetAt(QPoint point) const;
  void ExtendSelectionTo(QPoint point);
  void AutoScrollTick();
  void MiddleScrollTick();
  void StartMiddleScrolling(QPoint point);
  void EndMiddleScrolling();
  void OnFileChanged();
  void FileChangedNow();
  void CopySelectionToSearchBox();
  void ChooseEncoding(QAction* action);

  TDocumentModel model_;
  std::unique_ptr<Measure> measure_;
  TViewerHost* host_ = nullptr;
  QFont font_, fontOem_;
  QImage bitmap_;
  TViewerPage page_;
  int redrawLock_ = 0;
  bool changePending_ = false;
  bool settingBars_ = false;

  // Mouse.
  bool selecting_ = false;
  int64_t dragAnchor_ = -1, shiftAnchor_ = 0, doubleClickOffset_ = -1;
  bool doubleClicked_ = false, tripleWait_ = false;
  uint64_t doubleClickTick_ = 0;
  Edge edge_ = Edge::None;
  QPoint mousePoint_;
  QTimer autoScrollTimer_, middleTimer_;
  bool middleScrolling_ = false;
  QPoint middleStart_;

  QMenu* popup_ = nullptr;
  QAction* copyItem_ = nullptr;
  QAction* encodingItem_ = nullptr;
  QMenu* encodingMenu8_ = nullptr;
  QMenu* encodingMenu16_ = nullptr;

  TFileNotification watch_;
};

}  // namespace search

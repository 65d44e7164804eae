#include "search/viewer/file_viewer.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextLayout>
#include <QWheelEvent>
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "search/engine/viewer_services.h"
#include "search/viewer/viewer_cursors.h"

namespace search {

namespace {

QColor FromBgr(uint32_t bgr) { return QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF); }

QString Q(const std::u16string& s) { return QString::fromUtf16(s.data(), static_cast<qsizetype>(s.size())); }

QFont FontOf(const QStringList& families, int pointSize, QFont::StyleHint hint, bool fixedPitch) {
  QFont font;
  font.setFamilies(families);
  font.setPointSize(pointSize);
  font.setStyleHint(hint);
  font.setFixedPitch(fixedPitch);
  return font;
}

}  // namespace

QFont ViewerTypewriterFont(int pointSize) {
  return FontOf({"Courier New", "Liberation Mono", "DejaVu Sans Mono", "Noto Sans Mono", "monospace"}, pointSize,
                QFont::TypeWriter, true);
}

QFont ViewerOemFont(int pointSize) {
  // The OEM bytes are decoded through code page 850 before drawing, so any monospace font
  // with the box-drawing characters stands in for "Terminal".
  return FontOf({"Terminal", "DejaVu Sans Mono", "Noto Sans Mono", "monospace"}, pointSize, QFont::TypeWriter, true);
}

QFont ViewerUnicodeFont(int pointSize) {
  return FontOf({"Arial Unicode MS", "Noto Sans", "DejaVu Sans", "sans-serif"}, pointSize, QFont::SansSerif, false);
}

// The layout's measure: the metrics of the font the viewer draws with.
class TFileViewer::Measure : public TViewerMeasure {
 public:
  explicit Measure(const TFileViewer& viewer) : viewer_(viewer) {}
  int LineHeight() const override { return std::max(1, Metrics().height()); }
  int CharWidth() const override { return std::max(1, Metrics().horizontalAdvance(QLatin1Char('0'))); }
  bool FixedPitch() const override {
    const QFontMetrics m = Metrics();
    return m.horizontalAdvance(QLatin1Char('W')) == m.horizontalAdvance(QLatin1Char('.'));
  }
  void Extents(std::u16string_view text, std::vector<int>& widths) const override {
    widths.assign(text.size(), 0);
    if (text.empty()) return;
    const QString s = QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
    // cursorToX sums the advances from the start of the text on every call, so a long
    // line costs its length squared. Such a line is measured in pieces that start after a
    // blank; each seam is checked against the whole line, which still decides whenever a
    // piece measures otherwise (kerning or shaping across the seam, right-to-left text).
    if (s.size() > 2 * kPiece && LeftToRightOnly(s) && MeasurePieces(s, widths)) return;
    QTextLayout layout(s, viewer_.DrawingFont());
    QTextLine line = LayOut(layout);
    Fill(line, s, 0, s.size(), 0, widths);
  }

 private:
  static constexpr qsizetype kPiece = 64;

  static QTextLine LayOut(QTextLayout& layout) {
    QTextOption option;
    option.setWrapMode(QTextOption::NoWrap);
    layout.setTextOption(option);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    return line;
  }
  // widths[from..to) from a line laid out from `from` on, whose start lies at x = base.
  static void Fill(const QTextLine& line, const QString& s, qsizetype from, qsizetype to, qreal base,
                   std::vector<int>& widths) {
    for (qsizetype i = from; i < to; ++i) {
      const bool highHalf = s[i].isHighSurrogate() && i + 1 < s.size();
      widths[i] = highHalf ? (i > 0 ? widths[i - 1] : 0)
                           : static_cast<int>(base + line.cursorToX(static_cast<int>(i - from + 1)) + 0.5);
    }
  }
  static bool LeftToRightOnly(const QString& s) {
    for (QChar c : s) {
      switch (c.direction()) {
        case QChar::DirR: case QChar::DirAL: case QChar::DirAN: case QChar::DirLRE: case QChar::DirLRO:
        case QChar::DirRLE: case QChar::DirRLO: case QChar::DirPDF: case QChar::DirLRI: case QChar::DirRLI:
        case QChar::DirFSI: case QChar::DirPDI: return false;
        default: break;
      }
    }
    return true;
  }
  // false when a seam measures otherwise than the whole line.
  bool MeasurePieces(const QString& s, std::vector<int>& widths) const {
    QTextLayout whole(s, viewer_.DrawingFont());
    const QTextLine wholeLine = LayOut(whole);
    qreal base = 0;
    for (qsizetype from = 0, to; from < s.size(); from = to) {
      // A seam only between a blank and a letter or digit, so no character is split.
      to = std::min(s.size(), from + kPiece);
      while (to < s.size() && !(s[to - 1] == u' ' && s[to].isLetterOrNumber())) ++to;
      QTextLayout piece(s.mid(from, to - from), viewer_.DrawingFont());
      const QTextLine line = LayOut(piece);
      Fill(line, s, from, to, base, widths);
      base += line.cursorToX(static_cast<int>(to - from));
      if (base != wholeLine.cursorToX(static_cast<int>(to))) return false;
    }
    return true;
  }

  QFontMetrics Metrics() const { return QFontMetrics(viewer_.DrawingFont()); }
  const TFileViewer& viewer_;
};

TFileViewer::TFileViewer(QWidget* parent)
    : QAbstractScrollArea(parent),
      measure_(std::make_unique<Measure>(*this)),
      font_(ViewerTypewriterFont(10)),
      fontOem_(ViewerOemFont(9)) {
  FontFooter = FontOf({"Arial", "Liberation Sans", "DejaVu Sans"}, 9, QFont::SansSerif, false);
  setFrameStyle(QFrame::Box | QFrame::Plain);
  setLineWidth(1);
  setFocusPolicy(Qt::StrongFocus);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->setMouseTracking(true);
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  resize(200, 150);

  model_.SetMeasure(measure_.get());
  model_.OnRedraw = [this] { Redraw(); };
  model_.OnSelectionChange = [this] {
    UpdatePopupMenu();
    emit OnSelectionChange();
  };
  model_.OnScroll = [this] { emit OnScroll(); };

  connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this,
          [this](int action) { OnScrollBarAction(Qt::Vertical, action); });
  connect(horizontalScrollBar(), &QAbstractSlider::actionTriggered, this,
          [this](int action) { OnScrollBarAction(Qt::Horizontal, action); });

  autoScrollTimer_.setInterval(50);
  connect(&autoScrollTimer_, &QTimer::timeout, this, [this] { AutoScrollTick(); });
  middleTimer_.setInterval(100);
  connect(&middleTimer_, &QTimer::timeout, this, [this] { MiddleScrollTick(); });

  watch_.Options = foNotifyFilename | foNotifySize | foNotifyLastWrite;
  connect(&watch_, &TFileNotification::Changed, this, [this] { OnFileChanged(); });

  popup_ = new QMenu(this);
  copyItem_ = popup_->addAction(QString::fromUtf16(kMenuCopyToSearchBox));
  popup_->addSeparator();
  popup_->addSeparator();
  encodingItem_ = popup_->addAction(QString::fromUtf16(kMenuEncoding));
  connect(copyItem_, &QAction::triggered, this, [this] { CopySelectionToSearchBox(); });
  connect(encodingItem_, &QAction::triggered, this, [this] { ShowEncodingMenu(); });
  UpdatePopupMenu();
}

TFileViewer::~TFileViewer() {
  watch_.Stop();
  model_.OnRedraw = nullptr;
  model_.OnSelectionChange = nullptr;
  model_.OnScroll = nullptr;
  model_.SetMeasure(nullptr);
}

// ---- Source

bool TFileViewer::Open(const std::u16string& fileName, bool redraw) {
  if (fileName != model_.FileName()) watch_.Stop();
  const bool ok = model_.Open(fileName, false);
  if (ok && AutoReload() && !fileName.empty()) {
    watch_.SetFileName(fileName);
    watch_.Start();
  }
  UpdatePopupMenu();
  if (redraw) Redraw();
  return ok;
}

bool TFileViewer::LoadFile(bool newFile) {
  if (newFile || !AutoReload()) watch_.Stop();
  const bool ok = model_.LoadFile(newFile);
  if (ok && AutoReload() && !model_.FileName().empty()) {
    watch_.SetFileName(model_.FileName());
    watch_.Start();
  }
  UpdatePopupMenu();
  return ok;
}

void TFileViewer::CloseSource() {
  watch_.Stop();
  autoScrollTimer_.stop();
  EndMiddleScrolling();
  model_.CloseSource();
  UpdatePopupMenu();
}

void TFileViewer::SetAutoReload(bool on) {
  if (on == model_.AutoReload) return;
  model_.AutoReload = on;
  if (!model_.IsOpen() || model_.FileName().empty()) return;
  watch_.Stop();
  watch_.SetFileName(model_.FileName());
  if (on) watch_.Start();
}

// ---- Properties

void TFileViewer::SetMode(TFileViewerMode mode) {
  EndMiddleScrolling();
  if (mode == model_.Mode()) return;
  model_.SetMode(mode);  // reloads an open source and redraws
  UpdatePopupMenu();
}

// The model's setters redraw through OnRedraw.
void TFileViewer::SetTextEncoding(TViewerEncoding encoding) { model_.SetTextEncoding(encoding); }
void TFileViewer::SetTextNonPrintable(bool on) { model_.SetTextNonPrintable(on); }
void TFileViewer::SetTextOemSpecial(bool on) { model_.SetTextOemSpecial(on); }

void TFileViewer::SetFont(const QFont& font) {
  font_ = font;
  Redraw();
}

void TFileViewer::SetFontOEM(const QFont& font) {
  fontOem_ = font;
  Redraw();
}

const QFont& TFileViewer::DrawingFont() const { return model_.UsesOemFont() ? fontOem_ : font_; }

// ---- Drawing

void TFileViewer::Redraw() {
  if (!updatesEnabled()) return;
  ++redrawLock_;
  const auto syncSize = [this] {
    const QSize size = viewport()->size().expandedTo(QSize(1, 1));
    if (bitmap_.size() != size) bitmap_ = QImage(size, QImage::Format_RGB32);
    model_.SetClientSize(size.width(), size.height());
  };
  syncSize();
  model_.SetDocKind(host_ ? host_->DocKind() : TViewerDocKind::None);
  if (model_.FileSize() < model_.CharSize()) {
    settingBars_ = true;
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    settingBars_ = false;
    syncSize();
    page_ = TViewerPage();
    bitmap_.fill(isEnabled() ? Color : palette().color(QPalette::Disabled, QPalette::Base));
    // An emptied viewer leaves no text of the old file in the memo over it.
    if (host_ && !host_->QuietFlag() && IsLineMode(model_.Mode())) host_->ClearMemo();
    if (host_) host_->FitMemoWidth(false, width());
  } else {
    DrawTo(bitmap_);
    const QSize before = viewport()->size();
    UpdateScrollBars();
    if (viewport()->size() != before) {
      // The bars took or gave room: draw once more at the new size, bars as they are.
      syncSize();
      DrawTo(bitmap_);
      UpdateScrollBars();
    }
  }
  viewport()->update();
  --redrawLock_;
  if (redrawLock_ == 0 && changePending_) {
    // A change notice came while drawing: handled now, never dropped.
    changePending_ = false;
    QTimer::singleShot(0, this, [this] { OnFileChanged(); });
  }
}

void TFileViewer::DrawTo(QImage& image) {
  page_ = model_.LayoutPage();
  QPainter p(&image);
  p.setFont(DrawingFont());
  const bool enabled = isEnabled();
  const QColor grey = palette().color(QPalette::Disabled, QPalette::Text);
  const QColor text = enabled ? FontColor : grey;
  p.fillRect(image.rect(), Color);
  if (model_.TextGutter()) p.fillRect(0, 0, model_.TextGutterWidth(), image.height(), FromBgr(model_.TextColorGutter));
  if (page_.readError) {
    DrawReadError(p, enabled ? FromBgr(model_.TextColorError) : grey);
    return;
  }
  switch (model_.Mode()) {
    case vmodeText:
    case vmodeUnicode: DrawLineMode(p, text); break;
    case vmodeBinary: DrawBinary(p, text); break;
    case vmodeHex:
    case vmodeUHex: DrawHex(p, text, enabled); break;
  }
}

void TFileViewer::DrawText(QPainter& p, const TStrPosRecord& line, const QColor& colour) {
  if (host_ && host_->QuietFlag()) return;
  const int x = line.x - model_.HViewPos();
  const int baseline = line.y + QFontMetrics(p.font()).ascent();
  p.setPen(colour);
  // Segment by segment between TABs: the layout has placed each TAB's filler itself.
  size_t start = 0;
  const auto& text = line.text;
  while (start <= text.size()) {
    size_t end = text.find(u'\t', start);
    if (end == std::u16string::npos) end = text.size();
    if (end > start) {
      const int at = start == 0 ? 0 : line.extents[std::min(start, line.extents.size() - 1)];
      p.drawText(QPoint(x + at, baseline), Q(text.substr(start, end - start)));
    }
    start = end + 1;
  }
}

void TFileViewer::InvertSelection(QPainter& p, const TStrPosRecord& line) {
  const int64_t selStart = model_.SelStart(), selLength = model_.SelLength();
  if (selLength <= 0 || line.extents.empty()) return;
  const int cs = model_.CharSize();
  const int64_t lineEnd = line.offset + line.length * cs;
  const int64_t from = std::max(selStart, line.offset), to = std::min(selStart + selLength, lineEnd);
  if (from >= to) return;
  const int64_t last = static_cast<int64_t>(line.extents.size()) - 1;
  const int64_t i0 = std::min((from - line.offset) / cs, last), i1 = std::min((to - line.offset + cs - 1) / cs, last);
  const QRect cells(line.x - model_.HViewPos() + line.extents[i0], line.y, line.extents[i1] - line.extents[i0],
                    page_.lineHeight);
  if (!cells.intersects(bitmap_.rect())) return;
  p.save();
  p.setCompositionMode(QPainter::RasterOp_NotDestination);
  p.fillRect(cells, Qt::black);
  p.restore();
}

void TFileViewer::DrawReadError(QPainter& p, const QColor& colour) {
  if (host_ && host_->QuietFlag()) return;
  const QFontMetrics m(p.font());
  const QString text = Q(page_.errorText);
  const int x = std::max(page_.gutter, (bitmap_.width() - m.horizontalAdvance(text)) / 2);
  const int y = (bitmap_.height() - m.height()) / 2 + m.ascent();
  p.setPen(colour);
  p.drawText(QPoint(x, y), text);
}

void TFileViewer::DrawLineMode(QPainter& p, const QColor& text) {
  const bool mirror = host_ && !host_->QuietFlag();
  if (mirror) {
    host_->ClearMemo();
    host_->SetFirstShownOffset(page_.viewPos);
  }
  const int lh = page_.lineHeight;
  for (const TStrPosRecord& line : page_.lines.Lines()) {
    DrawText(p, line, text);
    InvertSelection(p, line);
    if (model_.TextGutter() && line.beginsLogicalLine) {
      p.save();
      p.setRenderHint(QPainter::Antialiasing);
      p.setPen(text);
      p.setBrush(text);
      p.drawEllipse(QPointF(model_.TextGutterWidth() / 2.0, line.y + lh / 2.0), 3.0, 3.0);
      p.restore();
    }
    if (mirror) host_->AppendMemoLine(line.memoText, height());
  }
  if (mirror) host_->MemoDrawn();
}

void TFileViewer::DrawBinary(QPainter& p, const QColor& text) {
  for (const TStrPosRecord& line : page_.lines.Lines()) {
    DrawText(p, line, text);
    InvertSelection(p, line);
  }
}

void TFileViewer::DrawHex(QPainter& p, const QColor& text, bool enabled) {
  const bool quiet = host_ && host_->QuietFlag();
  const int cw = page_.charWidth, lh = page_.lineHeight;
  const int x0 = page_.gutter - model_.HViewPos();
  const int ascent = QFontMetrics(p.font()).ascent();
  const QColor grey = palette().color(QPalette::Disabled, QPalette::Text);
  const QColor hex1 = enabled ? FromBgr(model_.TextColorHex) : grey;
  const QColor hex2 = enabled ? FromBgr(model_.TextColorHex2) : grey;
  const QColor lines = FromBgr(model_.TextColorLines);
  const int64_t selStart = model_.SelStart(), selEnd = selStart + model_.SelLength();
  for (const TStrPosRecord& row : page_.lines.Lines()) {
    p.fillRect(x0 + page_.boxColumn * cw, row.y, page_.boxWidth * cw, lh, FromBgr(model_.TextColorHexBack));
    if (!quiet) {
      p.setPen(text);
      p.drawText(QPoint(x0, row.y + ascent), Q(row.offsetText));
      for (const THexCell& cell : row.cells) {
        p.setPen(cell.secondColour ? hex2 : hex1);
        p.drawText(QPoint(x0 + cell.column * cw, row.y + ascent), Q(cell.digits));
      }
    }
    DrawText(p, row, text);
    for (int column : page_.separatorColumns) p.fillRect(x0 + column * cw, row.y, 2, lh, lines);
    // A selected byte or unit is inverted over its digits as a whole and in the character column.
    p.save();
    p.setCompositionMode(QPainter::RasterOp_NotDestination);
    for (const THexCell& cell : row.cells) {
      if (cell.offset >= selStart && cell.offset < selEnd) {
        p.fillRect(x0 + cell.column * cw, row.y, static_cast<int>(cell.digits.size()) * cw, lh, Qt::black);
      }
    }
    p.restore();
    InvertSelection(p, row);
  }
}

void TFileViewer::UpdateScrollBars() {
  settingBars_ = true;
  const TScrollBarInfo v = model_.VerticalScrollBar();
  const TScrollBarInfo h = model_.HorizontalScrollBar();
  const auto apply = [](QScrollBar* bar, const TScrollBarInfo& info) {
    // The platform's range runs to max with a page; Qt's value stops a page before it.
    const int64_t page = std::max<int64_t>(info.page, 0);
    const int64_t top = page > 0 ? std::max<int64_t>(0, info.max - page + 1) : info.max;
    bar->setRange(0, static_cast<int>(std::min<int64_t>(top, INT_MAX)));
    bar->setPageStep(static_cast<int>(std::clamp<int64_t>(page, 1, INT_MAX)));
    bar->setSingleStep(1);
    bar->setSliderPosition(static_cast<int>(std::clamp<int64_t>(info.pos, 0, INT_MAX)));
  };
  setVerticalScrollBarPolicy(v.visible ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  if (v.visible) {
    apply(verticalScrollBar(), v);
    verticalScrollBar()->setEnabled(v.max > 0);
  }
  // As the platform's bars do, a horizontal bar with nothing to scroll is not shown.
  const bool hShown = h.visible && h.max >= h.page;
  setHorizontalScrollBarPolicy(hShown ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
  if (hShown) apply(horizontalScrollBar(), h);
  settingBars_ = false;
  if (host_) host_->FitMemoWidth(v.visible, width());
}

void TFileViewer::OnScrollBarAction(Qt::Orientation orientation, int action) {
  if (settingBars_) return;
  QScrollBar* bar = orientation == Qt::Vertical ? verticalScrollBar() : horizontalScrollBar();
  TScrollCode code;
  switch (action) {
    case QAbstractSlider::SliderSingleStepSub: code = TScrollCode::LineUp; break;
    case QAbstractSlider::SliderSingleStepAdd: code = TScrollCode::LineDown; break;
    case QAbstractSlider::SliderPageStepSub: code = TScrollCode::PageUp; break;
    case QAbstractSlider::SliderPageStepAdd: code = TScrollCode::PageDown; break;
    case QAbstractSlider::SliderToMinimum: code = TScrollCode::Top; break;
    case QAbstractSlider::SliderToMaximum: code = TScrollCode::Bottom; break;
    case QAbstractSlider::SliderMove: code = TScrollCode::ThumbTrack; break;
    default: return;
  }
  const int thumb = bar->sliderPosition();
  if (orientation == Qt::Vertical)
    model_.VScroll(code, thumb);
  else
    model_.HScroll(code, thumb);
  // The model has drawn and set the bars; the slider keeps that position, not its own step.
  const TScrollBarInfo info = orientation == Qt::Vertical ? model_.VerticalScrollBar() : model_.HorizontalScrollBar();
  bar->setSliderPosition(static_cast<int>(std::clamp<int64_t>(info.pos, bar->minimum(), bar->maximum())));
}

void TFileViewer::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  if (bitmap_.isNull()) {
    p.fillRect(viewport()->rect(), Color);
  } else {
    p.drawImage(0, 0, bitmap_);
  }
  if (middleScrolling_) {
    const QPixmap& mark = MoveMark();
    p.drawPixmap(middleStart_ - QPoint(mark.width() / 2, mark.height() / 2), mark);
  }
}

void TFileViewer::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (settingBars_) return;
  const int oldHeight = model_.ClientHeight();
  const bool endShown = page_.endShown;
  const QSize size = viewport()->size().expandedTo(QSize(1, 1));
  model_.SetClientSize(size.width(), size.height());
  if (size.height() > oldHeight && endShown && model_.IsOpen()) model_.ScrollToEnd(false);
  Redraw();
}

void TFileViewer::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::EnabledChange) Redraw();
}

bool TFileViewer::viewportEvent(QEvent* event) {
  // Drawing is ours: the viewport paints from the image and never erases itself.
  if (event->type() == QEvent::Paint) {
    paintEvent(static_cast<QPaintEvent*>(event));
    return true;
  }
  return QAbstractScrollArea::viewportEvent(event);
}

// ---- Keys

void TFileViewer::keyPressEvent(QKeyEvent* event) {
  EndMiddleScrolling();
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  const bool ctrl = mods == Qt::ControlModifier;
  if (mods != Qt::NoModifier && !ctrl) {
    QFrame::keyPressEvent(event);
    return;
  }
  switch (event->key()) {
    case Qt::Key_PageDown: model_.PageDown(); break;
    case Qt::Key_PageUp: model_.PageUp(); break;
    case Qt::Key_Down: model_.LineDown(1); break;
    case Qt::Key_Up: model_.LineUp(1); break;
    case Qt::Key_Home:
      if (ctrl)
        model_.ScrollToBegin(true);
      else
        model_.SetHViewPos(0, true);
      break;
    case Qt::Key_End:
      if (ctrl)
        model_.ScrollToEnd(true);
      else
        model_.SetHViewPos(INT_MAX, true);
      break;
    case Qt::Key_Left: ScrollHorizontally(-200); break;
    case Qt::Key_Right: ScrollHorizontally(200); break;
    case Qt::Key_A:
      if (!ctrl) return QFrame::keyPressEvent(event);
      model_.SelectAll();
      break;
    case Qt::Key_C:
    case Qt::Key_Insert:
      if (!ctrl) return QFrame::keyPressEvent(event);
      CopyToClipboard(false);
      break;
    default: QFrame::keyPressEvent(event); return;
  }
  event->accept();
}

void TFileViewer::ScrollHorizontally(int pixels) {
  const int64_t target = static_cast<int64_t>(model_.HViewPos()) + pixels;
  model_.SetHViewPos(static_cast<int>(std::clamp<int64_t>(target, 0, INT_MAX)), true);
}

// ---- Mouse

int64_t TFileViewer::OffsetAt(QPoint point) const {
  return page_.lines.OffsetFromPoint(point.x() + model_.HViewPos(), point.y());
}

int64_t TFileViewer::CharOffsetAt(QPoint point) const {
  const int64_t cs = model_.CharSize();
  // The hex rows keep the caret rule: the character before the nearest caret position.
  if (!IsLineMode(model_.Mode())) return OffsetAt(point) - cs;
  const TStrPositions& lines = page_.lines;
  const TStrPosRecord* row = nullptr;
  for (int i = 0; i < lines.Count(); ++i) {
    if (lines[i].y <= point.y() && (!row || lines[i].y >= row->y)) row = &lines[i];
  }
  if (!row || row->length <= 0) return -1;
  const int x = point.x() + model_.HViewPos() - row->x;
  int64_t i = 0;
  while (i + 1 < row->length && row->extents[static_cast<size_t>(i + 1)] <= x) ++i;
  return row->offset + i * cs;
}

void TFileViewer::ExtendSelectionTo(QPoint point) {
  const int64_t offset = OffsetAt(point);
  if (offset < 0 || dragAnchor_ < 0) return;
  const int64_t from = std::min(dragAnchor_, offset), to = std::max(dragAnchor_, offset);
  model_.SetSelection(from, to - from, false, false);
}

void TFileViewer::mousePressEvent(QMouseEvent* event) {
  setFocus(Qt::MouseFocusReason);
  if (middleScrolling_) {
    EndMiddleScrolling();
    return;
  }
  mousePoint_ = event->position().toPoint();
  if (event->button() == Qt::MiddleButton) {
    StartMiddleScrolling(mousePoint_);
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  const int64_t offset = OffsetAt(mousePoint_);
  const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
  if (mods == Qt::ShiftModifier) {
    if (offset < 0) return;
    const int64_t from = std::max<int64_t>(0, std::min(shiftAnchor_, offset));
    model_.SetSelection(from, std::llabs(offset - shiftAnchor_), false, true);
    return;
  }
  // The event's own time decides the triple click, as the platform's double click does.
  const uint64_t now = event->timestamp();
  if (tripleWait_ && now - doubleClickTick_ <= static_cast<uint64_t>(QApplication::doubleClickInterval())) {
    model_.SelectAt(0, doubleClickOffset_);
    tripleWait_ = doubleClicked_ = false;
  } else {
    tripleWait_ = doubleClicked_ = false;
    model_.SelectNone();
  }
  selecting_ = true;
  dragAnchor_ = offset;
  shiftAnchor_ = std::max<int64_t>(offset, 0);
  // The word under the pointer: the character the press is on, not the one before the
  // nearest caret position (which is the previous word's when the press is on a word's
  // first letter).
  doubleClickOffset_ = CharOffsetAt(mousePoint_);
}

void TFileViewer::mouseDoubleClickEvent(QMouseEvent* event) {
  // Qt has delivered this click's press already; the double click selects the word and
  // the next press within the double-click time selects the line.
  if (event->button() != Qt::LeftButton || middleScrolling_) return;
  if (doubleClickOffset_ >= 0) {
    model_.SelectAt(1, doubleClickOffset_);
    doubleClicked_ = true;
  }
  tripleWait_ = true;
  doubleClickTick_ = event->timestamp();
}

void TFileViewer::mouseMoveEvent(QMouseEvent* event) {
  mousePoint_ = event->position().toPoint();
  if (host_) host_->ShowMemoOverlay();
  if (!selecting_) {
    autoScrollTimer_.stop();
    return;
  }
  const QSize client = viewport()->size();
  const int x = mousePoint_.x(), y = mousePoint_.y();
  if (y <= 0)
    edge_ = Edge::Top;
  else if (y >= client.height() - 1)
    edge_ = Edge::Bottom;
  else if (x <= page_.gutter)
    edge_ = Edge::Left;
  else if (x >= client.width() - 1)
    edge_ = Edge::Right;
  else
    edge_ = Edge::None;
  if (edge_ != Edge::None) {
    if (!autoScrollTimer_.isActive()) autoScrollTimer_.start();
    return;
  }
  autoScrollTimer_.stop();
  ExtendSelectionTo(mousePoint_);
}

void TFileViewer::AutoScrollTick() {
  const QSize client = viewport()->size();
  switch (edge_) {
    case Edge::Top:
      model_.LineUp(1);
      ExtendSelectionTo(QPoint(0, -1));
      break;
    case Edge::Bottom:
      model_.LineDown(1);
      ExtendSelectionTo(QPoint(0, client.height() + 1));
      break;
    case Edge::Left:
      ScrollHorizontally(-20);
      ExtendSelectionTo(QPoint(-1, mousePoint_.y()));
      break;
    case Edge::Right:
      ScrollHorizontally(20);
      ExtendSelectionTo(QPoint(client.width() + 1, mousePoint_.y()));
      break;
    case Edge::None: autoScrollTimer_.stop(); break;
  }
}

void TFileViewer::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  selecting_ = false;
  dragAnchor_ = -1;
  autoScrollTimer_.stop();
  emit OnSelectionChange();
}

void TFileViewer::StartMiddleScrolling(QPoint point) {
  middleScrolling_ = true;
  middleStart_ = point;
  middleTimer_.start();
  viewport()->setCursor(MoveCursor(TMoveCursor::Move));
  viewport()->update();
}

void TFileViewer::EndMiddleScrolling() {
  if (!middleScrolling_) return;
  middleScrolling_ = false;
  middleTimer_.stop();
  viewport()->setCursor(Qt::IBeamCursor);
  viewport()->update();
}

void TFileViewer::MiddleScrollTick() {
  const QPoint d = mousePoint_ - middleStart_;
  const int ax = std::abs(d.x()), ay = std::abs(d.y());
  if (ax < 16 && ay < 16) {
    viewport()->setCursor(MoveCursor(TMoveCursor::Move));
    return;
  }
  const int lines = ay / 16, pixels = (ax / 16) * 8;
  if (ay >= ax) {
    if (d.y() <= 0) {
      viewport()->setCursor(MoveCursor(TMoveCursor::Up));
      model_.LineUp(lines);
    } else {
      viewport()->setCursor(MoveCursor(TMoveCursor::Down));
      model_.LineDown(lines);
    }
  } else if (d.x() >= 0) {
    viewport()->setCursor(MoveCursor(TMoveCursor::Right));
    ScrollHorizontally(pixels);
  } else {
    viewport()->setCursor(MoveCursor(TMoveCursor::Left));
    ScrollHorizontally(-pixels);
  }
}

void TFileViewer::leaveEvent(QEvent* event) {
  EndMiddleScrolling();
  QAbstractScrollArea::leaveEvent(event);
}

void TFileViewer::wheelEvent(QWheelEvent* event) {
  event->accept();
  const QPoint angle = event->angleDelta();
  const int delta = angle.y() != 0 ? angle.y() : angle.x();
  if (delta == 0) return;
  const bool up = delta > 0;
  const Qt::KeyboardModifiers mods = event->modifiers();
  if (mods & Qt::ShiftModifier) {
    ScrollHorizontally(up ? -200 : 200);
  } else if ((mods & Qt::ControlModifier) || selecting_) {
    StepFontSize(up ? 1 : -1);
  } else if (up) {
    model_.LineUp(QApplication::wheelScrollLines());
  } else {
    model_.LineDown(QApplication::wheelScrollLines());
  }
}

bool TFileViewer::StepFontSize(int direction) {
  QFont font = DrawingFont();
  int size = font.pointSize();
  if (size <= 0) return false;
  const int startHeight = QFontMetrics(font).height();
  for (;;) {
    if ((direction > 0 && size > 71) || (direction < 0 && size < 2)) return false;
    size += direction;
    font.setPointSize(size);
    if (QFontMetrics(font).height() != startHeight) break;
  }
  if (model_.UsesOemFont())
    fontOem_ = font;
  else
    font_ = font;
  Redraw();
  emit OnOptionsChange();
  return true;
}

// ---- Menus

void TFileViewer::contextMenuEvent(QContextMenuEvent* event) {
  UpdatePopupMenu();
  popup_->popup(event->globalPos());
}

void TFileViewer::UpdatePopupMenu() {
  const bool open = model_.IsOpen();
  copyItem_->setVisible(TextPopupCommands & vpCmdCopy);
  copyItem_->setEnabled(open && model_.SelLength() > 0);
  encodingItem_->setVisible(TextPopupCommands & vpCmdEncMenu);
  encodingItem_->setEnabled(open);
}

void TFileViewer::CopySelectionToSearchBox() {
  if (!IsUnicodeMode(model_.Mode()) || !host_) return;
  std::u16string text = model_.SelTextW();
  std::replace(text.begin(), text.end(), u'\0', u' ');
  host_->SetSearchBoxText(text);
}

QMenu& TFileViewer::EncodingMenu() {
  const bool unicode = IsUnicodeMode(model_.Mode());
  QMenu*& menu = unicode ? encodingMenu16_ : encodingMenu8_;
  if (!menu) {
    menu = new QMenu(this);
    if (unicode)
      FillUnicodeEncodingMenu(*menu);
    else
      FillEightBitEncodingMenu(*menu);
    connect(menu, &QMenu::triggered, this, [this](QAction* action) { ChooseEncoding(action); });
  }
  for (QAction* action : menu->actions()) {
    if (action->isSeparator()) continue;
    const int data = action->data().toInt();
    if (unicode) {
      action->setChecked(data == (model_.ByteOrder() == TUnicodeByteOrder::BigEndian ? 1 : 0));
    } else {
      const auto encoding = static_cast<TViewerEncoding>(data);
      action->setEnabled(EncodingInstalled(encoding));
      action->setChecked(encoding == model_.TextEncoding());
    }
  }
  return *menu;
}

void TFileViewer::ChooseEncoding(QAction* action) {
  const int data = action->data().toInt();
  if (action->parent() == encodingMenu16_) {
    model_.SetByteOrder(data == 1 ? TUnicodeByteOrder::BigEndian : TUnicodeByteOrder::LittleEndian);
  } else {
    SetTextEncoding(static_cast<TViewerEncoding>(data));
  }
  emit OnOptionsChange();
}

void TFileViewer::ShowEncodingMenu() {
  QMenu& menu = EncodingMenu();
  const QSize size = menu.sizeHint();
  const QPoint centre = mapToGlobal(QPoint(width() / 2, height() / 2 - 20));
  menu.exec(centre - QPoint(size.width() / 2, size.height() / 2));
  QCoreApplication::processEvents();
}

// ---- Clipboard

bool TFileViewer::CopyToClipboard(bool asHex) {
  model_.SetDocKind(host_ ? host_->DocKind() : TViewerDocKind::None);
  return model_.CopyToClipboard(asHex);
}

// ---- Auto reload

void TFileViewer::OnFileChanged() {
  if (redrawLock_ > 0) {
    changePending_ = true;
    return;
  }
  FileChangedNow();
}

void TFileViewer::FileChangedNow() {
  if (FileExistsNotDirectory(model_.FileName())) {
    LoadFile(false);
  } else {
    CloseSource();
  }
  UpdatePopupMenu();
  Redraw();
  if (AutoReloadBeep()) QApplication::beep();
  emit OnFileReload();
}

}  // namespace search

#include "widgets/uni_label.h"

#include <QPainter>
#include <QStyle>

#include "widgets/qt_wide.h"
#include "widgets/wide_control.h"

namespace widgets {

TUniCustomLabel::TUniCustomLabel(QWidget* parent) : QLabel(parent) {
  setTextFormat(Qt::PlainText);
  ApplyCaption();
  WireWideEvents(*this);
}

TUniCustomLabel::~TUniCustomLabel() = default;

std::u16string TUniCustomLabel::Caption() const {
  // Qt's mnemonic form is the caption's own form.
  return text() == appliedText_ ? caption_ : FromQ(text());
}

void TUniCustomLabel::AdoptForeignText() {
  if (text() == appliedText_) return;
  caption_ = FromQ(text());
  ApplyCaption();
}

void TUniCustomLabel::SetCaption(std::u16string_view caption) {
  AdoptForeignText();
  if (caption_ == caption) return;
  caption_ = caption;
  ApplyCaption();
  emit Changed();
}

void TUniCustomLabel::SetShowAccelChar(bool show) {
  if (showAccelChar_ == show) return;
  AdoptForeignText();
  showAccelChar_ = show;
  ApplyCaption();
}

void TUniCustomLabel::ApplyCaption() {
  QString text;
  // Nothing to show still measures one blank, so an empty label keeps its line.
  if (caption_.empty() || (showAccelChar_ && caption_ == u"&")) {
    text = QStringLiteral(" ");
  } else {
    // Qt's mnemonics are written as the caption's accelerators; without them every "&"
    // is doubled so that none marks a key.
    text = ToQ(caption_);
    if (!showAccelChar_) text.replace(QLatin1Char('&'), QStringLiteral("&&"));
  }
  appliedText_ = text;
  setText(text);
  update();
}

QSize TUniCustomLabel::WithoutLiteralAmpersands(QSize size) const {
  // Without a buddy Qt measures every "&" as a character, though none is drawn alone.
  const QString measured = text();
  if (buddy() || wordWrap() || !measured.contains(QLatin1Char('&'))) return size;
  const QFontMetrics metrics = fontMetrics();
  const int extra = metrics.size(0, measured).width() - metrics.size(Qt::TextShowMnemonic, measured).width();
  return QSize(size.width() - extra, size.height());
}

QSize TUniCustomLabel::sizeHint() const { return WithoutLiteralAmpersands(QLabel::sizeHint()); }

QSize TUniCustomLabel::minimumSizeHint() const { return WithoutLiteralAmpersands(QLabel::minimumSizeHint()); }

void TUniCustomLabel::paintEvent(QPaintEvent* event) {
  AdoptForeignText();
  if (!pixmap().isNull()) {
    QLabel::paintEvent(event);
    return;
  }
  QPainter painter(this);
  drawFrame(&painter);
  const int m = margin();
  const QRect area = contentsRect().adjusted(m, m, -m, -m);
  const int flags = static_cast<int>(QStyle::visualAlignment(layoutDirection(), alignment())) |
                    (wordWrap() ? Qt::TextWordWrap : 0) | (showAccelChar_ ? Qt::TextShowMnemonic : 0);
  const QString text = ToQ(caption_);
  if (isEnabled()) {
    painter.setPen(palette().color(foregroundRole()));
    painter.drawText(area, flags, text);
    return;
  }
  painter.setPen(palette().color(QPalette::Light));
  painter.drawText(area.translated(1, 1), flags, text);
  painter.setPen(palette().color(QPalette::Dark));
  painter.drawText(area, flags, text);
}

std::u16string TUniCustomLabel::Hint() const { return WideControlGetHint(*this); }

void TUniCustomLabel::SetHint(std::u16string_view hint) { WideControlSetHint(*this, hint); }

}  // namespace widgets

#include "widgets/uni_rich_edit.h"

#include <QKeyEvent>
#include <QTextCursor>
#include <QTextDocument>

#include "widgets/wide_control.h"

namespace widgets {

TUniRichEdit::TUniRichEdit(QWidget* parent) : QTextEdit(parent), TDocumentMemo(1) {
  setAcceptRichText(false);
  SetWordWrap(true);
  connect(this, &QTextEdit::textChanged, this, [this] {
    if (!Editing()) emit Changed();
  });
  connect(this, &QTextEdit::cursorPositionChanged, this, &TUniRichEdit::CheckSelection);
  connect(this, &QTextEdit::selectionChanged, this, &TUniRichEdit::CheckSelection);
  // Keys and the mouse reach the viewport first; the filter sees both there.
  WireWideEvents(*this).Watch(*viewport());
}

TUniRichEdit::~TUniRichEdit() = default;

std::u16string TUniRichEdit::Hint() const { return WideControlGetHint(*this); }

void TUniRichEdit::SetHint(std::u16string_view hint) { WideControlSetHint(*this, hint); }

void TUniRichEdit::SetSelText(std::u16string_view text) {
  // The control form keeps CR alone between paragraphs, one position like the document's
  // own break, so the caret's positions are control positions.
  const QTextCursor cursor = textCursor();
  Replace(cursor.selectionStart(), cursor.selectionEnd(), text);
}

bool TUniRichEdit::WordWrap() const { return lineWrapMode() != NoWrap; }

void TUniRichEdit::SetWordWrap(bool wrap) {
  setLineWrapMode(wrap ? WidgetWidth : NoWrap);
  setHorizontalScrollBarPolicy(wrap ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
}

void TUniRichEdit::SetUpdateState(bool updating) { setUpdatesEnabled(!updating); }

void TUniRichEdit::keyPressEvent(QKeyEvent* event) {
  if (!PlainEnterForShiftEnter(*event, [this](QKeyEvent& plain) { QTextEdit::keyPressEvent(&plain); }))
    QTextEdit::keyPressEvent(event);
}

void TUniRichEdit::SuspendNotification(TNotification which, bool suspended) {
  TDocumentMemo::SuspendNotification(which, suspended);
  // What moved meanwhile is not reported afterwards, as with a detached handler.
  if (which == TNotification::SelectionChange && !Quiet(which)) {
    const QTextCursor cursor = textCursor();
    lastAnchor_ = cursor.anchor();
    lastPosition_ = cursor.position();
  }
}

void TUniRichEdit::CheckSelection() {
  // A program edit moves the caret on the way and then puts it where it belongs.
  if (Editing()) return;
  const QTextCursor cursor = textCursor();
  if (cursor.anchor() == lastAnchor_ && cursor.position() == lastPosition_) return;
  lastAnchor_ = cursor.anchor();
  lastPosition_ = cursor.position();
  if (!Quiet(TNotification::SelectionChange)) emit SelectionChange();
}

QTextDocument& TUniRichEdit::Document() const { return *document(); }

QTextCursor TUniRichEdit::Caret() const { return textCursor(); }

void TUniRichEdit::SetCaret(const QTextCursor& cursor) {
  setTextCursor(cursor);
  // Qt stays silent when an edit had already carried its caret there.
  CheckSelection();
}

void TUniRichEdit::RaiseChanged() { emit Changed(); }

}  // namespace widgets

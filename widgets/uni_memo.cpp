#include "widgets/uni_memo.h"

#include <QKeyEvent>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <algorithm>

#include "textlib/wide/widestr.h"
#include "widgets/qt_wide.h"
#include "widgets/wide_control.h"

namespace widgets {

namespace {

// Characters that QTextCursor::insertText turns into a block break besides CR and LF.
bool IsDocumentBreak(char16_t c) { return c == 0x2029 || c == 0xFDD0 || c == 0xFDD1; }

// Counts a program edit for its scope.
class TEditing {
 public:
  explicit TEditing(int& count) : count_(count) { ++count_; }
  ~TEditing() { --count_; }
  TEditing(const TEditing&) = delete;
  TEditing& operator=(const TEditing&) = delete;

 private:
  int& count_;
};

}  // namespace

// ---- TDocumentMemo ----

int64_t TDocumentMemo::FromDocument(int position, int breakLength) const {
  return position + static_cast<int64_t>(breakLength - 1) * Document().findBlock(position).blockNumber();
}

int TDocumentMemo::ToDocument(int64_t position, int breakLength) const {
  const QTextDocument& doc = Document();
  position = std::max<int64_t>(position, 0);
  const int64_t extra = breakLength - 1;
  if (extra == 0) return static_cast<int>(std::min<int64_t>(position, doc.characterCount() - 1));
  // The last block that starts at or before the position in the form.
  int low = 0, high = doc.blockCount() - 1;
  while (low < high) {
    const int mid = low + (high - low + 1) / 2;
    if (doc.findBlockByNumber(mid).position() + extra * mid <= position)
      low = mid;
    else
      high = mid - 1;
  }
  const QTextBlock block = doc.findBlockByNumber(low);
  // A position inside a break counts as the end of its line.
  const int64_t offset = std::min<int64_t>(position - (block.position() + extra * low), block.length() - 1);
  return block.position() + static_cast<int>(offset);
}

std::u16string TDocumentMemo::Range(int from, int to, std::u16string_view lineBreak) const {
  std::u16string text;
  for (QTextBlock block = Document().findBlock(from); block.isValid() && block.position() <= to;
       block = block.next()) {
    const int start = block.position();
    if (start > from) text += lineBreak;
    const int a = std::max(from, start) - start;
    const int b = std::min(to, start + block.length() - 1) - start;
    if (b > a) text += FromQ(block.text().mid(a, b - a));
  }
  return text;
}

std::u16string TDocumentMemo::ControlForm(std::u16string_view text) const {
  std::u16string own = textlib::WideAdjustLineBreaks(text, breakLength_ == 2 ? textlib::tlbsCRLF : textlib::tlbsCR);
  if (std::none_of(own.begin(), own.end(), IsDocumentBreak)) return own;
  std::u16string out;
  for (const char16_t c : own) {
    if (IsDocumentBreak(c))
      out += ControlBreak();
    else
      out += c;
  }
  return out;
}

void TDocumentMemo::NotifyChanged() {
  if (quietChange_ == 0) RaiseChanged();
}

bool TDocumentMemo::Quiet(TNotification which) const {
  return (which == TNotification::Change ? quietChange_ : quietSelection_) > 0;
}

void TDocumentMemo::SuspendNotification(TNotification which, bool suspended) {
  int& count = which == TNotification::Change ? quietChange_ : quietSelection_;
  count += suspended ? 1 : -1;
}

std::u16string TDocumentMemo::Text() const { return Range(0, Document().characterCount() - 1, u"\r\n"); }

int64_t TDocumentMemo::SelStart() const { return FromDocument(Caret().selectionStart(), 2); }

void TDocumentMemo::SetSelStart(int64_t start) {
  QTextCursor cursor = Caret();
  cursor.setPosition(ToDocument(start, 2));
  SetCaret(cursor);
}

int64_t TDocumentMemo::SelLength() const { return FromDocument(Caret().selectionEnd(), 2) - SelStart(); }

void TDocumentMemo::SetSelLength(int64_t length) {
  const int64_t start = SelStart();
  QTextCursor cursor = Caret();
  cursor.setPosition(ToDocument(start, 2));
  cursor.setPosition(ToDocument(start + std::max<int64_t>(length, 0), 2), QTextCursor::KeepAnchor);
  SetCaret(cursor);
}

std::u16string TDocumentMemo::SelText() const {
  const QTextCursor cursor = Caret();
  return Range(cursor.selectionStart(), cursor.selectionEnd(), u"\r\n");
}

std::u16string TDocumentMemo::ControlText() const {
  return Range(0, Document().characterCount() - 1, ControlBreak());
}

void TDocumentMemo::SetControlText(std::u16string_view text) {
  const std::u16string own = ControlForm(text);
  if (own == ControlText()) return;
  {
    TEditing editing(editing_);
    Document().setPlainText(ToQ(own));
  }
  // A new text starts with the caret at its beginning, as the control's set-text does.
  SetCaret(QTextCursor(&Document()));
  NotifyChanged();
}

int TDocumentMemo::ControlLineCount() const { return Document().blockCount(); }

std::u16string TDocumentMemo::ControlLine(int line) const {
  if (line < 0 || line >= ControlLineCount()) return {};
  return FromQ(Document().findBlockByNumber(line).text());
}

int64_t TDocumentMemo::LineIndex(int line) const {
  if (line < 0 || line >= ControlLineCount()) return -1;
  return Document().findBlockByNumber(line).position() + static_cast<int64_t>(breakLength_ - 1) * line;
}

int64_t TDocumentMemo::LineLength(int64_t position) const {
  return Document().findBlock(ToDocument(position, breakLength_)).length() - 1;
}

int64_t TDocumentMemo::TextLength() const {
  const QTextDocument& doc = Document();
  return doc.characterCount() - 1 + static_cast<int64_t>(breakLength_ - 1) * (doc.blockCount() - 1);
}

bool TDocumentMemo::Replace(int64_t start, int64_t end, std::u16string_view text, bool enforceLimit) {
  if (start > end) std::swap(start, end);
  const std::u16string own = ControlForm(text);
  const int from = ToDocument(start, breakLength_);
  const int to = ToDocument(end, breakLength_);
  const int64_t removed = FromDocument(to, breakLength_) - FromDocument(from, breakLength_);
  const auto added = static_cast<int64_t>(own.size());
  if (enforceLimit && MaxLength() > 0 && TextLength() - removed + added > MaxLength()) return false;
  QTextCursor cursor(&Document());
  cursor.setPosition(from);
  // Replacing a range by the text it holds is no change.
  const bool change = removed != added || Range(from, to, ControlBreak()) != own;
  if (change) {
    TEditing editing(editing_);
    cursor.setPosition(to, QTextCursor::KeepAnchor);
    cursor.insertText(ToQ(own));
  } else {
    cursor.setPosition(to);
  }
  SetCaret(cursor);
  if (change) NotifyChanged();
  return true;
}

bool PlainEnterForShiftEnter(QKeyEvent& event, const std::function<void(QKeyEvent&)>& handle) {
  if ((event.key() != Qt::Key_Return && event.key() != Qt::Key_Enter) || !(event.modifiers() & Qt::ShiftModifier))
    return false;
  QKeyEvent plain(event.type(), event.key(), event.modifiers() & ~Qt::ShiftModifier, event.text(),
                  event.isAutoRepeat(), static_cast<quint16>(event.count()));
  handle(plain);
  event.setAccepted(plain.isAccepted());
  return true;
}

// ---- TUniCustomMemo ----

TUniCustomMemo::TUniCustomMemo(QWidget* parent) : QPlainTextEdit(parent), TDocumentMemo(2) {
  connect(this, &QPlainTextEdit::textChanged, this, [this] {
    if (!Editing()) emit Changed();
  });
  WireWideEvents(*this).Watch(*viewport());
}

TUniCustomMemo::~TUniCustomMemo() = default;

std::u16string TUniCustomMemo::Hint() const { return WideControlGetHint(*this); }

void TUniCustomMemo::SetHint(std::u16string_view hint) { WideControlSetHint(*this, hint); }

void TUniCustomMemo::SetUpdateState(bool updating) { setUpdatesEnabled(!updating); }

void TUniCustomMemo::keyPressEvent(QKeyEvent* event) {
  if (!PlainEnterForShiftEnter(*event, [this](QKeyEvent& plain) { QPlainTextEdit::keyPressEvent(&plain); }))
    QPlainTextEdit::keyPressEvent(event);
}

QTextDocument& TUniCustomMemo::Document() const { return *document(); }

QTextCursor TUniCustomMemo::Caret() const { return textCursor(); }

void TUniCustomMemo::SetCaret(const QTextCursor& cursor) { setTextCursor(cursor); }

void TUniCustomMemo::RaiseChanged() { emit Changed(); }

}  // namespace widgets

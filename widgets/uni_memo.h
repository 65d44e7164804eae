#pragma once
// The wide memo over QPlainTextEdit, and the memo control over a QTextDocument that it
// shares with the wide rich edit. A document counts one position per block break; the
// control form counts a break as CR LF (memo) or CR (rich edit), and callers always see
// CR LF. Positions map through the blocks' own positions (findBlockByNumber, findBlock),
// so a line operation never copies the whole text and a long log stays cheap to extend.
// Lines are the document's blocks, never its wrapped display lines.
#include <QPlainTextEdit>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "textlib/io/memobuffer.h"
#include "widgets/wide_control.h"

class QKeyEvent;
class QTextCursor;
class QTextDocument;

namespace widgets {

// TMemoControl over the document of a text widget, with the CR LF text and selection that
// callers see. The widget supplies its document and caret and raises its change signal.
class TDocumentMemo : public textlib::TMemoControl {
 public:
  // The text with CR LF breaks; setting the text the control already holds changes and
  // notifies nothing.
  std::u16string Text() const;
  void SetText(std::u16string_view text) { SetControlText(text); }

  // The selection in CR LF units; without a selection the start is the caret.
  int64_t SelStart() const;
  // Puts the caret there, dropping the selection.
  void SetSelStart(int64_t start);
  int64_t SelLength() const;
  void SetSelLength(int64_t length);
  std::u16string SelText() const;

  std::u16string ControlText() const override;
  // Lone CR, lone LF, U+2028 and U+2029 become the control's break, as the document keeps
  // no other; an equal text changes nothing.
  void SetControlText(std::u16string_view text) override;
  int ControlLineCount() const override;
  std::u16string ControlLine(int line) const override;
  int64_t LineIndex(int line) const override;
  int64_t LineLength(int64_t position) const override;
  int64_t TextLength() const override;
  // Leaves the caret behind the new text, as the control's replace-selection does.
  bool Replace(int64_t start, int64_t end, std::u16string_view text, bool enforceLimit = false) override;
  int64_t MaxLength() const override { return 0; }
  void SuspendNotification(TNotification which, bool suspended) override;

 protected:
  // breakLength: positions of one break in the control form (2: CR LF, 1: CR).
  explicit TDocumentMemo(int breakLength) : breakLength_(breakLength) {}

  virtual QTextDocument& Document() const = 0;
  virtual QTextCursor Caret() const = 0;
  virtual void SetCaret(const QTextCursor& cursor) = 0;
  virtual void RaiseChanged() = 0;

  // While the program edits the document the widget's own text signal is no user change.
  bool Editing() const { return editing_ > 0; }
  bool Quiet(TNotification which) const;

 private:
  // A position of a form whose breaks take breakLength positions, and the document's.
  int64_t FromDocument(int position, int breakLength) const;
  int ToDocument(int64_t position, int breakLength) const;
  // Document range [from, to) with the given break.
  std::u16string Range(int from, int to, std::u16string_view lineBreak) const;
  std::u16string ControlForm(std::u16string_view text) const;
  std::u16string_view ControlBreak() const { return breakLength_ == 2 ? u"\r\n" : u"\r"; }
  void NotifyChanged();

  int breakLength_;
  int editing_ = 0;
  int quietChange_ = 0;
  int quietSelection_ = 0;
};

// Shift+Enter breaks the line as Enter does: Qt would put a line separator inside the block,
// which callers would see as no break at all. True when the event was handled so.
bool PlainEnterForShiftEnter(QKeyEvent& event, const std::function<void(QKeyEvent&)>& handle);

// The key handlers (OnKeyDown, OnKeyPress) come from TWideKeyEvents.
class TUniCustomMemo : public QPlainTextEdit, public TDocumentMemo, public TWideKeyEvents {
  Q_OBJECT

 public:
  explicit TUniCustomMemo(QWidget* parent = nullptr);
  ~TUniCustomMemo() override;

  textlib::TUniMemoStrings& Lines() { return lines_; }
  const textlib::TUniMemoStrings& Lines() const { return lines_; }

  std::u16string Hint() const;
  void SetHint(std::u16string_view hint);

  bool IsRichEdit() const override { return false; }
  void SetUpdateState(bool updating) override;

 signals:
  // Once for every real change of the text, by the program or the user.
  void Changed();
  void Click();
  void DblClick();
  void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint at);
  void MouseMove(Qt::KeyboardModifiers shift, QPoint at);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  QTextDocument& Document() const override;
  QTextCursor Caret() const override;
  void SetCaret(const QTextCursor& cursor) override;
  void RaiseChanged() override;

 private:
  textlib::TUniMemoStrings lines_{*this, false, textlib::tlbsCRLF};
};

class TUniMemo : public TUniCustomMemo {
  Q_OBJECT

 public:
  explicit TUniMemo(QWidget* parent = nullptr) : TUniCustomMemo(parent) {}
};

}  // namespace widgets

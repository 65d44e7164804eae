#pragma once
// The wide rich edit over QTextEdit, holding plain text only. Its control form keeps CR
// alone between paragraphs; callers see CR LF in Text and SelText, and their positions
// count one more for every hard break before them (soft wrap points add nothing). Lines
// set as a whole raise no Changed, a list added to them raises no SelectionChange, and
// they load and save the wide list file format. Typed keys follow the key rule of the
// other wide controls (OnKeyDown, OnKeyPress of TWideKeyEvents).
#include <QTextEdit>
#include <string>
#include <string_view>

#include "textlib/io/memobuffer.h"
#include "widgets/uni_memo.h"

namespace widgets {

class TUniRichEdit : public QTextEdit, public TDocumentMemo, public TWideKeyEvents {
  Q_OBJECT

 public:
  explicit TUniRichEdit(QWidget* parent = nullptr);
  ~TUniRichEdit() override;

  textlib::TUniRichEditStrings& Lines() { return lines_; }
  const textlib::TUniRichEditStrings& Lines() const { return lines_; }

  std::u16string Hint() const;
  void SetHint(std::u16string_view hint);

  // Replaces the selection (CR LF, CR or LF breaks alike) and leaves the caret behind the
  // new text; one Changed when the text changed.
  void SetSelText(std::u16string_view text);

  // On by default; wrapped text needs no horizontal scroll bar.
  bool WordWrap() const;
  void SetWordWrap(bool wrap);

  bool IsRichEdit() const override { return true; }
  void SetUpdateState(bool updating) override;
  void SuspendNotification(TNotification which, bool suspended) override;

 signals:
  // Once for every real change of the text, by the program or the user.
  void Changed();
  // The caret moved or the selection changed.
  void SelectionChange();
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
  void CheckSelection();

  textlib::TUniRichEditStrings lines_{*this, textlib::tlbsCR};
  // The selection last reported, so that a caret move with a selection change is one event.
  int lastAnchor_ = 0;
  int lastPosition_ = 0;
};

}  // namespace widgets

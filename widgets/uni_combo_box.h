#pragma once
// The wide combo box: an editable QComboBox whose Text follows the wide text rule (an
// equal text changes nothing and notifies nothing) and whose Items are the wide list
// interface. Changing the items never changes the Text, as with the platform's combo box,
// so Qt's own habits (selecting the first item added, completing typed text, adding the
// typed text on Enter) are switched off.
#include <QComboBox>
#include <QPointer>
#include <string>
#include <string_view>

#include "textlib/io/unistrings.h"
#include "widgets/uni_list_box.h"
#include "widgets/wide_control.h"

class QLineEdit;

namespace widgets {

class TUniCustomComboBox;

class TUniComboBoxStrings : public textlib::TUniStrings {
 public:
  explicit TUniComboBoxStrings(TUniCustomComboBox& comboBox) : comboBox_(comboBox) {}

  // An index without an item gives an empty text, not an error.
  std::u16string Get(int index) const override;
  int GetCount() const override;
  // Raise the list error with the index when there is no such item.
  textlib::TObjectRef GetObject(int index) const override;
  void PutObject(int index, textlib::TObjectRef object) override;
  // Repainting and the control's signals are held back while updating: the platform's
  // lists sent no notifications for changes by program, and forms were written for that.
  void SetUpdateState(bool updating) override;
  int Add(const std::u16string& s) override;
  // The Text stays.
  void Clear() override;
  void Delete(int index) override;
  // The first item equal to s when case is ignored, or -1.
  int IndexOf(const std::u16string& s) const override;
  // -1 appends; any other index outside 0..count raises EOutOfResources and changes nothing.
  void Insert(int index, const std::u16string& s) override;

 private:
  void CheckIndex(int index) const;
  bool signalsWereBlocked_ = false;
  TUniCustomComboBox& comboBox_;
};

// The key handlers (OnKeyDown, OnKeyPress) come from TWideKeyEvents; they see the keys
// typed into the box and into its edit field alike, each once.
class TUniCustomComboBox : public QComboBox, public TWideKeyEvents {
  Q_OBJECT

 public:
  // The item data role that holds an item's object (QComboBox's own user data).
  static constexpr int kObjectRole = Qt::UserRole;

  explicit TUniCustomComboBox(QWidget* parent = nullptr);
  ~TUniCustomComboBox() override;

  // Owner drawing of the items of the drop-down list; unassigned, Qt's own look.
  TDrawItemEvent OnDrawItem;

  TUniComboBoxStrings& Items() { return items_; }
  const TUniComboBoxStrings& Items() const { return items_; }
  void AddItem(const std::u16string& item, textlib::TObjectRef object) { items_.AddObject(item, object); }

  std::u16string Text() const;
  // A different text is shown and Changed is emitted once; an equal one does nothing.
  // Without an edit field the matching item is selected, or none.
  void SetText(std::u16string_view text);

  // The selected item, -1 for none; setting it by program notifies nothing.
  int ItemIndex() const { return currentIndex(); }
  void SetItemIndex(int index);

  std::u16string Hint() const;
  void SetHint(std::u16string_view hint);

  // Sees every character typed into the edit field after OnKeyPress; setting ch to 0
  // refuses it, another value replaces it. A character beyond U+FFFF is offered as its
  // lead unit: left alone it passes whole, any other value replaces the whole character.
  virtual void EditCharFilter(char16_t& ch);

 signals:
  // The user chose an item: Click, then Changed.
  void Click();
  // The Text changed, by program, by typing, or by the choice of an item.
  void Changed();
  void DblClick();
  void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint at);
  void MouseMove(Qt::KeyboardModifiers shift, QPoint at);

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  friend class TUniComboBoxStrings;
  // Runs an item change, then puts back the Text and, for a list that was empty, the
  // empty selection.
  template <typename Change>
  void KeepingText(Change change);
  // Connects a new edit field (Qt makes one whenever the box becomes editable).
  void WireLineEdit();
  void ItemChosen(int index);
  void FilterChar(char32_t& key);

  TUniComboBoxStrings items_;
  QPointer<QLineEdit> wiredEdit_;
  TWideEventFilter* events_ = nullptr;
};

class TUniComboBox : public TUniCustomComboBox {
  Q_OBJECT

 public:
  explicit TUniComboBox(QWidget* parent = nullptr) : TUniCustomComboBox(parent) {}
};

}  // namespace widgets

#pragma once
// The wide list box: a plain QListWidget (so a form's item delegate keeps drawing it) whose
// Items are the wide list interface. An item's object rides in the item's data, so texts
// and objects move together and outlive any change of the view.
#include <QListWidget>
#include <QStyle>
#include <QStyledItemDelegate>
#include <functional>
#include <string>
#include <string_view>

#include "textlib/io/unistrings.h"
#include "widgets/wide_control.h"

namespace widgets {

// What the wide item lists of list box and combo box share: the class library's error
// texts and the item match of the platform lists, exact but for case.
inline constexpr std::u16string_view kListIndexError = u"Der Index der Liste überschreitet das Maximum (%d)";
inline constexpr std::u16string_view kInsertError = u"Zeile kann nicht eingefügt werden";
bool SameItemText(std::u16string_view a, std::u16string_view b);

// Owner drawing of one list or combo item: the form paints the whole rectangle.
using TDrawItemEvent = std::function<void(QPainter& canvas, int index, const QRect& rect, QStyle::State state)>;

// Draws items through the control's draw-item handler while one is assigned, else as Qt does.
class TWideItemDelegate : public QStyledItemDelegate {
 public:
  TWideItemDelegate(QObject* parent, const TDrawItemEvent& onDrawItem)
      : QStyledItemDelegate(parent), onDrawItem_(onDrawItem) {}
  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  const TDrawItemEvent& onDrawItem_;
};

class TUniCustomListBox;

class TUniListBoxStrings : public textlib::TUniStrings {
 public:
  explicit TUniListBoxStrings(TUniCustomListBox& listBox) : listBox_(listBox) {}

  // Raises the list error with the index when there is no such item.
  std::u16string Get(int index) const override;
  int GetCount() const override;
  textlib::TObjectRef GetObject(int index) const override;
  // The item keeps its object and the selection stays where it was.
  void Put(int index, const std::u16string& s) override;
  void PutObject(int index, textlib::TObjectRef object) override;
  // Repainting and the control's signals are held back while updating: the platform's
  // lists sent no notifications for changes by program, and forms were written for that.
  void SetUpdateState(bool updating) override;
  int Add(const std::u16string& s) override;
  void Clear() override;
  // An index without an item deletes nothing.
  void Delete(int index) override;
  // Swaps texts and objects; a selected item takes the selection with it.
  void Exchange(int index1, int index2) override;
  // The first item equal to s when case is ignored, or -1.
  int IndexOf(const std::u16string& s) const override;
  // -1 appends; any other index outside 0..count raises EOutOfResources and changes nothing.
  void Insert(int index, const std::u16string& s) override;
  // Carries text and object; both indexes must name items, and every item keeps its
  // selection state.
  void Move(int currentIndex, int newIndex) override;

 private:
  void CheckIndex(int index) const;
  bool signalsWereBlocked_ = false;
  TUniCustomListBox& listBox_;
};

// The key handlers (OnKeyDown, OnKeyPress) come from TWideKeyEvents.
class TUniCustomListBox : public QListWidget, public TWideKeyEvents {
  Q_OBJECT

 public:
  // The item data role that holds an item's object.
  static constexpr int kObjectRole = Qt::UserRole;

  explicit TUniCustomListBox(QWidget* parent = nullptr);
  ~TUniCustomListBox() override;

  // Owner drawing of the items; unassigned, Qt's own look. A delegate set by a form wins.
  TDrawItemEvent OnDrawItem;

  TUniListBoxStrings& Items() { return items_; }
  const TUniListBoxStrings& Items() const { return items_; }
  void AddItem(const std::u16string& item, textlib::TObjectRef object) { items_.AddObject(item, object); }

  // The selected row, -1 for none; an index without an item selects none.
  int ItemIndex() const;
  void SetItemIndex(int index);
  // The first visible row (0 for an empty list).
  int TopIndex();
  void SetTopIndex(int index);

  std::u16string Hint() const;
  void SetHint(std::u16string_view hint);

 signals:
  // The user chose an item, by mouse or by keyboard; choices by program raise nothing.
  void Click();
  void DblClick();
  void MouseDown(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint at);
  void MouseMove(Qt::KeyboardModifiers shift, QPoint at);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  friend class TUniListBoxStrings;
  TUniListBoxStrings items_;
};

class TUniListBox : public TUniCustomListBox {
  Q_OBJECT

 public:
  explicit TUniListBox(QWidget* parent = nullptr) : TUniCustomListBox(parent) {}
};

}  // namespace widgets

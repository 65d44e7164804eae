#pragma once
// The wide list box: a plain QListWidget (so a form's item delegate keeps drawing it) whose
// Items are the wide list interface. An item's object rides in the item's data, so texts
// and objects move together and outlive any change of the view.
#include <QListWidget>
#include <string>
#include <string_view>

#include "textlib/io/unistrings.h"

namespace widgets {

// What the wide item lists of list box and combo box share: the class library's error
// texts and the item match of the platform lists, exact but for case.
inline constexpr std::u16string_view kListIndexError = u"Der Index der Liste überschreitet das Maximum (%d)";
inline constexpr std::u16string_view kInsertError = u"Zeile kann nicht eingefügt werden";
bool SameItemText(std::u16string_view a, std::u16string_view b);

class TUniListBox;

class TUniListBoxStrings : public textlib::TUniStrings {
 public:
  explicit TUniListBoxStrings(TUniListBox& listBox) : listBox_(listBox) {}

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
  TUniListBox& listBox_;
};

class TUniListBox : public QListWidget {
  Q_OBJECT

 public:
  // The item data role that holds an item's object.
  static constexpr int kObjectRole = Qt::UserRole;

  explicit TUniListBox(QWidget* parent = nullptr);
  ~TUniListBox() override;

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

 private:
  friend class TUniListBoxStrings;
  TUniListBoxStrings items_;
};

}  // namespace widgets

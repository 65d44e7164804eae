#include "widgets/uni_list_box.h"

#include <QKeyEvent>
#include <QPainter>
#include <QVariant>

#include "textlib/list_common.h"
#include "textlib/unicode.h"
#include "widgets/qt_wide.h"
#include "widgets/wide_control.h"

namespace widgets {

bool SameItemText(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  // Unit by unit, upper or lower case alike, so that a final sigma matches a capital one.
  for (size_t i = 0; i < a.size(); ++i)
    if (a[i] != b[i] && textlib::CharToUpper(a[i]) != textlib::CharToUpper(b[i]) &&
        textlib::CharToLower(a[i]) != textlib::CharToLower(b[i]))
      return false;
  return true;
}

void TWideItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
  if (!onDrawItem_) return QStyledItemDelegate::paint(painter, option, index);
  painter->save();
  onDrawItem_(*painter, index.row(), option.rect, option.state);
  painter->restore();
}

// ---- TUniListBoxStrings ----

void TUniListBoxStrings::CheckIndex(int index) const {
  if (index < 0 || index >= listBox_.count()) Error(kListIndexError, index);
}

std::u16string TUniListBoxStrings::Get(int index) const {
  CheckIndex(index);
  return FromQ(listBox_.item(index)->text());
}

int TUniListBoxStrings::GetCount() const { return listBox_.count(); }

textlib::TObjectRef TUniListBoxStrings::GetObject(int index) const {
  CheckIndex(index);
  return listBox_.item(index)->data(TUniCustomListBox::kObjectRole).value<void*>();
}

void TUniListBoxStrings::Put(int index, const std::u16string& s) {
  CheckIndex(index);
  // Qt can change an item's text in place, which keeps its object and selection without
  // the delete-and-insert the platform list needed.
  listBox_.item(index)->setText(ToQ(s));
}

void TUniListBoxStrings::PutObject(int index, textlib::TObjectRef object) {
  CheckIndex(index);
  listBox_.item(index)->setData(TUniCustomListBox::kObjectRole, QVariant::fromValue(object));
}

void TUniListBoxStrings::SetUpdateState(bool updating) {
  if (updating) signalsWereBlocked_ = listBox_.blockSignals(true);
  else listBox_.blockSignals(signalsWereBlocked_);
  listBox_.setUpdatesEnabled(!updating);
}

int TUniListBoxStrings::Add(const std::u16string& s) {
  auto* item = new QListWidgetItem(ToQ(s));
  listBox_.addItem(item);
  return listBox_.row(item);  // a sorting list box files it in place
}

void TUniListBoxStrings::Clear() { listBox_.clear(); }

void TUniListBoxStrings::Delete(int index) {
  const bool wasSelected = index >= 0 && index < listBox_.count() && listBox_.ItemIndex() == index;
  delete listBox_.takeItem(index);
  // The platform list selects nothing once its selected item is gone; Qt would select the next.
  if (wasSelected && listBox_.selectionMode() == QAbstractItemView::SingleSelection) listBox_.SetItemIndex(-1);
}

void TUniListBoxStrings::Exchange(int index1, int index2) {
  CheckIndex(index1);
  CheckIndex(index2);
  textlib::WithinUpdate(*this, [&] {
    const int selected = listBox_.ItemIndex();
    const std::u16string text1 = Get(index1);
    const textlib::TObjectRef object1 = GetObject(index1);
    Put(index1, Get(index2));
    PutObject(index1, GetObject(index2));
    Put(index2, text1);
    PutObject(index2, object1);
    if (selected == index1) listBox_.SetItemIndex(index2);
    else if (selected == index2) listBox_.SetItemIndex(index1);
  });
}

int TUniListBoxStrings::IndexOf(const std::u16string& s) const {
  for (int i = 0; i < listBox_.count(); ++i)
    if (SameItemText(FromQ(listBox_.item(i)->text()), s)) return i;
  return -1;
}

void TUniListBoxStrings::Insert(int index, const std::u16string& s) {
  if (index == -1) index = listBox_.count();
  // Qt would clamp a wrong index; the platform list refuses it.
  if (index < 0 || index > listBox_.count()) throw textlib::EOutOfResources(std::u16string(kInsertError));
  listBox_.insertItem(index, ToQ(s));
}

void TUniListBoxStrings::Move(int currentIndex, int newIndex) {
  if (currentIndex == newIndex) return;
  // Both checked first, so a wrong target cannot lose the item on the way.
  CheckIndex(currentIndex);
  CheckIndex(newIndex);
  textlib::WithinUpdate(*this, [&] {
    QListWidgetItem* current = listBox_.currentItem();
    const bool wasSelected = listBox_.item(currentIndex)->isSelected();
    QListWidgetItem* moved = listBox_.takeItem(currentIndex);
    // The item itself travels, so its text, object and any other data go with it.
    listBox_.insertItem(newIndex, moved);
    moved->setSelected(wasSelected);
    if (current) listBox_.setCurrentItem(current, QItemSelectionModel::NoUpdate);
  });
}

// ---- TUniCustomListBox ----

TUniCustomListBox::TUniCustomListBox(QWidget* parent) : QListWidget(parent), items_(*this) {
  setItemDelegate(new TWideItemDelegate(this, OnDrawItem));
  WireWideEvents(*this, false).Watch(*viewport());
  connect(this, &QListWidget::itemClicked, this, &TUniCustomListBox::Click);
}

void TUniCustomListBox::keyPressEvent(QKeyEvent* event) {
  const int before = currentRow();
  QListWidget::keyPressEvent(event);
  if (currentRow() != before && currentRow() >= 0) emit Click();
}

TUniCustomListBox::~TUniCustomListBox() = default;

int TUniCustomListBox::ItemIndex() const {
  const QListWidgetItem* current = currentItem();
  if (!current) return -1;
  // A single-selection list has an index only while its item is selected; lists of
  // several selections report the focused row.
  if (selectionMode() == QAbstractItemView::SingleSelection && !current->isSelected()) return -1;
  return currentRow();
}

void TUniCustomListBox::SetItemIndex(int index) {
  if (index < 0 || index >= count()) {
    setCurrentRow(-1, QItemSelectionModel::Clear);
    return;
  }
  setCurrentRow(index, QItemSelectionModel::ClearAndSelect);
}

int TUniCustomListBox::TopIndex() {
  executeDelayedItemsLayout();
  const QModelIndex top = indexAt(QPoint(spacing() + 1, spacing() + 1));
  return top.isValid() ? top.row() : 0;
}

void TUniCustomListBox::SetTopIndex(int index) {
  if (index < 0 || index >= count()) return;
  executeDelayedItemsLayout();
  scrollToItem(item(index), QAbstractItemView::PositionAtTop);
}

std::u16string TUniCustomListBox::Hint() const { return WideControlGetHint(*this); }

void TUniCustomListBox::SetHint(std::u16string_view hint) { WideControlSetHint(*this, hint); }

}  // namespace widgets

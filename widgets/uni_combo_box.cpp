#include "widgets/uni_combo_box.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QVariant>

#include "widgets/qt_wide.h"
#include "widgets/uni_list_box.h"
#include "widgets/wide_control.h"

namespace widgets {

// ---- TUniComboBoxStrings ----

void TUniComboBoxStrings::CheckIndex(int index) const {
  if (index < 0 || index >= comboBox_.count()) Error(kListIndexError, index);
}

std::u16string TUniComboBoxStrings::Get(int index) const {
  if (index < 0 || index >= comboBox_.count()) return {};
  return FromQ(comboBox_.itemText(index));
}

int TUniComboBoxStrings::GetCount() const { return comboBox_.count(); }

textlib::TObjectRef TUniComboBoxStrings::GetObject(int index) const {
  CheckIndex(index);
  return comboBox_.itemData(index, TUniCustomComboBox::kObjectRole).value<void*>();
}

void TUniComboBoxStrings::PutObject(int index, textlib::TObjectRef object) {
  CheckIndex(index);
  comboBox_.setItemData(index, QVariant::fromValue(object), TUniCustomComboBox::kObjectRole);
}

void TUniComboBoxStrings::SetUpdateState(bool updating) {
  if (updating) signalsWereBlocked_ = comboBox_.blockSignals(true);
  else comboBox_.blockSignals(signalsWereBlocked_);
  comboBox_.setUpdatesEnabled(!updating);
}

int TUniComboBoxStrings::Add(const std::u16string& s) {
  const int index = comboBox_.count();
  Insert(index, s);
  return index;
}

void TUniComboBoxStrings::Clear() {
  comboBox_.KeepingText([&] { comboBox_.clear(); });
  comboBox_.update();
}

void TUniComboBoxStrings::Delete(int index) {
  if (index < 0 || index >= comboBox_.count()) return;
  comboBox_.KeepingText([&] { comboBox_.removeItem(index); });
}

int TUniComboBoxStrings::IndexOf(const std::u16string& s) const {
  for (int i = 0; i < comboBox_.count(); ++i)
    if (SameItemText(FromQ(comboBox_.itemText(i)), s)) return i;
  return -1;
}

void TUniComboBoxStrings::Insert(int index, const std::u16string& s) {
  if (index == -1) index = comboBox_.count();
  // Qt would clamp a wrong index; the platform list refuses it.
  if (index < 0 || index > comboBox_.count()) throw textlib::EOutOfResources(std::u16string(kInsertError));
  comboBox_.KeepingText([&] { comboBox_.insertItem(index, ToQ(s)); });
}

// ---- TUniCustomComboBox ----

TUniCustomComboBox::TUniCustomComboBox(QWidget* parent) : QComboBox(parent), items_(*this) {
  events_ = &WireWideEvents(*this, false);
  events_->charFilter = [this](char32_t& key) { FilterChar(key); };
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  WireLineEdit();
  // Qt reports every choice of the user here, also of the item already chosen, and never a
  // selection made by program, just as the platform's selection-change notification.
  connect(this, &QComboBox::activated, this, &TUniCustomComboBox::ItemChosen);
  view()->setItemDelegate(new TWideItemDelegate(this, OnDrawItem));
}

TUniCustomComboBox::~TUniCustomComboBox() = default;

void TUniCustomComboBox::WireLineEdit() {
  QLineEdit* edit = lineEdit();
  if (edit == wiredEdit_) return;
  wiredEdit_ = edit;
  if (!edit) return;
  edit->setCompleter(nullptr);
  events_->Watch(*edit);
  // textEdited comes from typing only; texts set by program notify through SetText.
  connect(edit, &QLineEdit::textEdited, this, &TUniCustomComboBox::Changed);
}

template <typename Change>
void TUniCustomComboBox::KeepingText(Change change) {
  const bool wasEmpty = count() == 0;
  const QString text = currentText();
  change();
  if (wasEmpty && count() > 0) setCurrentIndex(-1);
  if (isEditable() && currentText() != text) setEditText(text);
}

std::u16string TUniCustomComboBox::Text() const { return FromQ(currentText()); }

void TUniCustomComboBox::SetText(std::u16string_view text) {
  const std::u16string before = Text();
  if (before == text) return;
  if (isEditable()) setEditText(ToQ(text));
  else setCurrentIndex(items_.IndexOf(std::u16string(text)));
  if (Text() != before) emit Changed();
}

void TUniCustomComboBox::SetItemIndex(int index) { setCurrentIndex(index >= 0 && index < count() ? index : -1); }

std::u16string TUniCustomComboBox::Hint() const { return WideControlGetHint(*this); }

void TUniCustomComboBox::SetHint(std::u16string_view hint) { WideControlSetHint(*this, hint); }

void TUniCustomComboBox::EditCharFilter(char16_t& /*ch*/) {}

void TUniCustomComboBox::ItemChosen(int index) {
  // Qt has shown the item already; the rule is kept in case a handler changed the text.
  const QString item = itemText(index);
  if (isEditable() && currentText() != item) setEditText(item);
  emit Click();
  emit Changed();
}

void TUniCustomComboBox::FilterChar(char32_t& key) {
  char16_t unit = key > 0xFFFF ? QChar::highSurrogate(key) : static_cast<char16_t>(key);
  const char16_t offered = unit;
  EditCharFilter(unit);
  if (unit != offered) key = unit;
}

void TUniCustomComboBox::showEvent(QShowEvent* event) {
  WireLineEdit();
  QComboBox::showEvent(event);
}

}  // namespace widgets

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
  return comboBox_.itemData(index, TUniComboBox::kObjectRole).value<void*>();
}

void TUniComboBoxStrings::PutObject(int index, textlib::TObjectRef object) {
  CheckIndex(index);
  comboBox_.setItemData(index, QVariant::fromValue(object), TUniComboBox::kObjectRole);
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

// ---- TUniComboBox ----

TUniComboBox::TUniComboBox(QWidget* parent) : QComboBox(parent), items_(*this) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  WireLineEdit();
  // Qt reports every choice of the user here, also of the item already chosen, and never a
  // selection made by program, just as the platform's selection-change notification.
  connect(this, &QComboBox::activated, this, &TUniComboBox::ItemChosen);
}

TUniComboBox::~TUniComboBox() = default;

void TUniComboBox::WireLineEdit() {
  QLineEdit* edit = lineEdit();
  if (edit == wiredEdit_) return;
  wiredEdit_ = edit;
  if (!edit) return;
  edit->setCompleter(nullptr);
  edit->installEventFilter(this);
  // textEdited comes from typing only; texts set by program notify through SetText.
  connect(edit, &QLineEdit::textEdited, this, &TUniComboBox::Changed);
}

template <typename Change>
void TUniComboBox::KeepingText(Change change) {
  const bool wasEmpty = count() == 0;
  const QString text = currentText();
  change();
  if (wasEmpty && count() > 0) setCurrentIndex(-1);
  if (isEditable() && currentText() != text) setEditText(text);
}

std::u16string TUniComboBox::Text() const { return FromQ(currentText()); }

void TUniComboBox::SetText(std::u16string_view text) {
  const std::u16string before = Text();
  if (before == text) return;
  if (isEditable()) setEditText(ToQ(text));
  else setCurrentIndex(items_.IndexOf(std::u16string(text)));
  if (Text() != before) emit Changed();
}

void TUniComboBox::SetItemIndex(int index) { setCurrentIndex(index >= 0 && index < count() ? index : -1); }

std::u16string TUniComboBox::Hint() const { return WideControlGetHint(*this); }

void TUniComboBox::SetHint(std::u16string_view hint) { WideControlSetHint(*this, hint); }

void TUniComboBox::EditCharFilter(char16_t& /*ch*/) {}

void TUniComboBox::ItemChosen(int index) {
  // Qt has shown the item already; the rule is kept in case a handler changed the text.
  const QString item = itemText(index);
  if (isEditable() && currentText() != item) setEditText(item);
  emit Click();
  emit Changed();
}

bool TUniComboBox::FilterKey(const QKeyEvent& event, QString& replacement) {
  const QString typed = event.text();
  QString kept;
  for (QChar unit : typed) {
    char16_t ch = unit.unicode();
    EditCharFilter(ch);
    if (ch != 0) kept.append(QChar(ch));
  }
  if (kept.isEmpty()) return false;
  replacement = kept == typed ? QString() : kept;
  return true;
}

void TUniComboBox::keyPressEvent(QKeyEvent* event) {
  WireLineEdit();
  if (!lineEdit() || event->text().isEmpty()) {
    QComboBox::keyPressEvent(event);
    return;
  }
  QString replacement;
  if (!FilterKey(*event, replacement)) {
    event->accept();  // refused
    return;
  }
  if (replacement.isEmpty()) {
    QComboBox::keyPressEvent(event);
    return;
  }
  // A changed character is a key of its own: no shortcut may match the old key code.
  QKeyEvent changed(event->type(), Qt::Key_unknown, event->modifiers(), replacement, event->isAutoRepeat(),
                    static_cast<quint16>(event->count()));
  QComboBox::keyPressEvent(&changed);
  event->setAccepted(changed.isAccepted());
}

bool TUniComboBox::eventFilter(QObject* watched, QEvent* event) {
  // Keys sent to the edit field itself rather than through the box.
  if (watched == wiredEdit_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->text().isEmpty()) return false;
    QString replacement;
    if (!FilterKey(*key, replacement)) return true;
    if (replacement.isEmpty()) return false;
    QKeyEvent changed(key->type(), Qt::Key_unknown, key->modifiers(), replacement, key->isAutoRepeat(),
                      static_cast<quint16>(key->count()));
    // Straight to the field, past this filter, so the character is not filtered twice.
    static_cast<QObject*>(wiredEdit_.data())->event(&changed);
    return true;
  }
  return QComboBox::eventFilter(watched, event);
}

void TUniComboBox::showEvent(QShowEvent* event) {
  WireLineEdit();
  QComboBox::showEvent(event);
}

}  // namespace widgets

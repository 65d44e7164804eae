#include "widgets/wide_control.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <algorithm>
#include <vector>

#include "widgets/qt_wide.h"
#include "widgets/uni_combo_box.h"
#include "widgets/uni_edit.h"
#include "widgets/uni_label.h"
#include "widgets/uni_memo.h"

namespace widgets {

// ---- hints ----

std::u16string WideShortHintPart(std::u16string_view hint) {
  const size_t bar = hint.find(u'|');
  return std::u16string(bar == std::u16string_view::npos ? hint : hint.substr(0, bar));
}

std::u16string WideLongHintPart(std::u16string_view hint) {
  const size_t bar = hint.find(u'|');
  return std::u16string(bar == std::u16string_view::npos ? hint : hint.substr(bar + 1));
}

namespace {
QString TooltipForm(std::u16string_view hint) { return ToQ(WideShortHintPart(hint)); }
}  // namespace

void WideControlSetHint(QWidget& control, std::u16string_view hint) {
  TWideCaptionHolder* holder = FindWideCaptionHolder(&control, true);
  WideSetSyncedValue(
      hint, holder->hint, control.toolTip(), [&control](const QString& tip) { control.setToolTip(tip); },
      TooltipForm);
}

std::u16string WideControlGetHint(const QWidget& control) {
  // A tooltip set by Qt's own means (a layout file, or later by a form) is the hint, as the
  // wide hint holds only while the tooltip still shows its short part.
  TWideCaptionHolder* holder = FindWideCaptionHolder(&control, false);
  if (!holder) return FromQ(control.toolTip());
  return WideGetSyncedValue(holder->hint, control.toolTip(), TooltipForm);
}

std::u16string WideGetHintOfControlOrParent(const QWidget* control) {
  for (; control; control = control->parentWidget()) {
    std::u16string hint = WideControlGetHint(*control);
    if (!hint.empty()) return hint;
  }
  return {};
}

// ---- synchronised wide values ----

namespace {
QString FormOf(std::u16string_view value, const TWideForm& form) { return form ? form(value) : ToQ(value); }
}  // namespace

std::u16string WideGetSyncedValue(std::u16string& stored, const QString& current, const TWideForm& form) {
  if (FormOf(stored, form) != current) stored = FromQ(current);
  return stored;
}

void WideSetSyncedValue(std::u16string_view value, std::u16string& stored, const QString& current,
                        const std::function<void(const QString&)>& setter, const TWideForm& form) {
  if (WideGetSyncedValue(stored, current, form) == value) return;
  const QString shown = FormOf(value, form);
  if (FromQ(shown) != value && shown == current) setter(QString());
  stored = value;
  setter(shown);
}

// ---- caption and hint holders ----

namespace {
// Sorted by control address; a holder enters on creation and leaves in its destructor.
std::vector<TWideCaptionHolder*>& Holders() {
  static std::vector<TWideCaptionHolder*> holders;
  return holders;
}
}  // namespace

TWideCaptionHolder::TWideCaptionHolder(QWidget& control) : QObject(&control), control_(&control) {}

TWideCaptionHolder::~TWideCaptionHolder() {
  int index = 0;
  if (FindWideCaptionHolderIndex(control_, index) && Holders()[static_cast<size_t>(index)] == this)
    Holders().erase(Holders().begin() + index);
}

bool FindWideCaptionHolderIndex(const QWidget* control, int& index) {
  const std::vector<TWideCaptionHolder*>& holders = Holders();
  const std::less<const QWidget*> before;
  int low = 0, high = static_cast<int>(holders.size()) - 1;
  while (low <= high) {
    const int mid = (low + high) / 2;
    const QWidget* key = holders[static_cast<size_t>(mid)]->Control();
    if (key == control) {
      index = mid;
      return true;
    }
    if (before(key, control))
      low = mid + 1;
    else
      high = mid - 1;
  }
  index = low;
  return false;
}

TWideCaptionHolder* FindWideCaptionHolder(const QWidget* control, bool create) {
  int index = 0;
  if (FindWideCaptionHolderIndex(control, index)) return Holders()[static_cast<size_t>(index)];
  if (!create || !control) return nullptr;
  // The holder is the control's child, so it cannot outlive it; the control stays const
  // for the reader's sake only.
  auto* holder = new TWideCaptionHolder(*const_cast<QWidget*>(control));
  Holders().insert(Holders().begin() + index, holder);
  return holder;
}

void SetWideActionLink(QWidget& control, const IWideActionLink* link) {
  if (TWideCaptionHolder* holder = FindWideCaptionHolder(&control, link != nullptr)) holder->actionLink = link;
}

bool IsWideCaptionStored(const QWidget& control) {
  const TWideCaptionHolder* holder = FindWideCaptionHolder(&control, false);
  return !(holder && holder->actionLink && holder->actionLink->IsCaptionLinked());
}

bool IsWideHintStored(const QWidget& control) {
  const TWideCaptionHolder* holder = FindWideCaptionHolder(&control, false);
  return !(holder && holder->actionLink && holder->actionLink->IsHintLinked());
}

// ---- text of any control ----

QEvent::Type WideTextChangedEvent() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

std::u16string WideControlGetText(const QWidget& control) {
  const QWidget* c = &control;
  if (auto* memo = dynamic_cast<const TDocumentMemo*>(c)) return memo->Text();
  if (auto* edit = qobject_cast<const TUniCustomEdit*>(c)) return edit->Text();
  if (auto* combo = qobject_cast<const TUniCustomComboBox*>(c)) return combo->Text();
  if (auto* label = qobject_cast<const TUniCustomLabel*>(c)) return label->Caption();
  if (auto* edit = qobject_cast<const QLineEdit*>(c)) return FromQ(edit->text());
  if (auto* plain = qobject_cast<const QPlainTextEdit*>(c)) return FromQ(plain->toPlainText());
  if (auto* text = qobject_cast<const QTextEdit*>(c)) return FromQ(text->toPlainText());
  if (auto* combo = qobject_cast<const QComboBox*>(c)) return FromQ(combo->currentText());
  if (auto* label = qobject_cast<const QLabel*>(c)) return FromQ(label->text());
  if (auto* button = qobject_cast<const QAbstractButton*>(c)) return FromQ(button->text());
  if (auto* group = qobject_cast<const QGroupBox*>(c)) return FromQ(group->title());
  return FromQ(control.windowTitle());
}

namespace {

void SetOwnText(QWidget& control, std::u16string_view text) {
  QWidget* c = &control;
  if (auto* memo = dynamic_cast<TDocumentMemo*>(c)) return memo->SetText(text);
  if (auto* edit = qobject_cast<TUniCustomEdit*>(c)) return edit->SetText(text);
  if (auto* combo = qobject_cast<TUniCustomComboBox*>(c)) return combo->SetText(text);
  if (auto* label = qobject_cast<TUniCustomLabel*>(c)) return label->SetCaption(text);
  if (auto* edit = qobject_cast<QLineEdit*>(c)) return edit->setText(ToQ(text));
  if (auto* plain = qobject_cast<QPlainTextEdit*>(c)) return plain->setPlainText(ToQ(text));
  if (auto* rich = qobject_cast<QTextEdit*>(c)) return rich->setPlainText(ToQ(text));
  if (auto* combo = qobject_cast<QComboBox*>(c)) {
    if (combo->isEditable())
      combo->setEditText(ToQ(text));
    else
      combo->setCurrentIndex(combo->findText(ToQ(text), Qt::MatchFixedString));
    return;
  }
  if (auto* label = qobject_cast<QLabel*>(c)) return label->setText(ToQ(text));
  if (auto* button = qobject_cast<QAbstractButton*>(c)) return button->setText(ToQ(text));
  if (auto* group = qobject_cast<QGroupBox*>(c)) return group->setTitle(ToQ(text));
  control.setWindowTitle(ToQ(text));
}

}  // namespace

bool WideControlSetText(QWidget& control, std::u16string_view text) {
  // Exact comparison: texts that differ only outside any 8-bit code page still differ.
  const std::u16string before = WideControlGetText(control);
  if (before == text) return false;
  SetOwnText(control, text);
  // A control may refuse the text (a combo box without edit field showing none of its items
  // already): then nothing changed.
  if (WideControlGetText(control) == before) return false;
  QEvent changed(WideTextChangedEvent());
  QCoreApplication::sendEvent(&control, &changed);
  return true;
}

// ---- keys ----

QString WideApplyKeyPress(const QString& typed, const std::function<void(char32_t& key)>& handler) {
  if (!handler) return typed;
  QString kept;
  for (qsizetype i = 0; i < typed.size(); ++i) {
    char32_t key = typed[i].unicode();
    if (QChar::isHighSurrogate(key) && i + 1 < typed.size() && typed[i + 1].isLowSurrogate()) {
      key = QChar::surrogateToUcs4(typed[i], typed[i + 1]);
      ++i;
    }
    handler(key);
    if (key == 0 || key > 0x10FFFF) continue;
    kept += QString::fromUcs4(&key, 1);
  }
  return kept;
}

TWideEventFilter::TWideEventFilter(QWidget& control, TWideKeyEvents* keys)
    : QObject(&control), control_(control), keys_(keys) {
  Watch(control);
}

void TWideEventFilter::Watch(QObject& inner) {
  inner.installEventFilter(this);
  // Moves without a button pressed are reported too, as forms expect of their controls.
  if (auto* widget = qobject_cast<QWidget*>(&inner)) widget->setMouseTracking(true);
}

void TWideEventFilter::RunKeyPress(char32_t& key) const {
  if (keys_ && keys_->OnKeyPress) keys_->OnKeyPress(key);
  if (key != 0 && charFilter) charFilter(key);
}

namespace {

// The key code of a replacement text, so that a control sees an Enter given by a handler as
// Enter; any other text is a plain character.
int KeyOfText(const QString& text) {
  if (text.size() != 1) return Qt::Key_unknown;
  switch (text[0].unicode()) {
    case u'\r': return Qt::Key_Return;
    case u'\b': return Qt::Key_Backspace;
    case u'\t': return Qt::Key_Tab;
    case 0x1B: return Qt::Key_Escape;
    default: return Qt::Key_unknown;
  }
}

}  // namespace

bool TWideEventFilter::FilterKey(QObject& watched, QKeyEvent& event) {
  int key = event.key();
  if (keys_ && keys_->OnKeyDown) {
    keys_->OnKeyDown(key, event.modifiers());
    if (key == 0) {
      event.accept();
      return true;
    }
  }
  const QString typed = event.text();
  const QString kept =
      typed.isEmpty() ? typed : WideApplyKeyPress(typed, [this](char32_t& k) { RunKeyPress(k); });
  if (!typed.isEmpty() && kept.isEmpty()) {
    event.accept();  // every character refused
    return true;
  }
  const bool textChanged = kept != typed;
  if (key == event.key() && !textChanged) return false;
  // A changed character is a key of its own: no shortcut may match the old key code.
  QKeyEvent changed(event.type(), textChanged ? KeyOfText(kept) : key, event.modifiers(), kept,
                    event.isAutoRepeat(), static_cast<quint16>(event.count()));
  forwarding_ = true;
  QCoreApplication::sendEvent(&watched, &changed);
  forwarding_ = false;
  event.setAccepted(changed.isAccepted());
  return true;
}

bool TWideEventFilter::FilterInputMethod(QEvent& event) {
  // Input methods (the usual road of characters beyond the keyboard) commit whole strings.
  auto& input = static_cast<QInputMethodEvent&>(event);
  const QString typed = input.commitString();
  if (typed.isEmpty()) return false;
  const QString kept = WideApplyKeyPress(typed, [this](char32_t& k) { RunKeyPress(k); });
  if (kept != typed) input.setCommitString(kept, input.replacementStart(), input.replacementLength());
  return false;
}

QPoint TWideEventFilter::ToControl(QObject& watched, QPointF at) const {
  auto* widget = qobject_cast<QWidget*>(&watched);
  const QPoint point = at.toPoint();
  return widget && widget != &control_ ? widget->mapTo(&control_, point) : point;
}

bool TWideEventFilter::eventFilter(QObject* watched, QEvent* event) {
  switch (event->type()) {
    case QEvent::KeyPress:
      if (forwarding_) return false;
      return FilterKey(*watched, *static_cast<QKeyEvent*>(event));
    case QEvent::InputMethod:
      return FilterInputMethod(*event);
    case QEvent::MouseButtonPress: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouseDown) mouseDown(mouse->button(), mouse->modifiers(), ToControl(*watched, mouse->position()));
      return false;
    }
    case QEvent::MouseMove: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      if (mouseMove) mouseMove(mouse->modifiers(), ToControl(*watched, mouse->position()));
      return false;
    }
    case QEvent::MouseButtonRelease: {
      const auto* mouse = static_cast<QMouseEvent*>(event);
      const bool ending = afterDoubleClick_;
      afterDoubleClick_ = false;
      if (click && !ending && mouse->button() == Qt::LeftButton &&
          control_.rect().contains(ToControl(*watched, mouse->position())))
        click();
      return false;
    }
    case QEvent::MouseButtonDblClick:
      afterDoubleClick_ = true;
      if (dblClick) dblClick();
      return false;
    default:
      return false;
  }
}

}  // namespace widgets

#pragma once
// What every wide control shares: the wide text of any control with the one change rule
// (an equal text sends nothing, a different one is set and notified once), the holders of
// wide hints beside Qt's own properties, and the key rule of the forms' key handlers.
// Qt keeps every text in UTF-16 already, so no text passes through an 8-bit form here; the
// holders exist where Qt's property shows a derived form of the wide value (a tooltip shows
// a hint's short part), and a change made through Qt's own setter wins over the held value.
#include <QEvent>
#include <QObject>
#include <QPoint>
#include <QString>
#include <QWidget>
#include <functional>
#include <string>
#include <string_view>
#include <type_traits>

class QKeyEvent;

namespace widgets {

// ---- hints ----

// The part before the first "|", or the whole hint when it has none.
std::u16string WideShortHintPart(std::u16string_view hint);
// The part after the first "|", or the whole hint when it has none.
std::u16string WideLongHintPart(std::u16string_view hint);

// The tooltip shows the short part; the whole hint stays readable.
void WideControlSetHint(QWidget& control, std::u16string_view hint);
std::u16string WideControlGetHint(const QWidget& control);
// The first non-empty hint of the control and then of its parents in turn.
std::u16string WideGetHintOfControlOrParent(const QWidget* control);

// ---- synchronised wide values ----

// The form in which Qt's property shows a wide value; none means the value itself.
using TWideForm = std::function<QString(std::u16string_view value)>;

// The stored value, or Qt's current value when that no longer shows the stored one (it was
// changed through Qt); stored is re-synchronised then.
std::u16string WideGetSyncedValue(std::u16string& stored, const QString& current, const TWideForm& form = {});
// Stores value and hands its form to the setter; an equal value does nothing. When the form
// loses something of the value and Qt already shows that form, the setter first gets an
// empty text, so that Qt's change notification still happens once the value changes.
void WideSetSyncedValue(std::u16string_view value, std::u16string& stored, const QString& current,
                        const std::function<void(const QString&)>& setter, const TWideForm& form = {});

// ---- caption and hint holders ----

// What a control's action link answers: whether its caption (hint) comes from the action.
class IWideActionLink {
 public:
  virtual ~IWideActionLink() = default;
  virtual bool IsCaptionLinked() const = 0;
  virtual bool IsHintLinked() const = 0;
};

// The wide values of one control. It is a child of its control and goes with it; the
// process-wide list of holders is sorted by control address for the look-ups.
class TWideCaptionHolder : public QObject {
 public:
  explicit TWideCaptionHolder(QWidget& control);
  ~TWideCaptionHolder() override;

  const QWidget* Control() const { return control_; }

  std::u16string caption;
  std::u16string hint;
  // Set by the control's action link while one is in place; not owned.
  const IWideActionLink* actionLink = nullptr;

 private:
  const QWidget* control_;
};

// True when a holder for the control is listed; index is its position, or else the position
// where it belongs. Binary search over the list sorted by control address.
bool FindWideCaptionHolderIndex(const QWidget* control, int& index);
// The holder or nullptr; with create a missing holder is made. Reads never create one.
TWideCaptionHolder* FindWideCaptionHolder(const QWidget* control, bool create);
// Removes the link with nullptr.
void SetWideActionLink(QWidget& control, const IWideActionLink* link);
// False while an action link supplies the caption (hint): the layout need not store it.
bool IsWideCaptionStored(const QWidget& control);
bool IsWideHintStored(const QWidget& control);

// ---- text of any control ----

// Sent once to a control whose text WideControlSetText changed (besides the control's own
// change signal, such as Changed of the wide controls or textChanged of a QLineEdit).
QEvent::Type WideTextChangedEvent();

// The text of edits, memos (CR LF breaks), combo boxes, labels and buttons (their caption,
// accelerator marks included), group boxes (their title) and windows (their title).
std::u16string WideControlGetText(const QWidget& control);
// An equal text, compared exactly, sends nothing; a different one is set and notified once.
// True when the text changed.
bool WideControlSetText(QWidget& control, std::u16string_view text);

// ---- keys ----

// Gives every character of a typed text to handler once, a surrogate pair as one character:
// a changed value replaces the character, 0 refuses it, an unchanged one keeps it as typed.
QString WideApplyKeyPress(const QString& typed, const std::function<void(char32_t& key)>& handler);

// The key handlers that a form hangs on a wide control.
struct TWideKeyEvents {
  // Every key that goes down, before the control sees it; setting key to 0 consumes the
  // key (the control and OnKeyPress see nothing of it), another key code replaces it.
  std::function<void(int& key, Qt::KeyboardModifiers shift)> OnKeyDown;
  // Every typed character once (Enter, Backspace, Tab and Escape included); another value
  // replaces it, 0 refuses it.
  std::function<void(char32_t& key)> OnKeyPress;
};

// Applies the key rule and reports the mouse for one wide control and the inner widgets
// that take its input (a scroll area's viewport, a combo box's edit field).
class TWideEventFilter : public QObject {
 public:
  // keys: nullptr for a control that takes no keys (a label).
  TWideEventFilter(QWidget& control, TWideKeyEvents* keys);
  void Watch(QObject& inner);

  // Runs after OnKeyPress for each character (a combo box's edit-character filter).
  std::function<void(char32_t& key)> charFilter;
  // Mouse reports; positions are in the control's coordinates.
  std::function<void(Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint at)> mouseDown;
  std::function<void(Qt::KeyboardModifiers shift, QPoint at)> mouseMove;
  // A left button released over the control, and a double click.
  std::function<void()> click;
  std::function<void()> dblClick;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool FilterKey(QObject& watched, QKeyEvent& event);
  bool FilterInputMethod(QEvent& event);
  void RunKeyPress(char32_t& key) const;
  QPoint ToControl(QObject& watched, QPointF at) const;

  QWidget& control_;
  TWideKeyEvents* keys_;
  bool forwarding_ = false;
  // The release that ends a double click is no click of its own.
  bool afterDoubleClick_ = false;
};

// Makes a wide control's filter and routes its reports to the control's signals MouseDown,
// MouseMove, DblClick and, with mouseClicks, Click (list and combo boxes click on choosing).
template <typename Control>
TWideEventFilter& WireWideEvents(Control& control, bool mouseClicks = true) {
  TWideKeyEvents* keys = nullptr;
  if constexpr (std::is_base_of_v<TWideKeyEvents, Control>) keys = &control;
  auto* filter = new TWideEventFilter(control, keys);
  filter->mouseDown = [&control](Qt::MouseButton button, Qt::KeyboardModifiers shift, QPoint at) {
    emit control.MouseDown(button, shift, at);
  };
  filter->mouseMove = [&control](Qt::KeyboardModifiers shift, QPoint at) { emit control.MouseMove(shift, at); };
  filter->dblClick = [&control] { emit control.DblClick(); };
  if (mouseClicks) filter->click = [&control] { emit control.Click(); };
  return *filter;
}

}  // namespace widgets

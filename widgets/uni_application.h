#pragma once
// The process's wide application object: the application title, which is what other
// programs see of this one in the window directory, and the application hint, which
// follows the control under the mouse (its long part) and the pointed menu item. It also
// shows the controls' hints, as plain text in a hint window of its own.
#include <QObject>
#include <QPointer>
#include <functional>
#include <string>
#include <string_view>

#include "platform/window_directory.h"

class QTimer;
class QWidget;

namespace widgets {

class TUniCustomHintWindow;
class TUniHintAction;

class TUniApplication : public QObject {
  Q_OBJECT

 public:
  // The class under which the application's window stands in the window directory.
  static constexpr std::string_view kWindowClass = "TApplication";

  // Watches the application's events; needs the QApplication.
  TUniApplication();
  ~TUniApplication() override;

  // Before AttachWindow the title is pending; Qt's application name carries it too, and a
  // name set there by Qt's own means wins. Not the display name: Qt would append that to
  // every window's title, while the windows show their captions exactly.
  std::u16string Title() const;
  void SetTitle(std::u16string_view title);
  // Registers the application's window under the title (a pending one is applied); the
  // listener must outlive the attachment. False when the entry could not be written. A
  // program whose window others look for by a class of its own registers under that class.
  bool AttachWindow(platform::WindowListener& listener, std::string_view windowClass = kWindowClass);
  void DetachWindow();
  platform::WindowHandle Window() const { return window_; }

  std::u16string Hint() const { return hint_; }
  // A changed hint is carried to the status displays by a hint action (HintExecuted).
  void SetHint(std::u16string_view hint);
  // Hides a shown hint.
  void CancelHint();
  // The application hint becomes the long hint of the control or its first parent with one.
  void RefreshHint(const QWidget* underMouse);

  // Hints of controls with a shortcut on their action name it: "Suchen (Strg+F)".
  bool HintShortCuts() const { return hintShortCuts_; }
  void SetHintShortCuts(bool value) { hintShortCuts_ = value; }
  int HintHidePause() const { return hintHidePause_; }
  void SetHintHidePause(int milliseconds) { hintHidePause_ = milliseconds; }
  // May change the hint string before it is shown.
  using ShowHintHandler = std::function<void(std::u16string& hint, const QWidget& control)>;
  void SetOnShowHint(ShowHintHandler handler) { onShowHint_ = std::move(handler); }
  // Shows the control's hint (or that of its first parent with one) at a global position;
  // false when there is none.
  bool ShowHint(const QWidget& control, const QPoint& globalPosition);
  // The hint window; null until a hint was shown.
  TUniCustomHintWindow* HintWindow() const;

 signals:
  void OnHint();
  // The hint action's execution: the status displays show the hint.
  void HintExecuted(const std::u16string& hint);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  std::u16string pendingTitle_;
  QString qtTitle_;  // the application name as last set here
  platform::WindowListener* listener_ = nullptr;
  platform::WindowHandle window_;
  std::u16string windowTitle_;
  std::u16string hint_;
  bool hintShortCuts_ = true;
  int hintHidePause_ = 2500;
  ShowHintHandler onShowHint_;
  QPointer<TUniCustomHintWindow> hintWindow_;
  QTimer* hideTimer_ = nullptr;
};

// The process's application object, created on first use while a QApplication exists
// and freed with it.
TUniApplication& UniApplication();

}  // namespace widgets

#include "widgets/uni_application.h"

#include <QApplication>
#include <QEvent>
#include <QGuiApplication>
#include <QHelpEvent>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "widgets/qt_wide.h"
#include "widgets/uni_action.h"
#include "widgets/wide_control.h"
#include "widgets/wide_hints.h"

namespace widgets {

TUniApplication::TUniApplication() {
  qtTitle_ = QCoreApplication::applicationName();
  pendingTitle_ = FromQ(qtTitle_);
  hideTimer_ = new QTimer(this);
  hideTimer_->setSingleShot(true);
  connect(hideTimer_, &QTimer::timeout, this, &TUniApplication::CancelHint);
  if (qApp) qApp->installEventFilter(this);
}

TUniApplication::~TUniApplication() {
  DetachWindow();
  delete hintWindow_;
}

std::u16string TUniApplication::Title() const {
  if (window_) return windowTitle_;
  const QString shown = QCoreApplication::applicationName();
  return shown == qtTitle_ ? pendingTitle_ : FromQ(shown);
}

void TUniApplication::SetTitle(std::u16string_view title) {
  if (window_) {
    if (windowTitle_ != title && listener_->SetTitle(window_, std::u16string(title))) windowTitle_ = title;
  } else {
    pendingTitle_ = title;
  }
  qtTitle_ = ToQ(title);
  QCoreApplication::setApplicationName(qtTitle_);
}

bool TUniApplication::AttachWindow(platform::WindowListener& listener, std::string_view windowClass) {
  DetachWindow();
  const std::u16string title = Title();
  const platform::WindowHandle window = listener.AddWindow(title, std::string(windowClass));
  if (!window) return false;
  listener_ = &listener;
  window_ = window;
  windowTitle_ = title;
  pendingTitle_.clear();
  return true;
}

void TUniApplication::DetachWindow() {
  if (!window_) return;
  listener_->RemoveWindow(window_);
  // What the window showed stays the title.
  pendingTitle_ = windowTitle_;
  window_ = {};
  listener_ = nullptr;
}

void TUniApplication::SetHint(std::u16string_view hint) {
  if (hint_ == hint) return;
  hint_ = hint;
  emit OnHint();
  // The status displays learn of it through the execution of a hint action.
  TUniHintAction action(this);
  action.SetHint(hint_);
  connect(&action, &TUniAction::OnExecute, this, [this, &action] { emit HintExecuted(action.Hint()); });
  action.Execute();
}

TUniCustomHintWindow* TUniApplication::HintWindow() const { return hintWindow_; }

void TUniApplication::CancelHint() {
  hideTimer_->stop();
  if (hintWindow_) hintWindow_->hide();
}

void TUniApplication::RefreshHint(const QWidget* underMouse) {
  SetHint(WideLongHintPart(WideGetHintOfControlOrParent(underMouse)));
}

bool TUniApplication::ShowHint(const QWidget& control, const QPoint& globalPosition) {
  const std::u16string shortHint = WideShortHintPart(WideGetHintOfControlOrParent(&control));
  if (shortHint.empty()) {
    CancelHint();
    return false;
  }
  const QAction* action = WideControlAction(control);
  const auto* wide = qobject_cast<const TUniAction*>(action);
  std::u16string hint = WideHintString(shortHint, hintShortCuts_, wide ? wide->ShortCut() : scNone);
  if (onShowHint_) onShowHint_(hint, control);
  if (hint.empty()) {
    CancelHint();
    return false;
  }
  if (!hintWindow_) hintWindow_ = new TUniCustomHintWindow();
  const QScreen* screen = QGuiApplication::screenAt(globalPosition);
  if (!screen) screen = QGuiApplication::primaryScreen();
  const int maxWidth = screen ? screen->availableGeometry().width() : 1024;
  // Below the pointer, as Qt places its tooltips.
  const QRect rect = hintWindow_->CalcHintRect(maxWidth, hint).translated(globalPosition + QPoint(0, 20));
  hintWindow_->ActivateHint(rect, hint);
  if (hintHidePause_ > 0) hideTimer_->start(hintHidePause_);
  return true;
}

bool TUniApplication::eventFilter(QObject* watched, QEvent* event) {
  auto* widget = qobject_cast<QWidget*>(watched);
  if (!widget || widget == hintWindow_) return false;
  switch (event->type()) {
    case QEvent::Enter:
      RefreshHint(widget);
      break;
    case QEvent::Leave:
      CancelHint();
      RefreshHint(widget->parentWidget());
      break;
    case QEvent::ToolTip:
      // Qt's own tooltip would show markup as rich text; a wide hint is shown here instead.
      // Without one, Qt's own tooltips (an item view's items) still show.
      return ShowHint(*widget, static_cast<QHelpEvent*>(event)->globalPos());
    case QEvent::MouseButtonPress:
    case QEvent::KeyPress:
    case QEvent::Wheel:
      CancelHint();
      break;
    default:
      break;
  }
  return false;
}

TUniApplication& UniApplication() {
  static QPointer<TUniApplication> application;
  if (!application) {
    application = new TUniApplication();
    application->setParent(qApp);
  }
  return *application;
}

}  // namespace widgets

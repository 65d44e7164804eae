#include "widgets/uni_action.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMetaMethod>
#include <QToolButton>
#include <QVariant>
#include <algorithm>

#include "widgets/qt_wide.h"
#include "widgets/wide_control.h"

namespace widgets {

namespace {

constexpr const char* kActionProperty = "quarryAction";

// Resets a flag when the scope ends, also by an exception of a client.
class TRaised {
 public:
  explicit TRaised(bool& flag) : flag_(flag) { flag_ = true; }
  ~TRaised() { flag_ = false; }
  TRaised(const TRaised&) = delete;
  TRaised& operator=(const TRaised&) = delete;

 private:
  bool& flag_;
};

}  // namespace

// ---- TCustomActionHelper ----

TCustomActionHelper::TCustomActionHelper(QAction& action) : QObject(&action), action_(action) {
  caption_ = FromQ(action.text());
  qtCaption_ = action.text();
  hint_ = FromQ(action.statusTip());
  qtHint_ = action.statusTip();
}

TCustomActionHelper& TCustomActionHelper::Of(QAction& action) {
  if (auto* helper = action.findChild<TCustomActionHelper*>(QString(), Qt::FindDirectChildrenOnly)) return *helper;
  return *new TCustomActionHelper(action);
}

const TCustomActionHelper* TCustomActionHelper::Find(const QAction& action) {
  return action.findChild<TCustomActionHelper*>(QString(), Qt::FindDirectChildrenOnly);
}

std::u16string TCustomActionHelper::Caption() const {
  if (settingCaption_) return previousCaption_;
  // A text set through Qt wins.
  return action_.text() == qtCaption_ ? caption_ : FromQ(action_.text());
}

void TCustomActionHelper::SetCaption(std::u16string_view caption) {
  previousCaption_ = Caption();
  {
    TRaised setting(settingCaption_);
    caption_ = caption;
    if (auto* wide = qobject_cast<TUniAction*>(&action_)) {
      const std::vector<TUniActionLink*> links = wide->Links();
      for (TUniActionLink* link : links) link->SetCaption(caption_);
    }
  }
  qtCaption_ = ToQ(caption_);
  action_.setText(qtCaption_);
}

std::u16string TCustomActionHelper::Hint() const {
  if (settingHint_) return previousHint_;
  return action_.statusTip() == qtHint_ ? hint_ : FromQ(action_.statusTip());
}

void TCustomActionHelper::SetHint(std::u16string_view hint) {
  previousHint_ = Hint();
  {
    TRaised setting(settingHint_);
    hint_ = hint;
    if (auto* wide = qobject_cast<TUniAction*>(&action_)) {
      const std::vector<TUniActionLink*> links = wide->Links();
      for (TUniActionLink* link : links) link->SetHint(hint_);
    }
  }
  // Qt's users of the action see the short part as tooltip and the long one as status tip;
  // the status tip is the hint's Qt form, so it keeps the whole hint.
  qtHint_ = ToQ(hint_);
  action_.setToolTip(ToQ(WideShortHintPart(hint_)));
  action_.setStatusTip(qtHint_);
}

// ---- TUniAction ----

TUniAction::TUniAction(QObject* parent) : QAction(parent) {
  connect(this, &QAction::triggered, this, [this] { emit OnExecute(); });
}

TUniAction::~TUniAction() {
  // The links outlive their action only as empty links.
  const std::vector<TUniActionLink*> links = links_;
  for (TUniActionLink* link : links) link->SetAction(nullptr);
}

std::u16string TUniAction::Caption() const {
  const TCustomActionHelper* helper = TCustomActionHelper::Find(*this);
  return helper ? helper->Caption() : FromQ(text());
}

void TUniAction::SetCaption(std::u16string_view caption) { TCustomActionHelper::Of(*this).SetCaption(caption); }

std::u16string TUniAction::Hint() const {
  const TCustomActionHelper* helper = TCustomActionHelper::Find(*this);
  return helper ? helper->Hint() : FromQ(statusTip());
}

void TUniAction::SetHint(std::u16string_view hint) { TCustomActionHelper::Of(*this).SetHint(hint); }

void TUniAction::SetShortCut(TShortCut shortCut) {
  shortCut_ = shortCut;
  setShortcut(ShortCutToKeySequence(shortCut));
}

bool TUniAction::Execute() {
  if (!isEnabled() || !isSignalConnected(QMetaMethod::fromSignal(&TUniAction::OnExecute))) return false;
  emit OnExecute();
  return true;
}

void TUniAction::Assign(const QAction& source) {
  setEnabled(source.isEnabled());
  setCheckable(source.isCheckable());
  setChecked(source.isChecked());
  setVisible(source.isVisible());
  if (const auto* wide = qobject_cast<const TUniAction*>(&source))
    SetShortCut(wide->ShortCut());
  else
    setShortcut(source.shortcut());
  SetCaption(WideActionCaption(source));
  SetHint(WideActionHint(source));
}

void TUniAction::AssignFromControl(const QWidget& source) {
  setEnabled(source.isEnabled());
  SetCaption(WideControlGetText(source));
  SetHint(WideControlGetHint(source));
}

void TUniAction::AddLink(TUniActionLink* link) {
  if (std::find(links_.begin(), links_.end(), link) == links_.end()) links_.push_back(link);
}

void TUniAction::RemoveLink(TUniActionLink* link) { std::erase(links_, link); }

// ---- wide texts of any action ----

bool IsWideAction(const QAction* action) { return qobject_cast<const TUniAction*>(action) != nullptr; }

std::u16string WideActionCaption(const QAction& action) {
  if (const auto* wide = qobject_cast<const TUniAction*>(&action)) return wide->Caption();
  return FromQ(action.text());
}

std::u16string WideActionHint(const QAction& action) {
  if (const auto* wide = qobject_cast<const TUniAction*>(&action)) return wide->Hint();
  return FromQ(action.statusTip());
}

void SetWideActionCaption(QAction& action, std::u16string_view caption) {
  if (auto* wide = qobject_cast<TUniAction*>(&action))
    wide->SetCaption(caption);
  else
    action.setText(ToQ(caption));
}

void SetWideActionHint(QAction& action, std::u16string_view hint) {
  if (auto* wide = qobject_cast<TUniAction*>(&action))
    wide->SetHint(hint);
  else
    action.setStatusTip(ToQ(hint));
}

// ---- links ----

TUniActionLink::~TUniActionLink() {
  if (auto* wide = qobject_cast<TUniAction*>(action_.data())) wide->RemoveLink(this);
}

void TUniActionLink::SetAction(QAction* action) {
  if (auto* wide = qobject_cast<TUniAction*>(action_.data())) wide->RemoveLink(this);
  action_ = action;
  if (auto* wide = qobject_cast<TUniAction*>(action)) wide->AddLink(this);
}

bool TUniActionLink::IsCaptionLinked() const { return action_ && WideActionCaption(*action_) == ClientCaption(); }

bool TUniActionLink::IsHintLinked() const { return action_ && WideActionHint(*action_) == ClientHint(); }

void TUniActionLink::SetCaption(std::u16string_view caption) {
  if (IsCaptionLinked()) SetClientCaption(caption);
}

void TUniActionLink::SetHint(std::u16string_view hint) {
  if (IsHintLinked()) SetClientHint(hint);
}

TUniControlActionLink::~TUniControlActionLink() {
  if (client_) client_->setProperty(kActionProperty, QVariant());
}

void TUniControlActionLink::SetAction(QAction* action) {
  TUniActionLink::SetAction(action);
  if (client_) client_->setProperty(kActionProperty, action ? QVariant::fromValue<QObject*>(action) : QVariant());
}

std::u16string TUniControlActionLink::ClientCaption() const { return client_ ? WideControlGetText(*client_) : u""; }

std::u16string TUniControlActionLink::ClientHint() const { return client_ ? WideControlGetHint(*client_) : u""; }

void TUniControlActionLink::SetClientCaption(std::u16string_view caption) {
  if (client_) WideControlSetText(*client_, caption);
}

void TUniControlActionLink::SetClientHint(std::u16string_view hint) {
  if (client_) WideControlSetHint(*client_, hint);
}

TActionLinkKind WideActionLinkClass(const QWidget& control) {
  if (qobject_cast<const QToolButton*>(&control)) return TActionLinkKind::ToolButton;
  if (qobject_cast<const QAbstractButton*>(&control)) return TActionLinkKind::Button;
  // A label is drawn on its parent, as the class library's graphic controls are.
  if (qobject_cast<const QLabel*>(&control)) return TActionLinkKind::Control;
  return TActionLinkKind::WinControl;
}

std::unique_ptr<TUniControlActionLink> MakeWideActionLink(QWidget& control) {
  switch (WideActionLinkClass(control)) {
    case TActionLinkKind::ToolButton:
      return std::make_unique<TUniToolButtonActionLink>(control);
    case TActionLinkKind::Button:
      return std::make_unique<TUniButtonActionLink>(control);
    case TActionLinkKind::WinControl:
      return std::make_unique<TUniWinControlActionLink>(control);
    case TActionLinkKind::Control:
      break;
  }
  return std::make_unique<TUniControlActionLink>(control);
}

QAction* WideControlAction(const QWidget& control) {
  if (auto* action = qobject_cast<QAction*>(control.property(kActionProperty).value<QObject*>())) return action;
  if (const auto* button = qobject_cast<const QToolButton*>(&control)) return button->defaultAction();
  return nullptr;
}

void WideControlActionChange(QWidget& control, const QAction& action, bool checkDefaults) {
  if (!IsWideAction(&action)) return;
  const std::u16string text = WideControlGetText(control);
  if (!checkDefaults || text.empty() || text == FromQ(control.objectName()))
    WideControlSetText(control, WideActionCaption(action));
  if (!checkDefaults || WideControlGetHint(control).empty()) WideControlSetHint(control, WideActionHint(action));
}

}  // namespace widgets

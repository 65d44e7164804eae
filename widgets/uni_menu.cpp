#include "widgets/uni_menu.h"

#include <QVariant>
#include <algorithm>

#include "textlib/wide/widestr.h"
#include "widgets/qt_wide.h"
#include "widgets/uni_application.h"
#include "widgets/wide_control.h"

namespace widgets {

namespace {
constexpr const char* kItemProperty = "quarryMenuItem";
}

// ---- TUniMenuActionLink ----

bool TUniMenuActionLink::IsCaptionLinked() const {
  return Action() && textlib::WideSameText(WideStripHotKey(WideActionCaption(*Action())), WideStripHotKey(ClientCaption()));
}

std::u16string TUniMenuActionLink::ClientCaption() const { return item_.Caption(); }
std::u16string TUniMenuActionLink::ClientHint() const { return item_.Hint(); }
void TUniMenuActionLink::SetClientCaption(std::u16string_view caption) { item_.SetCaption(caption); }
void TUniMenuActionLink::SetClientHint(std::u16string_view hint) { item_.SetHint(hint); }

// ---- TUniMenuItem ----

TUniMenuItem::TUniMenuItem(QObject* owner) : QObject(owner), action_(new QAction()) {
  action_->setProperty(kItemProperty, QVariant::fromValue<QObject*>(this));
  connect(action_, &QAction::triggered, this, [this] {
    if (auto* action = qobject_cast<TUniAction*>(link_.Action()))
      action->Execute();
    else
      emit Click();
  });
  connect(action_, &QAction::hovered, this, [this] { UniPopupList().MenuSelect(action_); });
}

TUniMenuItem::~TUniMenuItem() {
  if (parent_) std::erase(parent_->items_, this);
  for (TUniMenuItem* item : items_) item->parent_ = nullptr;
  link_.SetAction(nullptr);
  delete action_.data();
}

std::u16string TUniMenuItem::Caption() const {
  // The platform text holds the caption up to the TAB of the shortcut.
  const QString shown = action_->text();
  if (shown == qtCaption_) return caption_;
  const qsizetype tab = shown.indexOf(u'\t');
  return FromQ(tab < 0 ? shown : shown.left(tab));
}

void TUniMenuItem::SetCaption(std::u16string_view caption) {
  caption_ = caption;
  qtCaption_ = action_->text();  // the new caption replaces whatever the item shows
  UpdateItem();
}

std::u16string TUniMenuItem::Hint() const { return hint_; }

void TUniMenuItem::SetHint(std::u16string_view hint) {
  hint_ = hint;
  action_->setStatusTip(ToQ(WideLongHintPart(hint_)));
}

void TUniMenuItem::SetShortCut(TShortCut shortCut) {
  shortCut_ = shortCut;
  UpdateItem();
}

std::u16string TUniMenuItem::PlatformText() const {
  std::u16string text = caption_;
  if (items_.empty() && shortCut_ != scNone && !inMenuBar_) {
    const std::u16string keys = WideShortCutToText(shortCut_);
    if (!keys.empty()) text += u'\t' + keys;
  }
  return text;
}

void TUniMenuItem::UpdateItem() {
  // A caption changed on the QAction meanwhile is taken first, so nothing set there is lost.
  caption_ = Caption();
  const QString text = ToQ(PlatformText());
  qtCaption_ = text;
  if (action_->text() != text) action_->setText(text);
  // An item with sub-items opens them; only an item without any fires its shortcut, and
  // the shortcut text is ours (after the TAB), never Qt's own.
  action_->setShortcut(items_.empty() ? ShortCutToKeySequence(shortCut_) : QKeySequence());
}

void TUniMenuItem::Add(TUniMenuItem* item) { Insert(Count(), item); }

void TUniMenuItem::Insert(int index, TUniMenuItem* item) {
  if (!item || item == this) return;
  if (item->parent_) item->parent_->Remove(item);
  if (!menu_) {
    menu_ = std::make_unique<QMenu>();
    action_->setMenu(menu_.get());
    UniPopupList().Add(*menu_);
  }
  index = std::clamp(index, 0, Count());
  QAction* before = index < Count() ? &items_[static_cast<size_t>(index)]->Item() : nullptr;
  menu_->insertAction(before, &item->Item());
  items_.insert(items_.begin() + index, item);
  item->parent_ = this;
  item->setParent(this);
  item->SetInMenuBar(false);
  if (items_.size() == 1) UpdateItem();  // its shortcut text goes
}

void TUniMenuItem::Remove(TUniMenuItem* item) {
  const auto found = std::find(items_.begin(), items_.end(), item);
  if (found == items_.end()) return;
  items_.erase(found);
  menu_->removeAction(&item->Item());
  item->parent_ = nullptr;
  item->setParent(nullptr);
  if (items_.empty()) UpdateItem();
}

void TUniMenuItem::SetInMenuBar(bool value) {
  inMenuBar_ = value;
  UpdateItem();
}

void TUniMenuItem::SetAction(QAction* action, bool checkDefaults) {
  link_.SetAction(action);
  if (!action) return;
  if (IsWideAction(action)) {
    if (!checkDefaults || Caption().empty()) SetCaption(WideActionCaption(*action));
    if (!checkDefaults || Hint().empty()) SetHint(WideActionHint(*action));
    if (const auto* wide = qobject_cast<const TUniAction*>(action)) SetShortCut(wide->ShortCut());
  }
  action_->setEnabled(action->isEnabled());
}

// ---- TUniMainMenu ----

TUniMainMenu::TUniMainMenu(QObject* owner) : QObject(owner), bar_(new QMenuBar()) {}

TUniMainMenu::~TUniMainMenu() {
  // The bar may have been handed to a layout, which then owns it.
  if (bar_ && !bar_->parent()) delete bar_.data();
}

void TUniMainMenu::Add(TUniMenuItem* item) {
  if (!item) return;
  if (item->Parent()) item->Parent()->Remove(item);
  bar_->addAction(&item->Item());
  items_.push_back(item);
  item->setParent(this);
  item->SetInMenuBar(true);
}

// ---- TUniPopupList ----

void TUniPopupList::Add(QMenu& menu) {
  std::erase_if(menus_, [](const QPointer<QMenu>& m) { return m.isNull(); });
  for (const QPointer<QMenu>& m : menus_)
    if (m == &menu) return;
  menus_.emplace_back(&menu);
}

void TUniPopupList::Remove(QMenu& menu) {
  std::erase_if(menus_, [&](const QPointer<QMenu>& m) { return m.isNull() || m == &menu; });
}

bool TUniPopupList::MenuSelect(const QAction* item) const {
  for (const QPointer<QMenu>& menu : menus_) {
    if (!menu || !item || !menu->actions().contains(const_cast<QAction*>(item))) continue;
    const TUniMenuItem* wide = WideMenuItemOf(item);
    UniApplication().SetHint(WideLongHintPart(wide ? wide->Hint() : WideActionHint(*item)));
    return true;
  }
  // An item of a menu bar, or of no listed menu.
  const TUniMenuItem* wide = WideMenuItemOf(item);
  UniApplication().SetHint(wide && wide->InMenuBar() ? WideLongHintPart(wide->Hint()) : u"");
  return false;
}

TUniPopupList& UniPopupList() {
  static TUniPopupList list;
  return list;
}

TUniMenuItem* WideMenuItemOf(const QAction* item) {
  return item ? qobject_cast<TUniMenuItem*>(item->property(kItemProperty).value<QObject*>()) : nullptr;
}

}  // namespace widgets

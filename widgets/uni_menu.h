#pragma once
// Wide menu items over QAction. An item's platform text is its wide caption; an item in a
// drop-down that has a shortcut and no sub-items gets a TAB and the German shortcut text
// behind it, which QMenu shows right-aligned in place of Qt's own shortcut text. Items
// directly in a menu bar show no shortcut. Pointing at an item makes its long hint the
// application's hint.
#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QObject>
#include <QPointer>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "widgets/uni_action.h"
#include "widgets/wide_shortcut.h"

namespace widgets {

class TUniMenuItem;

// The item's side of an action: captions compared without hot-key markers and case.
class TUniMenuActionLink : public TUniActionLink {
 public:
  explicit TUniMenuActionLink(TUniMenuItem& item) : item_(item) {}
  bool IsCaptionLinked() const override;

 protected:
  std::u16string ClientCaption() const override;
  std::u16string ClientHint() const override;
  void SetClientCaption(std::u16string_view caption) override;
  void SetClientHint(std::u16string_view hint) override;

 private:
  TUniMenuItem& item_;
};

class TUniMenuItem : public QObject {
  Q_OBJECT

 public:
  explicit TUniMenuItem(QObject* owner = nullptr);
  ~TUniMenuItem() override;

  // The platform item: its text is PlatformText(); its menu holds the sub-items.
  QAction& Item() const { return *action_; }

  // A caption set on the QAction by Qt's own means wins.
  std::u16string Caption() const;
  void SetCaption(std::u16string_view caption);
  std::u16string Hint() const;
  void SetHint(std::u16string_view hint);
  TShortCut ShortCut() const { return shortCut_; }
  void SetShortCut(TShortCut shortCut);
  bool Enabled() const { return action_->isEnabled(); }
  void SetEnabled(bool enabled) { action_->setEnabled(enabled); }

  // Sub-items, kept in order; an added item belongs to this one.
  void Add(TUniMenuItem* item);
  void Insert(int index, TUniMenuItem* item);
  void Remove(TUniMenuItem* item);
  int Count() const { return static_cast<int>(items_.size()); }
  TUniMenuItem* Items(int index) const { return items_.at(static_cast<size_t>(index)); }
  TUniMenuItem* Parent() const { return parent_; }
  // Whether the item stands directly in a menu bar.
  bool InMenuBar() const { return inMenuBar_; }
  QMenu* SubMenu() const { return menu_.get(); }

  // The text the platform item shows.
  std::u16string PlatformText() const;

  // The item's hot key is the typed character (IsWideAccel).
  bool IsAccel(uint32_t key) const { return IsWideAccel(key, Caption()); }

  // Links the item to an action: a wide action gives its caption and hint (with
  // checkDefaults only to an item that has none), and its later changes follow while the
  // item still shows them; triggering the item executes the action.
  void SetAction(QAction* action, bool checkDefaults = false);
  QAction* Action() const { return link_.Action(); }
  // Stored only while not taken from the action.
  bool IsCaptionStored() const { return !(link_.Action() && link_.IsCaptionLinked()); }
  bool IsHintStored() const { return !(link_.Action() && link_.IsHintLinked()); }

 signals:
  void Click();

 private:
  friend class TUniMainMenu;
  void SetInMenuBar(bool value);
  void UpdateItem();

  QPointer<QAction> action_;
  std::unique_ptr<QMenu> menu_;
  std::u16string caption_;
  QString qtCaption_;  // the caption as last put on the platform item
  std::u16string hint_;
  TShortCut shortCut_ = scNone;
  TUniMenuItem* parent_ = nullptr;
  std::vector<TUniMenuItem*> items_;
  bool inMenuBar_ = false;
  TUniMenuActionLink link_{*this};
};

// A menu bar of wide items.
class TUniMainMenu : public QObject {
  Q_OBJECT

 public:
  explicit TUniMainMenu(QObject* owner = nullptr);
  ~TUniMainMenu() override;

  // The bar, for a form's layout (QLayout::setMenuBar); it belongs to the menu until taken.
  QMenuBar& Bar() const { return *bar_; }
  void Add(TUniMenuItem* item);
  int Count() const { return static_cast<int>(items_.size()); }
  TUniMenuItem* Items(int index) const { return items_.at(static_cast<size_t>(index)); }

 private:
  QPointer<QMenuBar> bar_;
  std::vector<TUniMenuItem*> items_;
};

// The menus whose items set the application's hint when pointed at, searched in order.
class TUniPopupList {
 public:
  void Add(QMenu& menu);
  void Remove(QMenu& menu);
  // The first listed menu holding the item gives its long hint; none: an empty hint.
  // True when a listed menu held it.
  bool MenuSelect(const QAction* item) const;

 private:
  std::vector<QPointer<QMenu>> menus_;
};

// The process's popup list.
TUniPopupList& UniPopupList();

// The wide menu item of a platform item, if it is one.
TUniMenuItem* WideMenuItemOf(const QAction* item);

}  // namespace widgets

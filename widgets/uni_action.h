#pragma once
// Wide actions and their links. A wide action (TUniAction, TUniHintAction) keeps its wide
// caption and hint in a helper component it owns; QAction's own text, tooltip and status
// tip carry the same texts for Qt's users, and a change made through them wins. A link
// ties an action to one client (a control or a menu item) and passes the action's
// changes on only while the client still shows what the action showed before: a client
// whose text was changed by hand keeps it.
#include <QAction>
#include <QPointer>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "widgets/wide_shortcut.h"

class QWidget;

namespace widgets {

class TUniActionLink;

// The wide texts of a wide action, owned by it. While a new caption (hint) is passed to
// the links, the action still answers the previous one, so each link can tell whether its
// client showed the action's text.
class TCustomActionHelper : public QObject {
  Q_OBJECT

 public:
  // The action's helper: found among its children or created.
  static TCustomActionHelper& Of(QAction& action);
  static const TCustomActionHelper* Find(const QAction& action);

  std::u16string Caption() const;
  void SetCaption(std::u16string_view caption);
  std::u16string Hint() const;
  void SetHint(std::u16string_view hint);

 private:
  explicit TCustomActionHelper(QAction& action);

  QAction& action_;
  std::u16string caption_, previousCaption_;
  QString qtCaption_;  // what QAction's text was set to with caption_
  bool settingCaption_ = false;
  std::u16string hint_, previousHint_;
  QString qtHint_;
  bool settingHint_ = false;
};

class TUniAction : public QAction {
  Q_OBJECT

 public:
  explicit TUniAction(QObject* parent = nullptr);
  ~TUniAction() override;

  std::u16string Caption() const;
  void SetCaption(std::u16string_view caption);
  // Whole hint; the tooltip shows its short part, the status tip its long part.
  std::u16string Hint() const;
  void SetHint(std::u16string_view hint);
  TShortCut ShortCut() const { return shortCut_; }
  void SetShortCut(TShortCut shortCut);

  // Runs OnExecute (as a trigger does); false when nobody handles it.
  bool Execute();
  void Update() { emit OnUpdate(); }

  // Takes over the source action's state and its wide caption and hint.
  void Assign(const QAction& source);
  // Takes the control's wide text and hint.
  void AssignFromControl(const QWidget& source);

  const std::vector<TUniActionLink*>& Links() const { return links_; }

 signals:
  void OnExecute();
  void OnUpdate();

 private:
  friend class TUniActionLink;
  friend class TCustomActionHelper;
  void AddLink(TUniActionLink* link);
  void RemoveLink(TUniActionLink* link);

  TShortCut shortCut_ = scNone;
  std::vector<TUniActionLink*> links_;
};

// The action that carries a hint to the status display.
class TUniHintAction : public TUniAction {
  Q_OBJECT

 public:
  explicit TUniHintAction(QObject* parent = nullptr) : TUniAction(parent) {}
};

bool IsWideAction(const QAction* action);
// A wide action answers through its helper; any other action answers its Qt text
// (caption) or status tip (hint).
std::u16string WideActionCaption(const QAction& action);
std::u16string WideActionHint(const QAction& action);
void SetWideActionCaption(QAction& action, std::u16string_view caption);
void SetWideActionHint(QAction& action, std::u16string_view hint);

// The client's side of an action.
class TUniActionLink {
 public:
  TUniActionLink() = default;
  virtual ~TUniActionLink();
  TUniActionLink(const TUniActionLink&) = delete;
  TUniActionLink& operator=(const TUniActionLink&) = delete;

  QAction* Action() const { return action_; }
  virtual void SetAction(QAction* action);

  // Whether the client still shows the action's caption (hint).
  virtual bool IsCaptionLinked() const;
  virtual bool IsHintLinked() const;
  // The action's new texts; a linked client takes them.
  void SetCaption(std::u16string_view caption);
  void SetHint(std::u16string_view hint);

 protected:
  virtual std::u16string ClientCaption() const = 0;
  virtual std::u16string ClientHint() const = 0;
  virtual void SetClientCaption(std::u16string_view caption) = 0;
  virtual void SetClientHint(std::u16string_view hint) = 0;

 private:
  QPointer<QAction> action_;
};

// Links of controls: the control's wide text and hint, compared exactly.
class TUniControlActionLink : public TUniActionLink {
 public:
  explicit TUniControlActionLink(QWidget& client) : client_(&client) {}
  ~TUniControlActionLink() override;
  void SetAction(QAction* action) override;
  QWidget* Client() const { return client_; }

 protected:
  std::u16string ClientCaption() const override;
  std::u16string ClientHint() const override;
  void SetClientCaption(std::u16string_view caption) override;
  void SetClientHint(std::u16string_view hint) override;

 private:
  QPointer<QWidget> client_;
};
class TUniWinControlActionLink : public TUniControlActionLink {
  using TUniControlActionLink::TUniControlActionLink;
};
class TUniButtonActionLink : public TUniWinControlActionLink {
  using TUniWinControlActionLink::TUniWinControlActionLink;
};
class TUniToolButtonActionLink : public TUniControlActionLink {
  using TUniControlActionLink::TUniControlActionLink;
};

// Which link a control gets: a tool button, a button, another widget with a window of its
// own, or a control drawn on its parent (a label).
enum class TActionLinkKind { ToolButton, Button, WinControl, Control };
TActionLinkKind WideActionLinkClass(const QWidget& control);
std::unique_ptr<TUniControlActionLink> MakeWideActionLink(QWidget& control);

// The action a control is linked to (its link's, or a tool button's default action).
QAction* WideControlAction(const QWidget& control);
// A wide action's texts for the control: without checkDefaults always; with it, the
// caption only when the control's text is empty or its object name, the hint only when
// the control has none.
void WideControlActionChange(QWidget& control, const QAction& action, bool checkDefaults);

}  // namespace widgets

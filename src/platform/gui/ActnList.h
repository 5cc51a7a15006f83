#pragma once
// Actions: one command with its caption, state and handler, shared by the
// controls and menu items linked to it. A change of an action reaches every
// client through its action link; executing a client runs the action.
//
// Actions are updated on idle time (UpdateActionLists, called by the
// application's loop): each action's OnUpdate (or its list's) may enable,
// disable, check or hide it, and the linked clients follow.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/gui/Controls.h"

namespace px {

// A key with modifiers in one word: the virtual key in the low byte.
using TShortCut = Word;
constexpr TShortCut scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000, scNone = 0;
TShortCut ShortCut(Word key, TShiftState shift);
void ShortCutToKey(TShortCut shortCut, Word& key, TShiftState& shift);
// "Ctrl+Shift+S", "F5", "Del"; empty for scNone.
std::string ShortCutToText(TShortCut shortCut);
// The reverse of ShortCutToText (case-insensitive); scNone for unknown text.
TShortCut TextToShortCut(const std::string& text);

class TBasicActionLink;
class TCustomActionList;
class TCustomImageList;

class TBasicAction : public TComponent {
 public:
  explicit TBasicAction(TComponent* owner);
  ~TBasicAction() override;
  // Runs the handler; true when something handled the action.
  virtual bool Execute();
  // Runs the update handler; true when something handled the update.
  virtual bool Update();
  TNotifyEvent OnExecute;
  TNotifyEvent OnUpdate;
  // The client that executes the action at the moment (for handlers).
  TComponent* ActionComponent = nullptr;
  Integer ClientCount() const { return static_cast<Integer>(clients_.size()); }

 protected:
  friend class TBasicActionLink;
  // Tells every client's link that the action changed.
  void Change();
  std::vector<TBasicActionLink*> clients_;

 private:
  // Expires when the action is freed; a handler may free its own action.
  std::shared_ptr<char> life_ = std::make_shared<char>();
};

// Connects a client (control, menu item, framework button) to an action.
class TBasicActionLink : public TObject {
 public:
  explicit TBasicActionLink(TObject* client) : client_(client) {}
  ~TBasicActionLink() override;
  TBasicActionLink(const TBasicActionLink&) = delete;
  TBasicActionLink& operator=(const TBasicActionLink&) = delete;
  TObject* Client() const { return client_; }
  TBasicAction* Action() const { return action_; }
  // Connects to another action (nullptr: none); the client hears Change.
  void SetAction(TBasicAction* action);
  virtual bool Execute(TComponent* component = nullptr);
  virtual bool Update();
  // Called after any change of the action and when the action goes away.
  TNotifyEvent OnChange;

 protected:
  friend class TBasicAction;
  virtual void Change();
  TObject* client_;
  TBasicAction* action_ = nullptr;
};

// A link that is told of each property change of a TCustomAction before the
// general Change.
class TActionLink : public TBasicActionLink {
 public:
  using TBasicActionLink::TBasicActionLink;
  virtual void SetCaption(const std::string& value) { (void)value; }
  virtual void SetChecked(bool value) { (void)value; }
  virtual void SetEnabled(bool value) { (void)value; }
  virtual void SetHint(const std::string& value) { (void)value; }
  virtual void SetImageIndex(Integer value) { (void)value; }
  virtual void SetShortCut(TShortCut value) { (void)value; }
  virtual void SetVisible(bool value) { (void)value; }
};

// An action that can sit in an action list.
class TContainedAction : public TBasicAction {
 public:
  explicit TContainedAction(TComponent* owner) : TBasicAction(owner) {}
  ~TContainedAction() override;
  TCustomActionList* ActionList() const { return actionList_; }
  void SetActionList(TCustomActionList* list);
  // Position in the list, -1 without one.
  Integer Index() const;
  std::string Category;
  // The list's OnExecute first, then the action's own handler.
  bool Execute() override;
  bool Update() override;

 private:
  friend class TCustomActionList;
  TCustomActionList* actionList_ = nullptr;
};

using THintEvent = std::function<void(std::string& hint, bool& canShow)>;

class TCustomAction : public TContainedAction {
 public:
  explicit TCustomAction(TComponent* owner) : TContainedAction(owner) {}

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& value);
  bool Checked() const { return checked_; }
  // Checking an action of a group (GroupIndex > 0) unchecks the others of
  // the same list and group.
  void SetChecked(bool value);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool value);
  bool Visible() const { return visible_; }
  void SetVisible(bool value);
  const std::string& Hint() const { return hint_; }
  void SetHint(const std::string& value);
  Integer ImageIndex() const { return imageIndex_; }
  void SetImageIndex(Integer value);
  TShortCut ShortCut() const { return shortCut_; }
  void SetShortCut(TShortCut value);
  Integer GroupIndex = 0;
  // Executing toggles Checked.
  bool AutoCheck = false;
  // The hint to show; OnHint may change it or refuse (false).
  bool DoHint(std::string& hint);
  THintEvent OnHint;
  // Updates, then runs the handlers when enabled (false when disabled).
  bool Execute() override;

 private:
  std::string caption_;
  std::string hint_;
  bool checked_ = false;
  bool enabled_ = true;
  bool visible_ = true;
  Integer imageIndex_ = -1;
  TShortCut shortCut_ = scNone;
};

class TAction : public TCustomAction {
 public:
  explicit TAction(TComponent* owner) : TCustomAction(owner) {}
};

using TActionEvent = std::function<void(TBasicAction* action, bool& handled)>;

// A list of actions. Freeing the list frees its actions.
class TCustomActionList : public TComponent {
 public:
  explicit TCustomActionList(TComponent* owner);
  ~TCustomActionList() override;
  Integer ActionCount() const { return static_cast<Integer>(actions_.size()); }
  // Raises EListError for an index out of range.
  TContainedAction* Actions(Integer index) const;
  TCustomImageList* Images() const { return images_; }
  void SetImages(TCustomImageList* images);
  // Runs OnExecute/OnUpdate of the list; true when the handler handled it.
  virtual bool ExecuteAction(TBasicAction* action);
  virtual bool UpdateAction(TBasicAction* action);
  // Executes the enabled action with this shortcut; false when none.
  bool IsShortCut(TShortCut shortCut);
  // Runs Update on every action.
  void UpdateActions();
  TActionEvent OnExecute;
  TActionEvent OnUpdate;
  TNotifyEvent OnChange;
  void Notification(TComponent* component, TOperation operation) override;

 private:
  friend class TContainedAction;
  std::vector<TContainedAction*> actions_;
  TCustomImageList* images_ = nullptr;
};

class TActionList : public TCustomActionList {
 public:
  explicit TActionList(TComponent* owner) : TCustomActionList(owner) {}
};

// Updates every action of every action list; the application calls it when
// its loop becomes idle.
void UpdateActionLists();

// The link of a control: the control takes caption, hint, enabled and
// visible state (and the checked state, for buttons that have one) from the
// action on every change.
class TControlActionLink : public TActionLink {
 public:
  explicit TControlActionLink(TControl* control) : TActionLink(control), control_(control) {}

 protected:
  void Change() override;

 private:
  TControl* control_;
};

}  // namespace px

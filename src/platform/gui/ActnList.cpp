#include "platform/gui/ActnList.h"

#include <algorithm>
#include <cctype>

#include "platform/gui/ImgList.h"

namespace px {

// ---------------------------------------------------------------------------
// Shortcuts

TShortCut ShortCut(Word key, TShiftState shift) {
  if ((key & 0xFF00) != 0) return scNone;
  TShortCut s = key;
  if (shift.Contains(ssShift)) s |= scShift;
  if (shift.Contains(ssCtrl)) s |= scCtrl;
  if (shift.Contains(ssAlt)) s |= scAlt;
  return s;
}

void ShortCutToKey(TShortCut shortCut, Word& key, TShiftState& shift) {
  key = shortCut & 0xFF;
  shift = {};
  if (shortCut & scShift) shift.Include(ssShift);
  if (shortCut & scCtrl) shift.Include(ssCtrl);
  if (shortCut & scAlt) shift.Include(ssAlt);
}

namespace {

struct KeyName {
  Word key;
  const char* name;
};
const KeyName keyNames[] = {
    {VK_BACK, "BkSp"},  {VK_TAB, "Tab"},     {VK_RETURN, "Enter"}, {VK_ESCAPE, "Esc"},   {VK_SPACE, "Space"},
    {VK_PRIOR, "PgUp"}, {VK_NEXT, "PgDn"},   {VK_END, "End"},      {VK_HOME, "Home"},    {VK_LEFT, "Left"},
    {VK_UP, "Up"},      {VK_RIGHT, "Right"}, {VK_DOWN, "Down"},    {VK_INSERT, "Ins"},   {VK_DELETE, "Del"},
};

std::string keyText(Word key) {
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return std::string(1, static_cast<char>(key));
  if (key >= VK_F1 && key <= VK_F1 + 23) return "F" + std::to_string(key - VK_F1 + 1);
  for (const auto& k : keyNames)
    if (k.key == key) return k.name;
  return {};
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

}  // namespace

std::string ShortCutToText(TShortCut shortCut) {
  std::string name = keyText(shortCut & 0xFF);
  if (name.empty()) return {};
  std::string s;
  if (shortCut & scShift) s += "Shift+";
  if (shortCut & scCtrl) s += "Ctrl+";
  if (shortCut & scAlt) s += "Alt+";
  return s + name;
}

TShortCut TextToShortCut(const std::string& text) {
  std::string t = upper(text);
  TShortCut mods = 0;
  for (;;) {
    if (t.rfind("SHIFT+", 0) == 0) mods |= scShift, t.erase(0, 6);
    else if (t.rfind("CTRL+", 0) == 0) mods |= scCtrl, t.erase(0, 5);
    else if (t.rfind("ALT+", 0) == 0) mods |= scAlt, t.erase(0, 4);
    else break;
  }
  for (Word k = 1; k < 0x100; ++k) {
    std::string n = keyText(k);
    if (!n.empty() && upper(n) == t) return static_cast<TShortCut>(k | mods);
  }
  return scNone;
}

// ---------------------------------------------------------------------------
// TBasicAction and its links

TBasicAction::TBasicAction(TComponent* owner) : TComponent(owner) {}

TBasicAction::~TBasicAction() {
  // Clients lose the action; each link takes itself out of the list.
  while (!clients_.empty()) clients_.back()->SetAction(nullptr);
}

bool TBasicAction::Execute() {
  if (!OnExecute) return false;
  OnExecute(this);
  return true;
}

bool TBasicAction::Update() {
  if (!OnUpdate) return false;
  OnUpdate(this);
  return true;
}

void TBasicAction::Change() {
  // A client may drop its link while hearing of the change.
  std::vector<TBasicActionLink*> copy = clients_;
  for (TBasicActionLink* l : copy)
    if (std::find(clients_.begin(), clients_.end(), l) != clients_.end()) l->Change();
}

TBasicActionLink::~TBasicActionLink() {
  if (action_) {
    auto& v = action_->clients_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
}

void TBasicActionLink::SetAction(TBasicAction* action) {
  if (action == action_) return;
  if (action_) {
    auto& v = action_->clients_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
  }
  action_ = action;
  if (action_) action_->clients_.push_back(this);
  Change();
}

bool TBasicActionLink::Execute(TComponent* component) {
  if (!action_) return false;
  TBasicAction* a = action_;
  // The handler may free the client (and with it this link) or the action
  // itself (a screen that closes itself frees its action list): touch
  // neither afterwards, and the action only while it lives.
  std::weak_ptr<char> alive = a->life_;
  a->ActionComponent = component;
  bool r = false;
  try {
    r = a->Execute();
  } catch (...) {
    if (!alive.expired()) a->ActionComponent = nullptr;
    throw;
  }
  if (!alive.expired()) a->ActionComponent = nullptr;
  return r;
}

bool TBasicActionLink::Update() { return action_ && action_->Update(); }

void TBasicActionLink::Change() {
  if (OnChange) OnChange(action_);
}

void TControlActionLink::Change() {
  control_->ActionChange(action_);
  TActionLink::Change();
}

// ---------------------------------------------------------------------------
// Contained and custom actions

namespace {
std::vector<TCustomActionList*>& allLists() {
  static std::vector<TCustomActionList*> lists;
  return lists;
}
}  // namespace

TContainedAction::~TContainedAction() { SetActionList(nullptr); }

void TContainedAction::SetActionList(TCustomActionList* list) {
  if (list == actionList_) return;
  if (actionList_) {
    auto& v = actionList_->actions_;
    v.erase(std::remove(v.begin(), v.end(), this), v.end());
    if (actionList_->OnChange) actionList_->OnChange(actionList_);
  }
  actionList_ = list;
  if (list) {
    list->actions_.push_back(this);
    if (list->OnChange) list->OnChange(list);
  }
}

Integer TContainedAction::Index() const {
  if (!actionList_) return -1;
  auto& v = actionList_->actions_;
  return static_cast<Integer>(std::find(v.begin(), v.end(), this) - v.begin());
}

bool TContainedAction::Execute() {
  if (actionList_ && actionList_->ExecuteAction(this)) return true;
  return TBasicAction::Execute();
}

bool TContainedAction::Update() {
  if (actionList_ && actionList_->UpdateAction(this)) return true;
  return TBasicAction::Update();
}

template <typename T, typename F>
static void tellLinks(const std::vector<TBasicActionLink*>& clients, F f) {
  std::vector<TBasicActionLink*> copy = clients;
  for (TBasicActionLink* l : copy)
    if (auto* al = dynamic_cast<T*>(l)) f(al);
}

void TCustomAction::SetCaption(const std::string& value) {
  if (value == caption_) return;
  caption_ = value;
  tellLinks<TActionLink>(clients_, [&](TActionLink* l) { l->SetCaption(value); });
  Change();
}

void TCustomAction::SetChecked(bool value) {
  if (value == checked_) return;
  checked_ = value;
  tellLinks<TActionLink>(clients_, [&](TActionLink* l) { l->SetChecked(value); });
  Change();
  if (value && GroupIndex > 0 && ActionList()) {
    for (Integer i = 0; i < ActionList()->ActionCount(); ++i) {
      auto* other = dynamic_cast<TCustomAction*>(ActionList()->Actions(i));
      if (other && other != this && other->GroupIndex == GroupIndex) other->SetChecked(false);
    }
  }
}

void TCustomAction::SetEnabled(bool value) {
  if (value == enabled_) return;
  enabled_ = value;
  tellLinks<TActionLink>(clients_, [&](TActionLink* l) { l->SetEnabled(value); });
  Change();
}

void TCustomAction::SetVisible(bool value) {
  if (value == visible_) return;
  visible_ = value;
  tellLinks<TActionLink>(clients_, [&](TActionLink* l) { l->SetVisible(value); });
  Change();
}

void TCustomAction::SetHint(const std::string& value) {
  if (value == hint_) return;
  hint_ = value;
  tellLinks<TActionLink>(clients_, [&](TActionLink* l) { l->SetHint(value); });
  Change();
}

void TCustomAction::SetImageIndex(Integer value) {
  if (value == imageIndex_) return;
  imageIndex_ = value;
  tellLinks<TActionLink>(clients_, [&](TActionLink* l) { l->SetImageIndex(value); });
  Change();
}

void TCustomAction::SetShortCut(TShortCut value) {
  if (value == shortCut_) return;
  shortCut_ = value;
  tellLinks<TActionLink>(clients_, [&](TActionLink* l) { l->SetShortCut(value); });
  Change();
}

bool TCustomAction::DoHint(std::string& hint) {
  bool canShow = true;
  if (OnHint) OnHint(hint, canShow);
  return canShow;
}

bool TCustomAction::Execute() {
  Update();
  if (!enabled_) return false;
  if (AutoCheck) SetChecked(!checked_);
  return TContainedAction::Execute();
}

// ---------------------------------------------------------------------------
// Action lists

TCustomActionList::TCustomActionList(TComponent* owner) : TComponent(owner) { allLists().push_back(this); }

TCustomActionList::~TCustomActionList() {
  auto& v = allLists();
  v.erase(std::remove(v.begin(), v.end(), this), v.end());
  OnChange = nullptr;
  while (!actions_.empty()) {
    TContainedAction* a = actions_.back();
    a->SetActionList(nullptr);
    FreeObject(a);
  }
}

TContainedAction* TCustomActionList::Actions(Integer index) const {
  if (index < 0 || index >= ActionCount()) throw EListError("List index out of bounds (" + std::to_string(index) + ")");
  return actions_[static_cast<size_t>(index)];
}

void TCustomActionList::SetImages(TCustomImageList* images) {
  if (images_ == images) return;
  if (images_) images_->RemoveFreeNotification(this);
  images_ = images;
  if (images_) images_->FreeNotification(this);
}

void TCustomActionList::Notification(TComponent* component, TOperation operation) {
  TComponent::Notification(component, operation);
  if (operation == opRemove && component == images_) images_ = nullptr;
}

bool TCustomActionList::ExecuteAction(TBasicAction* action) {
  bool handled = false;
  if (OnExecute) OnExecute(action, handled);
  return handled;
}

bool TCustomActionList::UpdateAction(TBasicAction* action) {
  bool handled = false;
  if (OnUpdate) OnUpdate(action, handled);
  return handled;
}

bool TCustomActionList::IsShortCut(TShortCut shortCut) {
  if (shortCut == scNone) return false;
  for (TContainedAction* a : std::vector<TContainedAction*>(actions_)) {
    auto* ca = dynamic_cast<TCustomAction*>(a);
    if (!ca || ca->ShortCut() != shortCut) continue;
    ca->Update();
    if (!ca->Enabled() || !ca->Visible()) return false;
    ca->Execute();
    return true;
  }
  return false;
}

void TCustomActionList::UpdateActions() {
  for (size_t i = 0; i < actions_.size(); ++i) actions_[i]->Update();
}

void UpdateActionLists() {
  // A handler may create or free lists: walk a copy, skip the freed.
  std::vector<TCustomActionList*> copy = allLists();
  for (TCustomActionList* l : copy)
    if (std::find(allLists().begin(), allLists().end(), l) != allLists().end()) l->UpdateActions();
}

}  // namespace px

// Input of the OpenXR simulated headset: the timeline driving the devices, action sets, actions,
// suggested bindings and the interaction profiles the simulated controllers present.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/log.h"
#include "sim_headset/sim_devices.h"
#include "xr_runtime/openxr_sim_internal.h"

namespace vr::xrsim {
namespace {

struct Profile {
  const char* path;
  const char* localizedName;
  std::vector<std::string_view> components;  // under /user/hand/left|right/
};

// The profiles the simulated controllers can present, in the order they are preferred: the
// controllers are trackpad wands, closest to the Vive's.
const std::vector<Profile>& PresentedProfiles() {
  static const std::vector<Profile> profiles = {
      {"/interaction_profiles/htc/vive_controller", "Vive Controller",
       {"input/system/click", "input/squeeze/click", "input/menu/click", "input/trigger/click",
        "input/trigger/value", "input/trackpad", "input/trackpad/x", "input/trackpad/y",
        "input/trackpad/click", "input/trackpad/touch", "input/grip/pose", "input/aim/pose",
        "output/haptic"}},
      {"/interaction_profiles/valve/index_controller", "Index Controller",
       {"input/system/click", "input/system/touch", "input/a/click", "input/a/touch",
        "input/b/click", "input/b/touch", "input/squeeze/value", "input/squeeze/force",
        "input/trigger/click", "input/trigger/value", "input/trigger/touch", "input/thumbstick",
        "input/thumbstick/x", "input/thumbstick/y", "input/thumbstick/click",
        "input/thumbstick/touch", "input/trackpad", "input/trackpad/x", "input/trackpad/y",
        "input/trackpad/force", "input/trackpad/touch", "input/grip/pose", "input/aim/pose",
        "output/haptic"}},
      {"/interaction_profiles/khr/simple_controller", "Simple Controller",
       {"input/select/click", "input/menu/click", "input/grip/pose", "input/aim/pose",
        "output/haptic"}},
  };
  return profiles;
}

// Other OpenXR 1.0 interaction profiles that applications suggest for hardware this headset does
// not present: their suggestions are accepted and never used.
constexpr const char* kOtherProfiles[] = {
    "/interaction_profiles/google/daydream_controller", "/interaction_profiles/htc/vive_pro",
    "/interaction_profiles/microsoft/motion_controller",
    "/interaction_profiles/microsoft/xbox_controller", "/interaction_profiles/oculus/go_controller",
    "/interaction_profiles/oculus/touch_controller"};

constexpr std::string_view kHandPrefix[2] = {"/user/hand/left", "/user/hand/right"};

const Profile* FindProfile(std::string_view path) {
  for (const Profile& p : PresentedProfiles()) {
    if (path == p.path) return &p;
  }
  return nullptr;
}

bool KnownProfile(std::string_view path) {
  return FindProfile(path) != nullptr ||
         std::find(std::begin(kOtherProfiles), std::end(kOtherProfiles), path) !=
             std::end(kOtherProfiles);
}

// The hand (0, 1) a binding path is under and the component after it; -1 otherwise.
int SplitHand(std::string_view path, std::string_view* component) {
  for (int hand = 0; hand < 2; ++hand) {
    const std::string_view prefix = kHandPrefix[hand];
    if (path.size() > prefix.size() + 1 && path.substr(0, prefix.size()) == prefix &&
        path[prefix.size()] == '/') {
      *component = path.substr(prefix.size() + 1);
      return hand;
    }
  }
  return -1;
}

// A component of the profile, or an identifier that some component of it starts with.
bool ProfileHas(const Profile& profile, std::string_view component) {
  for (std::string_view c : profile.components) {
    if (c == component ||
        (c.size() > component.size() && c.substr(0, component.size()) == component &&
         c[component.size()] == '/')) {
      return true;
    }
  }
  return false;
}

// ----------------------------------------------------------------- source values

struct Source {
  enum Type { kBool, kFloat, kVector, kPose, kHaptic } type = kFloat;
  bool b = false;
  float f = 0.0f;
  XrVector2f v{0.0f, 0.0f};
};

bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

Source BoolSource(bool b) { return {Source::kBool, b, b ? 1.0f : 0.0f, {}}; }
Source FloatSource(float f) { return {Source::kFloat, f >= kClickThreshold, f, {}}; }

// What the simulated controller of one hand reports on a component.
Source Evaluate(const Rig& rig, int hand, std::string_view c) {
  const float trigger = rig.trigger[hand];
  const uint64_t pressed = rig.pressed[hand];
  const auto down = [&](EVRButtonId b) { return (pressed & ButtonMaskFromId(b)) != 0; };
  const bool padClick = down(k_EButton_Axis0) || down(k_EButton_DPad_Left) ||
                        down(k_EButton_DPad_Up) || down(k_EButton_DPad_Right) ||
                        down(k_EButton_DPad_Down);
  const auto is = [&](std::string_view id) {
    return c == id || (c.size() > id.size() && c.substr(0, id.size()) == id && c[id.size()] == '/');
  };
  if (is("input/grip") || is("input/aim")) return {Source::kPose};
  if (c == "output/haptic") return {Source::kHaptic};
  if (is("input/trigger")) {
    if (EndsWith(c, "/click")) return BoolSource(trigger >= kClickThreshold);
    if (EndsWith(c, "/touch")) return BoolSource(trigger > 0.0f);
    return FloatSource(trigger);
  }
  if (is("input/select")) return BoolSource(trigger >= kClickThreshold);
  if (is("input/squeeze")) {
    return EndsWith(c, "/click") ? BoolSource(down(k_EButton_Grip))
                                 : FloatSource(down(k_EButton_Grip) ? 1.0f : 0.0f);
  }
  if (is("input/menu") || is("input/b")) return BoolSource(down(k_EButton_ApplicationMenu));
  if (is("input/system")) return BoolSource(down(k_EButton_System));
  if (is("input/trackpad")) {
    const VRControllerAxis_t pad = sim::TrackpadFromButtons(pressed);
    if (EndsWith(c, "/x")) return FloatSource(pad.x);
    if (EndsWith(c, "/y")) return FloatSource(pad.y);
    if (EndsWith(c, "/click") || EndsWith(c, "/touch")) return BoolSource(padClick);
    if (EndsWith(c, "/force")) return FloatSource(padClick ? 1.0f : 0.0f);
    return {Source::kVector, false, 0.0f, {pad.x, pad.y}};
  }
  // Controls the simulated controller does not have (the Index's A button and thumbstick).
  if (EndsWith(c, "/click") || EndsWith(c, "/touch") || is("input/a")) return BoolSource(false);
  if (EndsWith(c, "/x") || EndsWith(c, "/y") || EndsWith(c, "/value") || EndsWith(c, "/force")) {
    return FloatSource(0.0f);
  }
  return {Source::kVector};
}

// Folds a source into an action's state; false when the source cannot feed that type.
bool Accumulate(XrActionType type, const Source& s, ActionState* state) {
  switch (type) {
    case XR_ACTION_TYPE_BOOLEAN_INPUT:
      if (s.type != Source::kBool && s.type != Source::kFloat) return false;
      state->boolValue = state->boolValue || s.b;
      return true;
    case XR_ACTION_TYPE_FLOAT_INPUT:
      if (s.type != Source::kBool && s.type != Source::kFloat) return false;
      if (std::fabs(s.f) > std::fabs(state->floatValue)) state->floatValue = s.f;
      return true;
    case XR_ACTION_TYPE_VECTOR2F_INPUT:
      if (s.type != Source::kVector) return false;
      if (std::hypot(s.v.x, s.v.y) > std::hypot(state->vectorValue.x, state->vectorValue.y)) {
        state->vectorValue = s.v;
      }
      return true;
    case XR_ACTION_TYPE_POSE_INPUT: return s.type == Source::kPose;
    case XR_ACTION_TYPE_VIBRATION_OUTPUT: return s.type == Source::kHaptic;
    default: return false;
  }
}

bool ActionAllowsHand(const Instance* instance, const Action* action, int hand) {
  if (action->subactionPaths.empty()) return true;
  for (XrPath p : action->subactionPaths) {
    const std::string* text = PathText(instance, p);
    if (text != nullptr && *text == kHandPrefix[hand]) return true;
  }
  return false;
}

// The action's bindings in the hand's current profile, as (binding path, component).
template <typename F>
void ForEachBinding(const Session* session, const Action* action, int hand, F&& f) {
  const Instance* instance = session->instance;
  if (session->profile[hand] == XR_NULL_PATH || !ActionAllowsHand(instance, action, hand)) return;
  const auto it = instance->suggested.find(session->profile[hand]);
  if (it == instance->suggested.end()) return;
  for (const Binding& binding : it->second) {
    std::string_view component;
    const std::string* text = PathText(instance, binding.path);
    if (binding.action == action->handle && text != nullptr &&
        SplitHand(*text, &component) == hand) {
      f(binding.path, component);
    }
  }
}

bool Attached(const Session* session, const Action* action) {
  return action != nullptr && action->set->attached &&
         std::find(session->attachedSets.begin(), session->attachedSets.end(),
                   action->set->handle) != session->attachedSets.end();
}

// Index into Session::actionStates for a subaction path: 0 left, 1 right, 2 either; -1 when the
// action does not have it.
int StateSlot(const Instance* instance, const Action* action, XrPath subaction) {
  if (subaction == XR_NULL_PATH) return 2;
  if (std::find(action->subactionPaths.begin(), action->subactionPaths.end(), subaction) ==
      action->subactionPaths.end()) {
    return -1;
  }
  const std::string* text = PathText(instance, subaction);
  if (text != nullptr && *text == kHandPrefix[0]) return 0;
  if (text != nullptr && *text == kHandPrefix[1]) return 1;
  return 3;  // a user path the simulated devices do not have (head, gamepad): never active
}

bool ValidName(const char* name, size_t capacity) {
  const size_t n = strnlen(name, capacity);
  if (n == 0 || n == capacity) return false;
  for (size_t i = 0; i < n; ++i) {
    const char c = name[i];
    if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.')) {
      return false;
    }
  }
  return true;
}

bool ValidLocalizedName(const char* name, size_t capacity) {
  const size_t n = strnlen(name, capacity);
  return n > 0 && n < capacity;
}

// -------------------------------------------------------------- action sets

XrResult XRAPI_CALL CreateActionSet(XrInstance handle, const XrActionSetCreateInfo* info,
                                    XrActionSet* out) {
  std::lock_guard<std::mutex> lock(Lock());
  Instance* instance = Get<Instance>(handle, Kind::Instance);
  if (instance == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || out == nullptr || info->type != XR_TYPE_ACTION_SET_CREATE_INFO) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (!ValidName(info->actionSetName, XR_MAX_ACTION_SET_NAME_SIZE)) return XR_ERROR_NAME_INVALID;
  if (!ValidLocalizedName(info->localizedActionSetName, XR_MAX_LOCALIZED_ACTION_SET_NAME_SIZE)) {
    return XR_ERROR_LOCALIZED_NAME_INVALID;
  }
  for (uint64_t s : instance->actionSets) {
    const auto* other = static_cast<const ActionSet*>(Find(s, Kind::ActionSet));
    if (other == nullptr) continue;
    if (other->name == info->actionSetName) return XR_ERROR_NAME_DUPLICATED;
    if (other->localizedName == info->localizedActionSetName) {
      return XR_ERROR_LOCALIZED_NAME_DUPLICATED;
    }
  }
  auto set = std::make_unique<ActionSet>();
  set->instance = instance;
  set->name = info->actionSetName;
  set->localizedName = info->localizedActionSetName;
  set->priority = info->priority;
  const uint64_t id = Register(std::move(set));
  instance->actionSets.push_back(id);
  *out = ToHandle<XrActionSet>(id);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL DestroyActionSet(XrActionSet handle) {
  std::lock_guard<std::mutex> lock(Lock());
  ActionSet* set = Get<ActionSet>(handle, Kind::ActionSet);
  if (set == nullptr) return XR_ERROR_HANDLE_INVALID;
  DestroyActionSetObject(set);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL CreateAction(XrActionSet handle, const XrActionCreateInfo* info,
                                 XrAction* out) {
  std::lock_guard<std::mutex> lock(Lock());
  ActionSet* set = Get<ActionSet>(handle, Kind::ActionSet);
  if (set == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || out == nullptr || info->type != XR_TYPE_ACTION_CREATE_INFO ||
      (info->countSubactionPaths > 0 && info->subactionPaths == nullptr)) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (set->attached) return XR_ERROR_ACTIONSETS_ALREADY_ATTACHED;
  switch (info->actionType) {
    case XR_ACTION_TYPE_BOOLEAN_INPUT:
    case XR_ACTION_TYPE_FLOAT_INPUT:
    case XR_ACTION_TYPE_VECTOR2F_INPUT:
    case XR_ACTION_TYPE_POSE_INPUT:
    case XR_ACTION_TYPE_VIBRATION_OUTPUT: break;
    default: return XR_ERROR_VALIDATION_FAILURE;
  }
  if (!ValidName(info->actionName, XR_MAX_ACTION_NAME_SIZE)) return XR_ERROR_NAME_INVALID;
  if (!ValidLocalizedName(info->localizedActionName, XR_MAX_LOCALIZED_ACTION_NAME_SIZE)) {
    return XR_ERROR_LOCALIZED_NAME_INVALID;
  }
  for (uint64_t a : set->actions) {
    const auto* other = static_cast<const Action*>(Find(a, Kind::Action));
    if (other == nullptr) continue;
    if (other->name == info->actionName) return XR_ERROR_NAME_DUPLICATED;
    if (other->localizedName == info->localizedActionName) {
      return XR_ERROR_LOCALIZED_NAME_DUPLICATED;
    }
  }
  std::vector<XrPath> subactions;
  for (uint32_t i = 0; i < info->countSubactionPaths; ++i) {
    const XrPath p = info->subactionPaths[i];
    const std::string* text = PathText(set->instance, p);
    if (text == nullptr) return XR_ERROR_PATH_INVALID;
    if (*text != "/user/hand/left" && *text != "/user/hand/right" && *text != "/user/head" &&
        *text != "/user/gamepad") {
      return XR_ERROR_PATH_UNSUPPORTED;
    }
    if (std::find(subactions.begin(), subactions.end(), p) != subactions.end()) {
      return XR_ERROR_PATH_UNSUPPORTED;
    }
    subactions.push_back(p);
  }
  auto action = std::make_unique<Action>();
  action->set = set;
  action->name = info->actionName;
  action->localizedName = info->localizedActionName;
  action->type = info->actionType;
  action->subactionPaths = std::move(subactions);
  const uint64_t id = Register(std::move(action));
  set->actions.push_back(id);
  *out = ToHandle<XrAction>(id);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL DestroyAction(XrAction handle) {
  std::lock_guard<std::mutex> lock(Lock());
  Action* action = Get<Action>(handle, Kind::Action);
  if (action == nullptr) return XR_ERROR_HANDLE_INVALID;
  auto& list = action->set->actions;
  list.erase(std::remove(list.begin(), list.end(), action->handle), list.end());
  Unregister(action->handle);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL SuggestInteractionProfileBindings(
    XrInstance handle, const XrInteractionProfileSuggestedBinding* info) {
  std::lock_guard<std::mutex> lock(Lock());
  Instance* instance = Get<Instance>(handle, Kind::Instance);
  if (instance == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || info->type != XR_TYPE_INTERACTION_PROFILE_SUGGESTED_BINDING ||
      info->countSuggestedBindings == 0 || info->suggestedBindings == nullptr) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  const std::string* profilePath = PathText(instance, info->interactionProfile);
  if (profilePath == nullptr) return XR_ERROR_PATH_INVALID;
  if (!KnownProfile(*profilePath)) return XR_ERROR_PATH_UNSUPPORTED;
  const Profile* presented = FindProfile(*profilePath);
  std::vector<Binding> bindings;
  for (uint32_t i = 0; i < info->countSuggestedBindings; ++i) {
    const XrActionSuggestedBinding& b = info->suggestedBindings[i];
    const Action* action = Get<Action>(b.action, Kind::Action);
    if (action == nullptr) return XR_ERROR_HANDLE_INVALID;
    if (action->set->instance != instance) return XR_ERROR_VALIDATION_FAILURE;
    if (action->set->attached) return XR_ERROR_ACTIONSETS_ALREADY_ATTACHED;
    const std::string* path = PathText(instance, b.binding);
    if (path == nullptr) return XR_ERROR_PATH_INVALID;
    std::string_view component;
    if (presented != nullptr) {
      if (SplitHand(*path, &component) < 0 || !ProfileHas(*presented, component)) {
        Log(LogLevel::Error, "xrSuggestInteractionProfileBindings: %s has no %s",
            profilePath->c_str(), path->c_str());
        return XR_ERROR_PATH_UNSUPPORTED;
      }
    } else if (path->rfind("/user/", 0) != 0) {
      return XR_ERROR_PATH_UNSUPPORTED;
    }
    bindings.push_back({action->handle, b.binding});
  }
  instance->suggested[info->interactionProfile] = std::move(bindings);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL AttachSessionActionSets(XrSession handle,
                                            const XrSessionActionSetsAttachInfo* info) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || info->type != XR_TYPE_SESSION_ACTION_SETS_ATTACH_INFO ||
      info->countActionSets == 0 || info->actionSets == nullptr) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (session->actionSetsAttached) return XR_ERROR_ACTIONSETS_ALREADY_ATTACHED;
  std::vector<ActionSet*> sets;
  for (uint32_t i = 0; i < info->countActionSets; ++i) {
    ActionSet* set = Get<ActionSet>(info->actionSets[i], Kind::ActionSet);
    if (set == nullptr) return XR_ERROR_HANDLE_INVALID;
    sets.push_back(set);
  }
  for (ActionSet* set : sets) {
    set->attached = true;
    session->attachedSets.push_back(set->handle);
  }
  session->actionSetsAttached = true;
  ChooseProfiles(session);
  if (session->profile[0] != XR_NULL_PATH || session->profile[1] != XR_NULL_PATH) {
    QueueProfileChanged(session);
  }
  return XR_SUCCESS;
}

XrResult XRAPI_CALL GetCurrentInteractionProfile(XrSession handle, XrPath topLevelUserPath,
                                                 XrInteractionProfileState* state) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (state == nullptr || state->type != XR_TYPE_INTERACTION_PROFILE_STATE) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (!session->actionSetsAttached) return XR_ERROR_ACTIONSET_NOT_ATTACHED;
  const std::string* path = PathText(session->instance, topLevelUserPath);
  if (path == nullptr) return XR_ERROR_PATH_INVALID;
  if (*path == kHandPrefix[0] || *path == kHandPrefix[1]) {
    state->interactionProfile = session->profile[*path == kHandPrefix[0] ? 0 : 1];
    return XR_SUCCESS;
  }
  if (*path == "/user/head" || *path == "/user/gamepad" || *path == "/user/treadmill") {
    state->interactionProfile = XR_NULL_PATH;
    return XR_SUCCESS;
  }
  return XR_ERROR_PATH_UNSUPPORTED;
}

// --------------------------------------------------------------- action state

XrResult XRAPI_CALL SyncActions(XrSession handle, const XrActionsSyncInfo* info) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || info->type != XR_TYPE_ACTIONS_SYNC_INFO ||
      (info->countActiveActionSets > 0 && info->activeActionSets == nullptr)) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  std::vector<uint64_t> active;
  for (uint32_t i = 0; i < info->countActiveActionSets; ++i) {
    const XrActiveActionSet& a = info->activeActionSets[i];
    const ActionSet* set = Get<ActionSet>(a.actionSet, Kind::ActionSet);
    if (set == nullptr) return XR_ERROR_HANDLE_INVALID;
    if (std::find(session->attachedSets.begin(), session->attachedSets.end(), set->handle) ==
        session->attachedSets.end()) {
      return XR_ERROR_ACTIONSET_NOT_ATTACHED;
    }
    if (a.subactionPath != XR_NULL_PATH) {
      const std::string* text = PathText(session->instance, a.subactionPath);
      if (text == nullptr) return XR_ERROR_PATH_INVALID;
      if (*text != kHandPrefix[0] && *text != kHandPrefix[1] && *text != "/user/head" &&
          *text != "/user/gamepad") {
        return XR_ERROR_PATH_UNSUPPORTED;
      }
    }
    active.push_back(set->handle);
  }
  const bool focused = session->state == XR_SESSION_STATE_FOCUSED;
  const XrTime now = NowNs();
  for (uint64_t s : session->attachedSets) {
    const auto* set = static_cast<const ActionSet*>(Find(s, Kind::ActionSet));
    if (set == nullptr) continue;
    const bool setActive = focused && std::find(active.begin(), active.end(), s) != active.end();
    for (uint64_t a : set->actions) {
      const auto* action = static_cast<const Action*>(Find(a, Kind::Action));
      if (action == nullptr) continue;
      ActionState fresh[3];
      for (int hand = 0; hand < 2 && setActive; ++hand) {
        ForEachBinding(session, action, hand, [&](XrPath, std::string_view component) {
          const Source source = Evaluate(session->rig, hand, component);
          if (Accumulate(action->type, source, &fresh[hand])) fresh[hand].active = true;
          if (Accumulate(action->type, source, &fresh[2])) fresh[2].active = true;
        });
      }
      std::array<ActionState, 3>& states = session->actionStates[a];
      for (int k = 0; k < 3; ++k) {
        ActionState& old = states[k];
        fresh[k].changed = fresh[k].active && old.active &&
                           (fresh[k].boolValue != old.boolValue ||
                            fresh[k].floatValue != old.floatValue ||
                            fresh[k].vectorValue.x != old.vectorValue.x ||
                            fresh[k].vectorValue.y != old.vectorValue.y);
        fresh[k].lastChange = fresh[k].changed || (fresh[k].active && !old.active) ? now
                                                                                   : old.lastChange;
        old = fresh[k];
      }
    }
  }
  session->activeSets = std::move(active);
  return focused ? XR_SUCCESS : XR_SESSION_NOT_FOCUSED;
}

// The state slot a get-info names, after the checks every state query makes.
XrResult ResolveState(XrSession handle, const XrActionStateGetInfo* info, const void* state,
                      XrStructureType stateType, XrActionType actionType, Session** session,
                      ActionState* out) {
  *session = Get<Session>(handle, Kind::Session);
  if (*session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || info->type != XR_TYPE_ACTION_STATE_GET_INFO || state == nullptr ||
      static_cast<const XrBaseInStructure*>(state)->type != stateType) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  const Action* action = Get<Action>(info->action, Kind::Action);
  if (action == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (action->type != actionType) return XR_ERROR_ACTION_TYPE_MISMATCH;
  if (!Attached(*session, action)) return XR_ERROR_ACTIONSET_NOT_ATTACHED;
  if (info->subactionPath != XR_NULL_PATH &&
      PathText((*session)->instance, info->subactionPath) == nullptr) {
    return XR_ERROR_PATH_INVALID;
  }
  const int slot = StateSlot((*session)->instance, action, info->subactionPath);
  if (slot < 0) return XR_ERROR_PATH_UNSUPPORTED;
  const auto it = (*session)->actionStates.find(action->handle);
  *out = slot < 3 && it != (*session)->actionStates.end() ? it->second[slot] : ActionState{};
  return XR_SUCCESS;
}

XrResult XRAPI_CALL GetActionStateBoolean(XrSession handle, const XrActionStateGetInfo* info,
                                          XrActionStateBoolean* state) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = nullptr;
  ActionState s;
  const XrResult r = ResolveState(handle, info, state, XR_TYPE_ACTION_STATE_BOOLEAN,
                                  XR_ACTION_TYPE_BOOLEAN_INPUT, &session, &s);
  if (XR_FAILED(r)) return r;
  state->currentState = s.boolValue ? XR_TRUE : XR_FALSE;
  state->changedSinceLastSync = s.changed ? XR_TRUE : XR_FALSE;
  state->lastChangeTime = s.lastChange;
  state->isActive = s.active ? XR_TRUE : XR_FALSE;
  return XR_SUCCESS;
}

XrResult XRAPI_CALL GetActionStateFloat(XrSession handle, const XrActionStateGetInfo* info,
                                        XrActionStateFloat* state) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = nullptr;
  ActionState s;
  const XrResult r = ResolveState(handle, info, state, XR_TYPE_ACTION_STATE_FLOAT,
                                  XR_ACTION_TYPE_FLOAT_INPUT, &session, &s);
  if (XR_FAILED(r)) return r;
  state->currentState = s.floatValue;
  state->changedSinceLastSync = s.changed ? XR_TRUE : XR_FALSE;
  state->lastChangeTime = s.lastChange;
  state->isActive = s.active ? XR_TRUE : XR_FALSE;
  return XR_SUCCESS;
}

XrResult XRAPI_CALL GetActionStateVector2f(XrSession handle, const XrActionStateGetInfo* info,
                                           XrActionStateVector2f* state) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = nullptr;
  ActionState s;
  const XrResult r = ResolveState(handle, info, state, XR_TYPE_ACTION_STATE_VECTOR2F,
                                  XR_ACTION_TYPE_VECTOR2F_INPUT, &session, &s);
  if (XR_FAILED(r)) return r;
  state->currentState = s.vectorValue;
  state->changedSinceLastSync = s.changed ? XR_TRUE : XR_FALSE;
  state->lastChangeTime = s.lastChange;
  state->isActive = s.active ? XR_TRUE : XR_FALSE;
  return XR_SUCCESS;
}

XrResult XRAPI_CALL GetActionStatePose(XrSession handle, const XrActionStateGetInfo* info,
                                       XrActionStatePose* state) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = nullptr;
  ActionState s;
  const XrResult r = ResolveState(handle, info, state, XR_TYPE_ACTION_STATE_POSE,
                                  XR_ACTION_TYPE_POSE_INPUT, &session, &s);
  if (XR_FAILED(r)) return r;
  state->isActive = s.active ? XR_TRUE : XR_FALSE;
  return XR_SUCCESS;
}

XrResult HapticTarget(XrSession handle, const XrHapticActionInfo* info, Session** session,
                      const Action** action, int* slot) {
  *session = Get<Session>(handle, Kind::Session);
  if (*session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || info->type != XR_TYPE_HAPTIC_ACTION_INFO) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  *action = Get<Action>(info->action, Kind::Action);
  if (*action == nullptr) return XR_ERROR_HANDLE_INVALID;
  if ((*action)->type != XR_ACTION_TYPE_VIBRATION_OUTPUT) return XR_ERROR_ACTION_TYPE_MISMATCH;
  if (!Attached(*session, *action)) return XR_ERROR_ACTIONSET_NOT_ATTACHED;
  if (info->subactionPath != XR_NULL_PATH &&
      PathText((*session)->instance, info->subactionPath) == nullptr) {
    return XR_ERROR_PATH_INVALID;
  }
  *slot = StateSlot((*session)->instance, *action, info->subactionPath);
  if (*slot < 0) return XR_ERROR_PATH_UNSUPPORTED;
  return XR_SUCCESS;
}

XrResult XRAPI_CALL ApplyHapticFeedback(XrSession handle, const XrHapticActionInfo* info,
                                        const XrHapticBaseHeader* feedback) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = nullptr;
  const Action* action = nullptr;
  int slot = 0;
  if (const XrResult r = HapticTarget(handle, info, &session, &action, &slot); XR_FAILED(r)) {
    return r;
  }
  if (feedback == nullptr || feedback->type != XR_TYPE_HAPTIC_VIBRATION) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (session->state != XR_SESSION_STATE_FOCUSED) return XR_SESSION_NOT_FOCUSED;
  const auto* vibration = reinterpret_cast<const XrHapticVibration*>(feedback);
  ++session->hapticPulses;
  Log(LogLevel::Info, "Haptic pulse %u on %s: amplitude %.2f, %lld ns, %.0f Hz",
      session->hapticPulses, slot == 0 ? "the left hand" : slot == 1 ? "the right hand"
                                                                      : "both hands",
      double(vibration->amplitude), static_cast<long long>(vibration->duration),
      double(vibration->frequency));
  return XR_SUCCESS;
}

XrResult XRAPI_CALL StopHapticFeedback(XrSession handle, const XrHapticActionInfo* info) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = nullptr;
  const Action* action = nullptr;
  int slot = 0;
  if (const XrResult r = HapticTarget(handle, info, &session, &action, &slot); XR_FAILED(r)) {
    return r;
  }
  return session->state == XR_SESSION_STATE_FOCUSED ? XR_SUCCESS : XR_SESSION_NOT_FOCUSED;
}

// ------------------------------------------------------------ sources and names

XrResult XRAPI_CALL EnumerateBoundSourcesForAction(
    XrSession handle, const XrBoundSourcesForActionEnumerateInfo* info, uint32_t capacity,
    uint32_t* countOutput, XrPath* sources) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || info->type != XR_TYPE_BOUND_SOURCES_FOR_ACTION_ENUMERATE_INFO) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  const Action* action = Get<Action>(info->action, Kind::Action);
  if (action == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (!Attached(session, action)) return XR_ERROR_ACTIONSET_NOT_ATTACHED;
  std::vector<XrPath> bound;
  for (int hand = 0; hand < 2; ++hand) {
    ForEachBinding(session, action, hand, [&](XrPath path, std::string_view) {
      if (std::find(bound.begin(), bound.end(), path) == bound.end()) bound.push_back(path);
    });
  }
  return EnumerateInto(bound.data(), uint32_t(bound.size()), capacity, countOutput, sources);
}

std::string Words(std::string_view text) {
  std::string out;
  bool start = true;
  for (char c : text) {
    if (c == '/' || c == '_') {
      if (!out.empty() && out.back() != ' ') out += ' ';
      start = true;
    } else {
      out += start && c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
      start = false;
    }
  }
  return out;
}

XrResult XRAPI_CALL GetInputSourceLocalizedName(XrSession handle,
                                                const XrInputSourceLocalizedNameGetInfo* info,
                                                uint32_t capacity, uint32_t* countOutput,
                                                char* buffer) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  constexpr XrInputSourceLocalizedNameFlags kAll =
      XR_INPUT_SOURCE_LOCALIZED_NAME_USER_PATH_BIT |
      XR_INPUT_SOURCE_LOCALIZED_NAME_INTERACTION_PROFILE_BIT |
      XR_INPUT_SOURCE_LOCALIZED_NAME_COMPONENT_BIT;
  if (info == nullptr || info->type != XR_TYPE_INPUT_SOURCE_LOCALIZED_NAME_GET_INFO ||
      info->whichComponents == 0 || (info->whichComponents & ~kAll) != 0) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (!session->actionSetsAttached) return XR_ERROR_ACTIONSET_NOT_ATTACHED;
  const std::string* path = PathText(session->instance, info->sourcePath);
  if (path == nullptr) return XR_ERROR_PATH_INVALID;
  std::string_view component;
  const int hand = SplitHand(*path, &component);
  if (hand < 0) return XR_ERROR_PATH_UNSUPPORTED;
  std::string name;
  const auto add = [&](const std::string& part) {
    if (!name.empty()) name += ' ';
    name += part;
  };
  if (info->whichComponents & XR_INPUT_SOURCE_LOCALIZED_NAME_USER_PATH_BIT) {
    add(hand == 0 ? "Left Hand" : "Right Hand");
  }
  if (info->whichComponents & XR_INPUT_SOURCE_LOCALIZED_NAME_INTERACTION_PROFILE_BIT) {
    const std::string* profile = PathText(session->instance, session->profile[hand]);
    const Profile* p = profile != nullptr ? FindProfile(*profile) : nullptr;
    add(p != nullptr ? p->localizedName : "Controller");
  }
  if (info->whichComponents & XR_INPUT_SOURCE_LOCALIZED_NAME_COMPONENT_BIT) {
    const size_t slash = component.find('/');
    add(Words(slash == std::string_view::npos ? component : component.substr(slash + 1)));
  }
  return EnumerateString(name, capacity, countOutput, buffer);
}

XrResult XRAPI_CALL CreateActionSpace(XrSession handle, const XrActionSpaceCreateInfo* info,
                                      XrSpace* out) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || out == nullptr || info->type != XR_TYPE_ACTION_SPACE_CREATE_INFO) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  const Action* action = Get<Action>(info->action, Kind::Action);
  if (action == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (action->type != XR_ACTION_TYPE_POSE_INPUT) return XR_ERROR_ACTION_TYPE_MISMATCH;
  if (info->subactionPath != XR_NULL_PATH &&
      PathText(session->instance, info->subactionPath) == nullptr) {
    return XR_ERROR_PATH_INVALID;
  }
  if (StateSlot(session->instance, action, info->subactionPath) < 0) {
    return XR_ERROR_PATH_UNSUPPORTED;
  }
  if (!UnitQuaternion(info->poseInActionSpace.orientation)) return XR_ERROR_POSE_INVALID;
  auto space = std::make_unique<Space>();
  space->session = session;
  space->isAction = true;
  space->action = action->handle;
  space->subaction = info->subactionPath;
  space->offset = info->poseInActionSpace;
  const uint64_t id = Register(std::move(space));
  session->spaces.push_back(id);
  *out = ToHandle<XrSpace>(id);
  return XR_SUCCESS;
}

}  // namespace

// ---------------------------------------------------------------- shared inside

void DestroyActionSetObject(ActionSet* set) {
  for (uint64_t a : set->actions) Unregister(a);
  auto& list = set->instance->actionSets;
  list.erase(std::remove(list.begin(), list.end(), set->handle), list.end());
  Unregister(set->handle);
}

void AdvanceRig(Session* session) {
  const std::vector<sim::TimelineCommand>& commands = session->instance->timeline.commands;
  Rig& rig = session->rig;
  for (; session->nextCommand < commands.size() &&
         commands[session->nextCommand].frame <= session->frameIndex;
       ++session->nextCommand) {
    const sim::TimelineCommand& command = commands[session->nextCommand];
    const uint32_t device = command.device;
    const int hand = int(device) - 1;
    switch (command.kind) {
      case sim::TimelineCommand::Kind::Pose:
        if (device < 3) rig.pose[device] = command.pose;
        break;
      case sim::TimelineCommand::Kind::Valid:
        if (device < 3) rig.valid[device] = true;
        break;
      case sim::TimelineCommand::Kind::Invalid:
        if (device < 3) rig.valid[device] = false;
        break;
      case sim::TimelineCommand::Kind::Trigger:
        if (hand == 0 || hand == 1) rig.trigger[hand] = command.value;
        break;
      case sim::TimelineCommand::Kind::Press:
        if (hand == 0 || hand == 1) rig.pressed[hand] |= ButtonMaskFromId(command.button);
        break;
      case sim::TimelineCommand::Kind::Release:
        if (hand == 0 || hand == 1) rig.pressed[hand] &= ~ButtonMaskFromId(command.button);
        break;
      case sim::TimelineCommand::Kind::Capture: {
        const int eye = command.eye == Eye_Right ? 1 : 0;
        session->captures[eye] = {true, session->frameIndex, command.path};
        break;
      }
      case sim::TimelineCommand::Kind::Quit: StopSession(session, "the timeline's quit"); break;
    }
  }
}

void ChooseProfiles(Session* session) {
  for (int hand = 0; hand < 2; ++hand) {
    session->profile[hand] = XR_NULL_PATH;
    for (const Profile& profile : PresentedProfiles()) {
      const auto id = session->instance->pathIds.find(profile.path);
      if (id == session->instance->pathIds.end()) continue;
      const auto it = session->instance->suggested.find(id->second);
      if (it == session->instance->suggested.end()) continue;
      const bool bindsHand = std::any_of(it->second.begin(), it->second.end(), [&](const Binding& b) {
        const auto* action = static_cast<const Action*>(Find(b.action, Kind::Action));
        std::string_view component;
        const std::string* text = PathText(session->instance, b.path);
        return action != nullptr && Attached(session, action) && text != nullptr &&
               SplitHand(*text, &component) == hand;
      });
      if (bindsHand) {
        session->profile[hand] = id->second;
        break;
      }
    }
  }
}

bool ActionPoseInWorld(const Session* session, const Action* action, XrPath subaction,
                       XrPosef* out) {
  if (action == nullptr || !Attached(session, action)) return false;
  const int slot = StateSlot(session->instance, action, subaction);
  for (int hand = 0; hand < 2; ++hand) {
    if (slot != 2 && slot != hand) continue;
    bool bound = false;
    ForEachBinding(session, action, hand, [&](XrPath, std::string_view component) {
      bound = bound || Evaluate(session->rig, hand, component).type == Source::kPose;
    });
    if (bound) {
      if (!session->rig.valid[1 + hand]) return false;
      *out = FromSimPose(session->rig.pose[1 + hand]);
      if (hand == 1 && session->instance->faults.badRightPose) out->orientation = {0, 0, 0, 0};
      return true;
    }
  }
  return false;
}

void AddActionFunctions(FunctionTable* table) {
  XRSIM_ADD(table, CreateActionSet);
  XRSIM_ADD(table, DestroyActionSet);
  XRSIM_ADD(table, CreateAction);
  XRSIM_ADD(table, DestroyAction);
  XRSIM_ADD(table, SuggestInteractionProfileBindings);
  XRSIM_ADD(table, AttachSessionActionSets);
  XRSIM_ADD(table, GetCurrentInteractionProfile);
  XRSIM_ADD(table, SyncActions);
  XRSIM_ADD(table, GetActionStateBoolean);
  XRSIM_ADD(table, GetActionStateFloat);
  XRSIM_ADD(table, GetActionStateVector2f);
  XRSIM_ADD(table, GetActionStatePose);
  XRSIM_ADD(table, ApplyHapticFeedback);
  XRSIM_ADD(table, StopHapticFeedback);
  XRSIM_ADD(table, EnumerateBoundSourcesForAction);
  XRSIM_ADD(table, GetInputSourceLocalizedName);
  XRSIM_ADD(table, CreateActionSpace);
}

}  // namespace vr::xrsim

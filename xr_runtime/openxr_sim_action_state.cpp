// Input state of the OpenXR simulated headset: the timeline driving the devices, what the
// controllers report through the bound actions (sync, state queries, haptics, bound sources and
// their names) and the action spaces that follow a hand.
#include <algorithm>
#include <cmath>

#include "base/log.h"
#include "sim_headset/sim_devices.h"
#include "xr_runtime/openxr_sim_bindings.h"
#include "xr_runtime/openxr_sim_internal.h"

namespace vr::xrsim {
namespace {

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

void AddActionStateFunctions(FunctionTable* table) {
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

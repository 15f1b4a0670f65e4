#include "vr/openxr/openxr_controller_input.h"

#include <cmath>
#include <cstring>
#include <vector>

#include "base/log.h"
#include "vr/openxr/openxr_calls.h"

namespace vr::openxr {
namespace {

constexpr const char* kHandPaths[2] = {"/user/hand/left", "/user/hand/right"};
constexpr const char* kHandNames[2] = {"left", "right"};

enum ActionKey { kTrigger, kPad, kPadClick, kMenu, kSqueeze, kGripPose, kAimPose, kHaptic };

// One suggested binding: the action and its input under each hand (null: none on that hand).
struct Binding {
  ActionKey action;
  const char* left;
  const char* right;
};
struct Profile {
  const char* path;
  bool thumbstick;  // the pad is a thumbstick
  std::vector<Binding> bindings;
};

const std::vector<Profile>& Profiles() {
  static const std::vector<Profile> profiles = {
      {"/interaction_profiles/khr/simple_controller", false,
       {{kTrigger, "input/select/click", "input/select/click"},
        {kMenu, "input/menu/click", "input/menu/click"},
        {kGripPose, "input/grip/pose", "input/grip/pose"},
        {kAimPose, "input/aim/pose", "input/aim/pose"},
        {kHaptic, "output/haptic", "output/haptic"}}},
      {"/interaction_profiles/htc/vive_controller", false,
       {{kTrigger, "input/trigger/value", "input/trigger/value"},
        {kPad, "input/trackpad", "input/trackpad"},
        {kPadClick, "input/trackpad/click", "input/trackpad/click"},
        {kMenu, "input/menu/click", "input/menu/click"},
        {kSqueeze, "input/squeeze/click", "input/squeeze/click"},
        {kGripPose, "input/grip/pose", "input/grip/pose"},
        {kAimPose, "input/aim/pose", "input/aim/pose"},
        {kHaptic, "output/haptic", "output/haptic"}}},
      {"/interaction_profiles/valve/index_controller", true,
       {{kTrigger, "input/trigger/value", "input/trigger/value"},
        {kPad, "input/thumbstick", "input/thumbstick"},
        {kPadClick, "input/thumbstick/click", "input/thumbstick/click"},
        {kMenu, "input/b/click", "input/b/click"},
        {kSqueeze, "input/squeeze/value", "input/squeeze/value"},
        {kGripPose, "input/grip/pose", "input/grip/pose"},
        {kAimPose, "input/aim/pose", "input/aim/pose"},
        {kHaptic, "output/haptic", "output/haptic"}}},
      {"/interaction_profiles/oculus/touch_controller", true,
       {{kTrigger, "input/trigger/value", "input/trigger/value"},
        {kPad, "input/thumbstick", "input/thumbstick"},
        {kPadClick, "input/thumbstick/click", "input/thumbstick/click"},
        {kMenu, "input/menu/click", "input/b/click"},
        {kSqueeze, "input/squeeze/value", "input/squeeze/value"},
        {kGripPose, "input/grip/pose", "input/grip/pose"},
        {kAimPose, "input/aim/pose", "input/aim/pose"},
        {kHaptic, "output/haptic", "output/haptic"}}},
      {"/interaction_profiles/microsoft/motion_controller", false,
       {{kTrigger, "input/trigger/value", "input/trigger/value"},
        {kPad, "input/trackpad", "input/trackpad"},
        {kPadClick, "input/trackpad/click", "input/trackpad/click"},
        {kMenu, "input/menu/click", "input/menu/click"},
        {kSqueeze, "input/squeeze/click", "input/squeeze/click"},
        {kGripPose, "input/grip/pose", "input/grip/pose"},
        {kAimPose, "input/aim/pose", "input/aim/pose"},
        {kHaptic, "output/haptic", "output/haptic"}}},
  };
  return profiles;
}

bool SameInput(const VRControllerState_t& a, const VRControllerState_t& b) {
  return a.ulButtonPressed == b.ulButtonPressed && a.ulButtonTouched == b.ulButtonTouched &&
         std::memcmp(a.rAxis, b.rAxis, sizeof a.rAxis) == 0;
}

}  // namespace

uint64_t DPadButtons(float x, float y, bool clicked, bool thumbstick) {
  if (!std::isfinite(x) || !std::isfinite(y)) return 0;
  const float length = std::sqrt(x * x + y * y);
  if (!(clicked ? length >= 0.5f : thumbstick && length > 0.7f)) return 0;
  if (std::fabs(x) >= std::fabs(y)) {
    return ButtonMaskFromId(x > 0.0f ? k_EButton_DPad_Right : k_EButton_DPad_Left);
  }
  return ButtonMaskFromId(y > 0.0f ? k_EButton_DPad_Up : k_EButton_DPad_Down);
}

XrPath ControllerInput::Path(const std::string& text) const {
  XrPath path = XR_NULL_PATH;
  if (XR_FAILED(xrStringToPath(instance_, text.c_str(), &path))) return XR_NULL_PATH;
  return path;
}

bool ControllerInput::Create(XrInstance instance) {
  instance_ = instance;
  for (int hand = 0; hand < 2; ++hand) hand_[hand] = Path(kHandPaths[hand]);

  XrActionSetCreateInfo setInfo{XR_TYPE_ACTION_SET_CREATE_INFO};
  std::strcpy(setInfo.actionSetName, "sculpting");
  std::strcpy(setInfo.localizedActionSetName, "Sculpting");
  if (!Succeeded(instance, xrCreateActionSet(instance, &setInfo, &set_), "xrCreateActionSet")) {
    return false;
  }
  struct NewAction {
    XrAction* action;
    XrActionType type;
    const char* name;
    const char* localized;
  };
  const NewAction newActions[] = {
      {&trigger_, XR_ACTION_TYPE_FLOAT_INPUT, "trigger", "Brush trigger"},
      {&pad_, XR_ACTION_TYPE_VECTOR2F_INPUT, "pad", "Tool pad"},
      {&padClick_, XR_ACTION_TYPE_BOOLEAN_INPUT, "pad_click", "Tool pad click"},
      {&menu_, XR_ACTION_TYPE_BOOLEAN_INPUT, "menu", "Panel button"},
      {&squeeze_, XR_ACTION_TYPE_BOOLEAN_INPUT, "squeeze", "Grip button"},
      {&gripPose_, XR_ACTION_TYPE_POSE_INPUT, "grip_pose", "Hand"},
      {&aimPose_, XR_ACTION_TYPE_POSE_INPUT, "aim_pose", "Brush"},
      {&haptic_, XR_ACTION_TYPE_VIBRATION_OUTPUT, "haptic", "Buzz"},
  };
  for (const NewAction& made : newActions) {
    XrActionCreateInfo info{XR_TYPE_ACTION_CREATE_INFO};
    info.actionType = made.type;
    std::strcpy(info.actionName, made.name);
    std::strcpy(info.localizedActionName, made.localized);
    info.countSubactionPaths = 2;
    info.subactionPaths = hand_;
    if (!Succeeded(instance, xrCreateAction(set_, &info, made.action), "xrCreateAction")) {
      return false;
    }
  }

  const XrAction actions[] = {trigger_, pad_, padClick_, menu_, squeeze_, gripPose_, aimPose_,
                              haptic_};
  int accepted = 0;
  for (const Profile& profile : Profiles()) {
    std::vector<XrActionSuggestedBinding> suggested;
    for (const Binding& binding : profile.bindings) {
      const char* inputs[2] = {binding.left, binding.right};
      for (int hand = 0; hand < 2; ++hand) {
        if (inputs[hand] == nullptr) continue;
        const XrPath path = Path(std::string(kHandPaths[hand]) + "/" + inputs[hand]);
        if (path != XR_NULL_PATH) suggested.push_back({actions[binding.action], path});
      }
    }
    XrInteractionProfileSuggestedBinding info{XR_TYPE_INTERACTION_PROFILE_SUGGESTED_BINDING};
    info.interactionProfile = Path(profile.path);
    info.countSuggestedBindings = uint32_t(suggested.size());
    info.suggestedBindings = suggested.data();
    const XrResult result = xrSuggestInteractionProfileBindings(instance, &info);
    if (XR_SUCCEEDED(result)) {
      ++accepted;
    } else {
      // Older runtimes do not know every profile; the others still work.
      Log(LogLevel::Info, "OpenXR: bindings for %s not taken: %s", profile.path,
          ResultName(instance, result));
    }
  }
  if (accepted == 0) {
    Log(LogLevel::Error, "OpenXR: the runtime took no controller bindings");
    return false;
  }
  return true;
}

bool ControllerInput::Attach(XrSession session) {
  session_ = session;
  XrSessionActionSetsAttachInfo attach{XR_TYPE_SESSION_ACTION_SETS_ATTACH_INFO};
  attach.countActionSets = 1;
  attach.actionSets = &set_;
  if (!Succeeded(instance_, xrAttachSessionActionSets(session, &attach),
                 "xrAttachSessionActionSets")) {
    return false;
  }
  for (int hand = 0; hand < 2; ++hand) {
    XrActionSpaceCreateInfo info{XR_TYPE_ACTION_SPACE_CREATE_INFO};
    info.action = aimPose_;
    info.subactionPath = hand_[hand];
    info.poseInActionSpace.orientation.w = 1.0f;
    if (!Succeeded(instance_, xrCreateActionSpace(session, &info, &aimSpace_[hand]),
                   "xrCreateActionSpace")) {
      return false;
    }
  }
  return true;
}

void ControllerInput::Destroy() {
  for (XrSpace& space : aimSpace_) {
    if (space != XR_NULL_HANDLE) xrDestroySpace(space);
    space = XR_NULL_HANDLE;
  }
  // Destroying the set destroys its actions.
  if (set_ != XR_NULL_HANDLE) xrDestroyActionSet(set_);
  set_ = XR_NULL_HANDLE;
  trigger_ = pad_ = padClick_ = menu_ = squeeze_ = gripPose_ = aimPose_ = haptic_ = XR_NULL_HANDLE;
  session_ = XR_NULL_HANDLE;
}

bool ControllerInput::UsesThumbstick(int hand) const {
  for (const Profile& profile : Profiles()) {
    if (profileName_[hand & 1] == profile.path) return profile.thumbstick;
  }
  return false;
}

void ControllerInput::Sync() {
  if (session_ == XR_NULL_HANDLE) return;
  XrActiveActionSet active{set_, XR_NULL_PATH};
  XrActionsSyncInfo sync{XR_TYPE_ACTIONS_SYNC_INFO};
  sync.countActiveActionSets = 1;
  sync.activeActionSets = &active;
  // XR_SESSION_NOT_FOCUSED is a success: every action then reads inactive.
  const bool synced = Succeeded(instance_, xrSyncActions(session_, &sync), "xrSyncActions");
  for (int hand = 0; hand < 2; ++hand) {
    XrActionStateGetInfo get{XR_TYPE_ACTION_STATE_GET_INFO};
    get.subactionPath = hand_[hand];
    XrActionStateFloat trigger{XR_TYPE_ACTION_STATE_FLOAT};
    XrActionStateVector2f pad{XR_TYPE_ACTION_STATE_VECTOR2F};
    XrActionStateBoolean padClick{XR_TYPE_ACTION_STATE_BOOLEAN}, menu{XR_TYPE_ACTION_STATE_BOOLEAN},
        squeeze{XR_TYPE_ACTION_STATE_BOOLEAN};
    if (synced) {
      get.action = trigger_;
      xrGetActionStateFloat(session_, &get, &trigger);
      get.action = pad_;
      xrGetActionStateVector2f(session_, &get, &pad);
      get.action = padClick_;
      xrGetActionStateBoolean(session_, &get, &padClick);
      get.action = menu_;
      xrGetActionStateBoolean(session_, &get, &menu);
      get.action = squeeze_;
      xrGetActionStateBoolean(session_, &get, &squeeze);
    }
    const float triggerValue =
        trigger.isActive && std::isfinite(trigger.currentState) ? trigger.currentState : 0.0f;
    const XrVector2f padValue = pad.isActive ? pad.currentState : XrVector2f{0.0f, 0.0f};
    const bool clicked = padClick.isActive && padClick.currentState;

    VRControllerState_t state{};
    state.rAxis[0] = {padValue.x, padValue.y};
    state.rAxis[1].x = triggerValue;
    if (menu.isActive && menu.currentState) {
      state.ulButtonPressed |= ButtonMaskFromId(k_EButton_ApplicationMenu);
    }
    if (squeeze.isActive && squeeze.currentState) {
      state.ulButtonPressed |= ButtonMaskFromId(k_EButton_Grip);
    }
    if (clicked) state.ulButtonPressed |= ButtonMaskFromId(k_EButton_Axis0);
    state.ulButtonPressed |= DPadButtons(padValue.x, padValue.y, clicked, UsesThumbstick(hand));
    if (clicked || padValue.x != 0.0f || padValue.y != 0.0f) {
      state.ulButtonTouched |= ButtonMaskFromId(k_EButton_Axis0);
    }
    if (triggerValue > 0.0f) state.ulButtonTouched |= ButtonMaskFromId(k_EButton_Axis1);
    state.unPacketNum = state_[hand].unPacketNum + (SameInput(state, state_[hand]) ? 0 : 1);
    state_[hand] = state;
  }
}

bool ControllerInput::TriggerBound(int hand) const {
  XrBoundSourcesForActionEnumerateInfo info{XR_TYPE_BOUND_SOURCES_FOR_ACTION_ENUMERATE_INFO};
  info.action = trigger_;
  uint32_t count = 0;
  if (XR_FAILED(xrEnumerateBoundSourcesForAction(session_, &info, 0, &count, nullptr))) {
    return true;  // cannot tell: say nothing
  }
  std::vector<XrPath> sources(count);
  if (count == 0 ||
      XR_FAILED(xrEnumerateBoundSourcesForAction(session_, &info, count, &count, sources.data()))) {
    return count != 0;
  }
  const std::string prefix = std::string(kHandPaths[hand]) + "/";
  for (uint32_t i = 0; i < count; ++i) {
    char text[XR_MAX_PATH_LENGTH];
    uint32_t length = 0;
    if (XR_SUCCEEDED(xrPathToString(instance_, sources[i], sizeof text, &length, text)) &&
        std::strncmp(text, prefix.c_str(), prefix.size()) == 0) {
      return true;
    }
  }
  return false;
}

void ControllerInput::RefreshProfiles() {
  if (session_ == XR_NULL_HANDLE) return;
  for (int hand = 0; hand < 2; ++hand) {
    XrInteractionProfileState state{XR_TYPE_INTERACTION_PROFILE_STATE};
    if (!Succeeded(instance_, xrGetCurrentInteractionProfile(session_, hand_[hand], &state),
                   "xrGetCurrentInteractionProfile") ||
        state.interactionProfile == profile_[hand]) {
      continue;
    }
    profile_[hand] = state.interactionProfile;
    profileName_[hand].clear();
    if (profile_[hand] == XR_NULL_PATH) {
      Log(LogLevel::Info, "OpenXR: the %s controller is gone", kHandNames[hand]);
      continue;
    }
    char text[XR_MAX_PATH_LENGTH];
    uint32_t length = 0;
    if (XR_SUCCEEDED(xrPathToString(instance_, profile_[hand], sizeof text, &length, text))) {
      profileName_[hand] = text;
    }
    Log(LogLevel::Info, "OpenXR: %s controller: %s", kHandNames[hand], profileName_[hand].c_str());
    if (!TriggerBound(hand)) {
      Log(LogLevel::Warning, "OpenXR: the %s controller (%s) has no trigger: it cannot sculpt",
          kHandNames[hand], profileName_[hand].c_str());
    }
  }
}

void ControllerInput::Haptic(int hand, uint16_t microseconds) {
  if (session_ == XR_NULL_HANDLE) return;
  XrHapticActionInfo info{XR_TYPE_HAPTIC_ACTION_INFO};
  info.action = haptic_;
  info.subactionPath = hand_[hand & 1];
  XrHapticVibration vibration{XR_TYPE_HAPTIC_VIBRATION};
  vibration.duration = XrDuration(microseconds) * 1000;
  vibration.frequency = XR_FREQUENCY_UNSPECIFIED;
  vibration.amplitude = 0.5f;
  Succeeded(instance_, xrApplyHapticFeedback(session_, &info,
                                             reinterpret_cast<XrHapticBaseHeader*>(&vibration)),
            "xrApplyHapticFeedback");
}

}  // namespace vr::openxr

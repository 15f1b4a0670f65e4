#pragma once
// The controllers through OpenXR actions: one action set with the trigger, the trackpad or
// thumbstick (position and click), the menu button, the grip button, the grip and aim poses and
// a haptic output for both hands, with bindings suggested for the common controllers. Read back
// in the boundary's controller-state form, the D-pad included.
#include <openxr/openxr.h>

#include <cstdint>
#include <string>

#include "vr_api/openvr_api.h"

namespace vr::openxr {

// The D-pad buttons (ButtonMaskFromId bits) a pad position means: when clicked at least halfway
// out, the side it is nearest; a thumbstick also pushed past 0.7 without a click.
uint64_t DPadButtons(float x, float y, bool clicked, bool thumbstick);

class ControllerInput {
 public:
  ControllerInput() = default;
  ~ControllerInput() { Destroy(); }
  ControllerInput(const ControllerInput&) = delete;
  ControllerInput& operator=(const ControllerInput&) = delete;

  // The action set and its bindings; false (logged) when no controller's bindings were taken.
  bool Create(XrInstance instance);
  // Attaches the set to the session and makes the hands' aim spaces.
  bool Attach(XrSession session);
  void Destroy();

  // xrSyncActions, then reads both hands into their states. Inactive actions read as released.
  void Sync();
  // Re-reads the hands' interaction profiles (after XR_TYPE_EVENT_DATA_INTERACTION_PROFILE_CHANGED);
  // logs each change, and a controller whose profile binds no trigger.
  void RefreshProfiles();
  void Haptic(int hand, uint16_t microseconds);

  bool Connected(int hand) const { return profile_[hand & 1] != XR_NULL_PATH; }
  const std::string& ProfileName(int hand) const { return profileName_[hand & 1]; }
  const VRControllerState_t& State(int hand) const { return state_[hand & 1]; }
  XrSpace AimSpace(int hand) const { return aimSpace_[hand & 1]; }
  bool UsesThumbstick(int hand) const;

 private:
  XrPath Path(const std::string& text) const;
  bool TriggerBound(int hand) const;

  XrInstance instance_ = XR_NULL_HANDLE;
  XrSession session_ = XR_NULL_HANDLE;
  XrActionSet set_ = XR_NULL_HANDLE;
  XrAction trigger_ = XR_NULL_HANDLE, pad_ = XR_NULL_HANDLE, padClick_ = XR_NULL_HANDLE,
           menu_ = XR_NULL_HANDLE, squeeze_ = XR_NULL_HANDLE, gripPose_ = XR_NULL_HANDLE,
           aimPose_ = XR_NULL_HANDLE, haptic_ = XR_NULL_HANDLE;
  XrPath hand_[2] = {XR_NULL_PATH, XR_NULL_PATH};
  XrSpace aimSpace_[2] = {XR_NULL_HANDLE, XR_NULL_HANDLE};
  XrPath profile_[2] = {XR_NULL_PATH, XR_NULL_PATH};
  std::string profileName_[2];
  VRControllerState_t state_[2] = {};
};

}  // namespace vr::openxr

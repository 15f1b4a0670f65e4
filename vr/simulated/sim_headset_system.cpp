// The IVRSystem, IVRChaperone and IVRRenderModels side of the simulated headset: what the
// devices are, their controller state and events.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "base/log.h"
#include "base/timing.h"
#include "sim_headset/sim_devices.h"
#include "vr/simulated/simulated_headset.h"
#include "vr_api/device_properties.h"

namespace vr::sim {
namespace {

bool SameInput(const VRControllerState_t& a, const VRControllerState_t& b) {
  if (a.ulButtonPressed != b.ulButtonPressed || a.ulButtonTouched != b.ulButtonTouched) {
    return false;
  }
  for (uint32_t k = 0; k < k_unControllerStateAxisCount; ++k) {
    if (a.rAxis[k].x != b.rAxis[k].x || a.rAxis[k].y != b.rAxis[k].y) {
      return false;
    }
  }
  return true;
}

}  // namespace

// -------------------------------------------------------------------- optics

void SimulatedHeadset::GetRecommendedRenderTargetSize(uint32_t* width, uint32_t* height) {
  if (width != nullptr) *width = options_.eyeWidth;
  if (height != nullptr) *height = options_.eyeHeight;
}

HmdMatrix44_t SimulatedHeadset::GetProjectionMatrix(EVREye eye, float nearZ, float farZ) {
  if (!std::isfinite(nearZ) || !std::isfinite(farZ) || !(nearZ > 0.0f) || !(farZ > 0.0f) ||
      nearZ == farZ) {
    if (!badClipRangeLogged_) {
      Log(LogLevel::Warning, "GetProjectionMatrix: unusable clip range %g..%g, using 0.05..100",
          double(nearZ), double(farZ));
      badClipRangeLogged_ = true;
    }
    nearZ = 0.05f;
    farZ = 100.0f;
  }
  const float aspect = float(options_.eyeWidth) / float(options_.eyeHeight);
  return PerspectiveMatrix(kHorizontalFovDegrees, aspect, nearZ, farZ);
}

HmdMatrix34_t SimulatedHeadset::GetEyeToHeadTransform(EVREye eye) {
  HmdMatrix34_t m = IdentityMatrix34();
  if (eye == Eye_Left) {
    m.m[0][3] = -kEyeOffset;
  } else if (eye == Eye_Right) {
    m.m[0][3] = kEyeOffset;
  }
  return m;
}

// ---------------------------------------------------------------- properties

uint32_t SimulatedHeadset::GetStringTrackedDeviceProperty(TrackedDeviceIndex_t index,
                                                          ETrackedDeviceProperty prop,
                                                          char* buffer, uint32_t bufferSize,
                                                          ETrackedPropertyError* error) {
  if (!CanAnswerProperty(IsConnectedDevice(index), IsController(index), prop,
                         PropertyType::String, error)) {
    return 0;
  }
  const DeviceDescription device = DescribeDevice(index);
  const char* value = prop == Prop_TrackingSystemName_String ? kTrackingSystemName
                      : prop == Prop_ModelNumber_String      ? device.modelNumber
                      : prop == Prop_SerialNumber_String     ? device.serialNumber
                                                             : device.renderModelName;
  return AnswerStringProperty(value, buffer, bufferSize, error);
}

int32_t SimulatedHeadset::GetInt32TrackedDeviceProperty(TrackedDeviceIndex_t index,
                                                        ETrackedDeviceProperty prop,
                                                        ETrackedPropertyError* error) {
  if (!CanAnswerProperty(IsConnectedDevice(index), IsController(index), prop,
                         PropertyType::Int32, error)) {
    return 0;
  }
  const int32_t axis = prop - Prop_Axis0Type_Int32;
  SetPropertyError(error, TrackedProp_Success);
  return axis == 0             ? k_eControllerAxis_TrackPad
         : axis == triggerAxis_ ? k_eControllerAxis_Trigger
                                : k_eControllerAxis_None;
}

ETrackedDeviceClass SimulatedHeadset::GetTrackedDeviceClass(TrackedDeviceIndex_t index) {
  return DescribeDevice(index).deviceClass;
}

bool SimulatedHeadset::IsTrackedDeviceConnected(TrackedDeviceIndex_t index) {
  return IsConnectedDevice(index);
}

ETrackedControllerRole SimulatedHeadset::GetControllerRoleForTrackedDeviceIndex(
    TrackedDeviceIndex_t index) {
  return DescribeDevice(index).role;
}

// ---------------------------------------------------------- events and input

bool SimulatedHeadset::PollNextEvent(VREvent_t* event, uint32_t eventSize) {
  if (event == nullptr || eventSize != sizeof(VREvent_t) || events_.empty()) {
    return false;
  }
  *event = events_.front().event;
  event->eventAgeSeconds = float(std::max(TimeNow() - events_.front().time, 0.0));
  events_.pop_front();
  return true;
}

bool SimulatedHeadset::GetControllerState(TrackedDeviceIndex_t index, VRControllerState_t* state,
                                          uint32_t stateSize) {
  if (state == nullptr || stateSize != sizeof(VRControllerState_t) || !IsController(index)) {
    return false;
  }
  *state = devices_[index].state;
  return true;
}

void SimulatedHeadset::TriggerHapticPulse(TrackedDeviceIndex_t index, uint32_t axisId,
                                          unsigned short durationMicroseconds) {
  if (IsController(index)) {
    ++hapticPulses_;
  }
}

void SimulatedHeadset::SetInput(TrackedDeviceIndex_t index, float trigger, uint64_t pressed) {
  if (!IsController(index)) {
    return;
  }
  Device& device = devices_[index];
  const uint64_t changed = device.pressed ^ pressed;
  for (uint32_t bit = 0; bit < 64; ++bit) {
    if (changed & (uint64_t(1) << bit)) {
      VREvent_t event{};
      event.eventType = (pressed >> bit) & 1 ? VREvent_ButtonPress : VREvent_ButtonUnpress;
      event.trackedDeviceIndex = index;
      event.data.controller.button = bit;
      QueueEvent(event);
    }
  }
  device.pressed = pressed;
  device.trigger = std::isfinite(trigger) ? std::clamp(trigger, 0.0f, 1.0f) : 0.0f;
  RebuildControllerState(index);
}

void SimulatedHeadset::RebuildControllerState(TrackedDeviceIndex_t index) {
  if (!IsController(index)) {
    return;
  }
  Device& device = devices_[index];
  constexpr uint64_t kPadButtons =
      ButtonMaskFromId(k_EButton_Axis0) | ButtonMaskFromId(k_EButton_DPad_Left) |
      ButtonMaskFromId(k_EButton_DPad_Up) | ButtonMaskFromId(k_EButton_DPad_Right) |
      ButtonMaskFromId(k_EButton_DPad_Down);
  VRControllerState_t state{};
  state.ulButtonPressed = device.pressed;
  if (device.pressed & kPadButtons) {
    state.ulButtonTouched |= ButtonMaskFromId(k_EButton_Axis0);
  }
  if (device.trigger > 0.0f) {
    // The trigger's button is the one of its axis, like on real controllers.
    state.ulButtonTouched |= ButtonMaskFromId(EVRButtonId(k_EButton_Axis0 + triggerAxis_));
  }
  state.rAxis[0] = TrackpadFromButtons(device.pressed);
  state.rAxis[triggerAxis_].x = device.trigger;
  state.unPacketNum = device.state.unPacketNum;
  if (!SameInput(state, device.state)) {
    ++state.unPacketNum;
  }
  device.state = state;
}

// ------------------------------------------------------------------ chaperone

bool SimulatedHeadset::GetPlayAreaSize(float* sizeX, float* sizeZ) {
  if (sizeX == nullptr || sizeZ == nullptr) {
    return false;
  }
  *sizeX = 3.0f;
  *sizeZ = 3.0f;
  return true;
}

// -------------------------------------------------------------- render models

EVRRenderModelError SimulatedHeadset::LoadRenderModel_Async(const char* renderModelName,
                                                            RenderModel_t** renderModel) {
  return renderModels_.LoadModel(renderModelName, renderModel);
}

void SimulatedHeadset::FreeRenderModel(RenderModel_t* renderModel) {
  renderModels_.FreeModel(renderModel);
}

EVRRenderModelError SimulatedHeadset::LoadTexture_Async(TextureID_t textureId,
                                                        RenderModel_TextureMap_t** texture) {
  return renderModels_.LoadTexture(textureId, texture);
}

void SimulatedHeadset::FreeTexture(RenderModel_TextureMap_t* texture) {
  renderModels_.FreeTexture(texture);
}

const char* SimulatedHeadset::GetRenderModelErrorNameFromEnum(EVRRenderModelError error) {
  return RenderModelErrorName(error);
}

}  // namespace vr::sim

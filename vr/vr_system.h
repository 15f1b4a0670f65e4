#pragma once
// What the application sees of a headset: tracked devices, their poses and controller states,
// render models, and the submission of the eye images. The VR host implements it; the FrameInfo
// of a VR frame carries it.
#include <cstdint>

#include "base/math_types.h"

class Mesh;
namespace Draw {
class Texture;
}

enum class DeviceKind : int32_t {
  None = 0,  // never reported, or a device class not listed here
  Invalid = 1,
  Headset = 2,
  TrackingReference = 3,  // a base station
  Controller = 4,
  GenericTracker = 5,
};

enum ControllerRole : int32_t { kRoleNone = 0, kRoleLeftHand = 1, kRoleRightHand = 2 };

// Button bits are the runtime's masks: bit n is button id n.
enum ControllerButton : uint64_t {
  kButtonApplicationMenu = uint64_t(1) << 1,
  kButtonDPadLeft = uint64_t(1) << 3,
  kButtonDPadUp = uint64_t(1) << 4,
  kButtonDPadRight = uint64_t(1) << 5,
  kButtonDPadDown = uint64_t(1) << 6,
};

struct ControllerAxis {
  float x = 0.0f;
  float y = 0.0f;
};

struct ControllerState {
  int32_t role = kRoleNone;
  uint32_t packetNumber = 0;
  uint64_t buttonsPressed = 0;
  uint64_t buttonsTouched = 0;
  uint64_t buttonsPressedNow = 0;   // pressed since the previous poll
  uint64_t buttonsReleasedNow = 0;  // released since the previous poll
  ControllerAxis axes[5];
  int32_t axisTypes[5] = {};  // 1 trackpad, 2 joystick, 0 none or trigger
  int32_t trackpadAxis = -1;  // the last trackpad axis, or -1
  int32_t triggerAxis = -1;   // the last trigger axis, or -1
};

struct RenderModel;

class VRSystem {
 public:
  static constexpr uint32_t kDeviceCount = 16;

  virtual ~VRSystem() = default;
  virtual uint32_t GetDeviceCount() = 0;
  virtual DeviceKind GetDeviceKind(uint32_t index) = 0;
  // False when the device's last pose is not valid; otherwise writes device-to-tracking.
  virtual bool GetDevicePose(uint32_t index, Matrix4x4* pose) = 0;
  virtual ControllerState* GetControllerState(uint32_t index) = 0;
  virtual void TriggerHapticPulse(uint32_t index, uint16_t microseconds) = 0;
  // Resolves, submits and mirrors both eye images; called once after drawing both views.
  virtual void SubmitFrame() = 0;
  virtual const Mesh* GetRenderModel(uint32_t index) = 0;
  virtual Draw::Texture* GetRenderModelTexture(uint32_t index) = 0;
  virtual bool ReservedQuery() = 0;
};

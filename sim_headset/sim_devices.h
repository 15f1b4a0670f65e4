#pragma once
// The simulated tracked devices: what each slot is (fixed for the run) and where it starts.
//
// The scene the defaults are made for: the sculpture fills a 2 m cube standing on the floor at
// the origin (x, z in -1..1, y in 0..2); tracking space is world space.
#include <cstdint>

#include "sim_headset/sim_pose.h"
#include "vr_api/openvr_api.h"

namespace vr::sim {

constexpr TrackedDeviceIndex_t kHeadIndex = 0;
constexpr TrackedDeviceIndex_t kLeftHandIndex = 1;
constexpr TrackedDeviceIndex_t kRightHandIndex = 2;
constexpr uint32_t kConnectedDeviceCount = 5;  // slots 0..4; 3 and 4 are base stations

// The headset's optics, the same for the in-process headset and the OpenXR runtime.
constexpr float kHorizontalFovDegrees = 100.0f;
constexpr float kEyeOffset = 0.032f;  // half the interpupillary distance, metres

constexpr const char* kTrackingSystemName = "loomwork_simulated";
constexpr const char* kControllerModelName = "loomwork_controller";
constexpr const char* kBaseStationModelName = "loomwork_basestation";
constexpr const char* kHeadsetModelName = "loomwork_headset";

struct DeviceDescription {
  ETrackedDeviceClass deviceClass = TrackedDeviceClass_Invalid;
  ETrackedControllerRole role = TrackedControllerRole_Invalid;
  const char* modelNumber = nullptr;
  const char* serialNumber = nullptr;
  const char* renderModelName = nullptr;
};

// Slots past the connected devices (and past the slot count) describe an absent device: class
// Invalid and null strings.
DeviceDescription DescribeDevice(TrackedDeviceIndex_t index);
bool IsConnectedDevice(TrackedDeviceIndex_t index);
bool IsController(TrackedDeviceIndex_t index);

// Where the pressed D-pad buttons (ButtonMaskFromId bits) put the thumb on the trackpad: 0.7
// towards each pressed side, so a D-pad press is a click near that edge of the pad.
VRControllerAxis_t TrackpadFromButtons(uint64_t pressed);

// Standing 2.3 m in front of the sculpture's centre, eyes at 1.45 m, looking 10 degrees down.
SimPose DefaultHeadPose();
// Pitched up 90 degrees to the left-front of the head, so the tool panel that the application
// hangs on the left hand faces the viewer beside the sculpture.
SimPose DefaultLeftHandPose();
// Low to the right of the head, pointing at the sculpture's centre.
SimPose DefaultRightHandPose();
// Base station k (0 or 1), high in opposite corners, facing the play area's centre.
SimPose BaseStationPose(int k);

}  // namespace vr::sim

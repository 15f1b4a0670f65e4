#include "sim_headset/sim_devices.h"

namespace vr::sim {
namespace {

constexpr DeviceDescription kDevices[kConnectedDeviceCount] = {
    {TrackedDeviceClass_HMD, TrackedControllerRole_Invalid, "Loomwork Simulated Headset",
     "SIM-HMD-0001", kHeadsetModelName},
    {TrackedDeviceClass_Controller, TrackedControllerRole_LeftHand,
     "Loomwork Simulated Controller", "SIM-CTRL-L", kControllerModelName},
    {TrackedDeviceClass_Controller, TrackedControllerRole_RightHand,
     "Loomwork Simulated Controller", "SIM-CTRL-R", kControllerModelName},
    {TrackedDeviceClass_TrackingReference, TrackedControllerRole_Invalid,
     "Loomwork Simulated Base Station", "SIM-BASE-1", kBaseStationModelName},
    {TrackedDeviceClass_TrackingReference, TrackedControllerRole_Invalid,
     "Loomwork Simulated Base Station", "SIM-BASE-2", kBaseStationModelName},
};

}  // namespace

DeviceDescription DescribeDevice(TrackedDeviceIndex_t index) {
  return index < kConnectedDeviceCount ? kDevices[index] : DeviceDescription{};
}

bool IsConnectedDevice(TrackedDeviceIndex_t index) { return index < kConnectedDeviceCount; }

bool IsController(TrackedDeviceIndex_t index) {
  return DescribeDevice(index).deviceClass == TrackedDeviceClass_Controller;
}

VRControllerAxis_t TrackpadFromButtons(uint64_t pressed) {
  VRControllerAxis_t axis{0.0f, 0.0f};
  if (pressed & ButtonMaskFromId(k_EButton_DPad_Left)) axis.x -= 0.7f;
  if (pressed & ButtonMaskFromId(k_EButton_DPad_Right)) axis.x += 0.7f;
  if (pressed & ButtonMaskFromId(k_EButton_DPad_Up)) axis.y += 0.7f;
  if (pressed & ButtonMaskFromId(k_EButton_DPad_Down)) axis.y -= 0.7f;
  return axis;
}

SimPose DefaultHeadPose() { return PoseFromAngles({0.0f, 1.45f, 2.3f}, 0.0f, -10.0f, 0.0f); }

SimPose DefaultLeftHandPose() {
  // x stays world x, y (the panel's normal) faces the viewer, z points down: the panel's rows
  // run top to bottom on screen.
  SimPose pose;
  pose.x = {1, 0, 0};
  pose.y = {0, 0, 1};
  pose.z = {0, -1, 0};
  pose.position = {-0.55f, 1.35f, 1.5f};
  return pose;
}

SimPose DefaultRightHandPose() {
  SimPose pose;
  PoseAimedAt({0.25f, 1.2f, 1.8f}, {0.0f, 1.0f, 0.0f}, &pose);
  return pose;
}

SimPose BaseStationPose(int k) {
  const Vec3 position = k == 0 ? Vec3{-2.0f, 2.4f, 2.0f} : Vec3{2.0f, 2.4f, -2.0f};
  SimPose pose;
  PoseAimedAt(position, {0.0f, 1.0f, 0.0f}, &pose);
  return pose;
}

}  // namespace vr::sim

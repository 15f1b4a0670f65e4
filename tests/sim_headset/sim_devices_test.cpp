// The simulated devices as IVRSystem reports them: slots, properties, events, controller state,
// poses, optics and the default standing pose.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "sim_headset/sim_devices.h"
#include "tests/vr/runtime_test_util.h"

namespace vr::sim::testing {
namespace {

std::string StringProperty(IVRSystem* system, TrackedDeviceIndex_t index,
                           ETrackedDeviceProperty prop, ETrackedPropertyError* error) {
  char buffer[128] = {};
  const uint32_t length = system->GetStringTrackedDeviceProperty(index, prop, buffer,
                                                                 sizeof(buffer), error);
  return length > 0 && *error == TrackedProp_Success ? std::string(buffer) : std::string();
}

std::vector<VREvent_t> DrainEvents(IVRSystem* system) {
  std::vector<VREvent_t> events;
  VREvent_t event;
  while (system->PollNextEvent(&event, sizeof(event))) {
    events.push_back(event);
  }
  return events;
}

TEST(SimulatedDevices, SlotsDescribeHeadsetControllersAndBaseStations) {
  SimulatedSession session;
  IVRSystem* system = session.System();
  ASSERT_NE(system, nullptr);
  struct Case {
    TrackedDeviceIndex_t index;
    ETrackedDeviceClass deviceClass;
    ETrackedControllerRole role;
    const char* serial;
    const char* renderModel;
  };
  const Case cases[] = {
      {0, TrackedDeviceClass_HMD, TrackedControllerRole_Invalid, "SIM-HMD-0001",
       "loomwork_headset"},
      {1, TrackedDeviceClass_Controller, TrackedControllerRole_LeftHand, "SIM-CTRL-L",
       "loomwork_controller"},
      {2, TrackedDeviceClass_Controller, TrackedControllerRole_RightHand, "SIM-CTRL-R",
       "loomwork_controller"},
      {3, TrackedDeviceClass_TrackingReference, TrackedControllerRole_Invalid, "SIM-BASE-1",
       "loomwork_basestation"},
      {4, TrackedDeviceClass_TrackingReference, TrackedControllerRole_Invalid, "SIM-BASE-2",
       "loomwork_basestation"},
      {5, TrackedDeviceClass_Invalid, TrackedControllerRole_Invalid, nullptr, nullptr},
      {15, TrackedDeviceClass_Invalid, TrackedControllerRole_Invalid, nullptr, nullptr},
      {16, TrackedDeviceClass_Invalid, TrackedControllerRole_Invalid, nullptr, nullptr},
      {k_unTrackedDeviceIndexInvalid, TrackedDeviceClass_Invalid, TrackedControllerRole_Invalid,
       nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.index);
    const bool connected = c.serial != nullptr;
    EXPECT_EQ(system->GetTrackedDeviceClass(c.index), c.deviceClass);
    EXPECT_EQ(system->GetControllerRoleForTrackedDeviceIndex(c.index), c.role);
    EXPECT_EQ(system->IsTrackedDeviceConnected(c.index), connected);
    ETrackedPropertyError error = TrackedProp_Success;
    if (!connected) {
      char buffer[8] = {'u', 0};
      EXPECT_EQ(system->GetStringTrackedDeviceProperty(c.index, Prop_SerialNumber_String, buffer,
                                                       sizeof(buffer), &error),
                0u);
      EXPECT_EQ(error, TrackedProp_InvalidDevice);
      EXPECT_EQ(system->GetInt32TrackedDeviceProperty(c.index, Prop_Axis0Type_Int32, &error), 0);
      EXPECT_EQ(error, TrackedProp_InvalidDevice);
      continue;
    }
    EXPECT_EQ(StringProperty(system, c.index, Prop_TrackingSystemName_String, &error),
              "loomwork_simulated");
    EXPECT_EQ(StringProperty(system, c.index, Prop_SerialNumber_String, &error), c.serial);
    EXPECT_EQ(StringProperty(system, c.index, Prop_RenderModelName_String, &error),
              c.renderModel);
    EXPECT_FALSE(StringProperty(system, c.index, Prop_ModelNumber_String, &error).empty());
    EXPECT_EQ(error, TrackedProp_Success);
  }
}

TEST(SimulatedDevices, StringPropertiesFollowTheLengthProtocol) {
  SimulatedSession session;
  IVRSystem* system = session.System();
  const uint32_t needed = uint32_t(std::strlen("loomwork_simulated")) + 1;
  struct Case {
    bool nullBuffer;
    uint32_t size;
    ETrackedPropertyError error;
  };
  const Case cases[] = {{true, 0, TrackedProp_BufferTooSmall},
                        {false, 0, TrackedProp_BufferTooSmall},
                        {false, needed - 1, TrackedProp_BufferTooSmall},
                        {false, needed, TrackedProp_Success},
                        {false, 64, TrackedProp_Success}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    char buffer[64];
    std::memset(buffer, '#', sizeof(buffer));
    ETrackedPropertyError error = TrackedProp_UnknownProperty;
    EXPECT_EQ(system->GetStringTrackedDeviceProperty(1, Prop_TrackingSystemName_String,
                                                     c.nullBuffer ? nullptr : buffer, c.size,
                                                     &error),
              needed);
    EXPECT_EQ(error, c.error);
    if (c.error == TrackedProp_Success) {
      EXPECT_STREQ(buffer, "loomwork_simulated");
    } else {
      EXPECT_EQ(buffer[0], '#');  // nothing copied
    }
  }
  // Unknown properties, wrong types, and no error pointer at all.
  ETrackedPropertyError error = TrackedProp_Success;
  char buffer[64];
  EXPECT_EQ(system->GetStringTrackedDeviceProperty(1, ETrackedDeviceProperty(1234), buffer, 64,
                                                   &error),
            0u);
  EXPECT_EQ(error, TrackedProp_UnknownProperty);
  EXPECT_EQ(system->GetStringTrackedDeviceProperty(1, Prop_Axis0Type_Int32, buffer, 64, &error),
            0u);
  EXPECT_EQ(error, TrackedProp_WrongDataType);
  EXPECT_EQ(system->GetInt32TrackedDeviceProperty(1, Prop_SerialNumber_String, &error), 0);
  EXPECT_EQ(error, TrackedProp_WrongDataType);
  EXPECT_EQ(system->GetStringTrackedDeviceProperty(2, Prop_SerialNumber_String, buffer, 64,
                                                   nullptr),
            11u);
  EXPECT_STREQ(buffer, "SIM-CTRL-R");
}

TEST(SimulatedDevices, AxisTypesFollowTheTriggerAxisOption) {
  for (int32_t triggerAxis : {1, 2, 4}) {
    SCOPED_TRACE(triggerAxis);
    SimulatedHeadsetOptions options = Unpaced();
    options.triggerAxis = triggerAxis;
    SimulatedSession session(options);
    IVRSystem* system = session.System();
    for (TrackedDeviceIndex_t index : {1u, 2u}) {
      for (int32_t axis = 0; axis < 5; ++axis) {
        ETrackedPropertyError error = TrackedProp_UnknownProperty;
        const int32_t type = system->GetInt32TrackedDeviceProperty(
            index, ETrackedDeviceProperty(Prop_Axis0Type_Int32 + axis), &error);
        EXPECT_EQ(error, TrackedProp_Success);
        EXPECT_EQ(type, axis == 0             ? k_eControllerAxis_TrackPad
                        : axis == triggerAxis ? k_eControllerAxis_Trigger
                                              : k_eControllerAxis_None);
      }
    }
    for (TrackedDeviceIndex_t index : {0u, 3u, 4u}) {
      ETrackedPropertyError error = TrackedProp_Success;
      EXPECT_EQ(system->GetInt32TrackedDeviceProperty(index, Prop_Axis1Type_Int32, &error), 0);
      EXPECT_EQ(error, TrackedProp_WrongDeviceClass);
    }
    // The trigger value and its touch bit live on the chosen axis.
    session.Headset()->SetTrigger(2, 0.25f);
    VRControllerState_t state{};
    ASSERT_TRUE(system->GetControllerState(2, &state, sizeof(state)));
    for (int32_t axis = 1; axis < 5; ++axis) {
      EXPECT_EQ(state.rAxis[axis].x, axis == triggerAxis ? 0.25f : 0.0f);
    }
    EXPECT_EQ(state.ulButtonTouched, ButtonMaskFromId(EVRButtonId(k_EButton_Axis0 + triggerAxis)));
  }
}

TEST(SimulatedDevices, StartQueuesActivationsInOrderAndEventSizeIsChecked) {
  SimulatedSession session;
  IVRSystem* system = session.System();
  VREvent_t event{};
  EXPECT_FALSE(system->PollNextEvent(&event, sizeof(event) - 1));
  EXPECT_FALSE(system->PollNextEvent(&event, sizeof(event) + 8));
  EXPECT_FALSE(system->PollNextEvent(nullptr, sizeof(event)));
  const std::vector<VREvent_t> events = DrainEvents(system);  // the refusals consumed nothing
  ASSERT_EQ(events.size(), 5u);
  for (uint32_t i = 0; i < 5; ++i) {
    EXPECT_EQ(events[i].eventType, uint32_t(VREvent_TrackedDeviceActivated));
    EXPECT_EQ(events[i].trackedDeviceIndex, i);
    EXPECT_GE(events[i].eventAgeSeconds, 0.0f);
  }
  VREvent_t custom{};
  custom.eventType = VREvent_TrackedDeviceUpdated;
  custom.trackedDeviceIndex = 3;
  session.Headset()->QueueEvent(custom);
  ASSERT_TRUE(system->PollNextEvent(&event, sizeof(event)));
  EXPECT_EQ(event.eventType, uint32_t(VREvent_TrackedDeviceUpdated));
  EXPECT_EQ(event.trackedDeviceIndex, 3u);
  EXPECT_FALSE(system->PollNextEvent(&event, sizeof(event)));
}

TEST(SimulatedDevices, ControllerStateOnlyForConnectedControllersAndTheRightSize) {
  SimulatedSession session;
  IVRSystem* system = session.System();
  VRControllerState_t state{};
  for (TrackedDeviceIndex_t index : {1u, 2u}) {
    EXPECT_TRUE(system->GetControllerState(index, &state, 64));
    for (uint32_t size : {0u, 40u, 63u, 65u, 128u}) {
      EXPECT_FALSE(system->GetControllerState(index, &state, size)) << size;
    }
    EXPECT_FALSE(system->GetControllerState(index, nullptr, 64));
  }
  for (TrackedDeviceIndex_t index : {0u, 3u, 4u, 5u, 16u, k_unTrackedDeviceIndexInvalid}) {
    EXPECT_FALSE(system->GetControllerState(index, &state, 64)) << index;
  }
}

TEST(SimulatedDevices, ButtonsTriggerAndPacketNumbers) {
  SimulatedSession session;
  IVRSystem* system = session.System();
  SimulatedHeadset* headset = session.Headset();
  DrainEvents(system);
  const auto read = [&](TrackedDeviceIndex_t index) {
    VRControllerState_t state{};
    EXPECT_TRUE(system->GetControllerState(index, &state, sizeof(state)));
    return state;
  };
  const VRControllerState_t initial = read(2);
  EXPECT_EQ(initial.ulButtonPressed, 0u);
  EXPECT_EQ(initial.ulButtonTouched, 0u);

  struct Step {
    uint64_t pressed;
    float trigger;
    uint64_t touched;
    VRControllerAxis_t pad;
  };
  const uint64_t menu = ButtonMaskFromId(k_EButton_ApplicationMenu);
  const uint64_t grip = ButtonMaskFromId(k_EButton_Grip);
  const uint64_t padClick = ButtonMaskFromId(k_EButton_Axis0);
  const uint64_t padTouch = ButtonMaskFromId(k_EButton_Axis0);
  const uint64_t triggerTouch = ButtonMaskFromId(k_EButton_Axis1);
  const uint64_t dpadLeft = ButtonMaskFromId(k_EButton_DPad_Left);
  const uint64_t dpadUp = ButtonMaskFromId(k_EButton_DPad_Up);
  const Step steps[] = {
      {menu, 0.0f, 0, {0, 0}},
      {menu | grip, 0.0f, 0, {0, 0}},
      {grip, 0.6f, triggerTouch, {0, 0}},
      {grip, 3.0f, triggerTouch, {0, 0}},  // clamped to 1
      {padClick, 0.0f, padTouch, {0, 0}},
      {dpadLeft, 0.0f, padTouch, {-0.7f, 0}},
      {dpadUp, 0.0f, padTouch, {0, 0.7f}},
      {0, 0.0f, 0, {0, 0}},
  };
  uint32_t packet = initial.unPacketNum;
  uint64_t previous = 0;
  for (const Step& step : steps) {
    SCOPED_TRACE(step.pressed);
    headset->SetButtonsPressed(2, step.pressed);
    headset->SetTrigger(2, step.trigger);
    const VRControllerState_t state = read(2);
    EXPECT_EQ(state.ulButtonPressed, step.pressed);
    EXPECT_EQ(state.ulButtonTouched, step.touched);
    EXPECT_EQ(state.rAxis[1].x, std::fmin(step.trigger, 1.0f));
    EXPECT_EQ(state.rAxis[0].x, step.pad.x);
    EXPECT_EQ(state.rAxis[0].y, step.pad.y);
    EXPECT_GT(state.unPacketNum, packet);
    packet = state.unPacketNum;
    // Setting the same input again is no change.
    headset->SetButtonsPressed(2, step.pressed);
    EXPECT_EQ(read(2).unPacketNum, packet);
    // One press or unpress event per changed button, with the button's id.
    uint64_t expectedPress = step.pressed & ~previous, expectedUnpress = previous & ~step.pressed;
    for (const VREvent_t& event : DrainEvents(system)) {
      EXPECT_EQ(event.trackedDeviceIndex, 2u);
      const uint64_t bit = ButtonMaskFromId(EVRButtonId(event.data.controller.button));
      if (event.eventType == VREvent_ButtonPress) {
        EXPECT_TRUE(expectedPress & bit);
        expectedPress &= ~bit;
      } else {
        EXPECT_EQ(event.eventType, uint32_t(VREvent_ButtonUnpress));
        EXPECT_TRUE(expectedUnpress & bit);
        expectedUnpress &= ~bit;
      }
    }
    EXPECT_EQ(expectedPress | expectedUnpress, 0u);
    previous = step.pressed;
  }
  // The other hand never moved.
  EXPECT_EQ(read(1).unPacketNum, initial.unPacketNum);
  EXPECT_EQ(read(1).ulButtonPressed, 0u);
}

TEST(SimulatedDevices, HapticPulsesCountOnControllersOnly) {
  SimulatedSession session;
  IVRSystem* system = session.System();
  system->TriggerHapticPulse(1, 0, 500);
  system->TriggerHapticPulse(2, 0, 3000);
  system->TriggerHapticPulse(2, 0, 100);
  system->TriggerHapticPulse(0, 0, 100);
  system->TriggerHapticPulse(3, 0, 100);
  system->TriggerHapticPulse(99, 0, 100);
  EXPECT_EQ(session.Headset()->HapticPulses(), 3u);
}

TEST(SimulatedDevices, WaitGetPosesFillsTheSlotsItIsGiven) {
  SimulatedSession session;
  IVRCompositor* compositor = session.Compositor();
  TrackedDevicePose_t poses[k_unMaxTrackedDeviceCount + 2];
  std::memset(poses, 0x5a, sizeof(poses));
  TrackedDevicePose_t game[3];
  std::memset(game, 0x5a, sizeof(game));
  ASSERT_EQ(compositor->WaitGetPoses(poses, k_unMaxTrackedDeviceCount + 2, game, 2),
            VRCompositorError_None);
  EXPECT_EQ(session.Headset()->FrameIndex(), 1u);
  for (uint32_t i = 0; i < k_unMaxTrackedDeviceCount; ++i) {
    SCOPED_TRACE(i);
    const bool connected = i < 5;
    EXPECT_EQ(poses[i].bDeviceIsConnected, connected);
    EXPECT_EQ(poses[i].bPoseIsValid, connected);
    EXPECT_EQ(poses[i].eTrackingResult,
              connected ? TrackingResult_Running_OK : TrackingResult_Uninitialized);
    EXPECT_EQ(poses[i].vVelocity.v[0], 0.0f);
    EXPECT_EQ(poses[i].vAngularVelocity.v[2], 0.0f);
    if (i < 2) {
      EXPECT_EQ(std::memcmp(&game[i], &poses[i], sizeof(game[i])), 0);
    }
  }
  // Nothing is written past 16 devices, nor past the count given.
  const uint8_t* beyond = reinterpret_cast<const uint8_t*>(&poses[k_unMaxTrackedDeviceCount]);
  for (size_t b = 0; b < 2 * sizeof(TrackedDevicePose_t); ++b) {
    ASSERT_EQ(beyond[b], 0x5a);
  }
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(&game[2])[0], 0x5a);

  // Base stations face the middle of the play area.
  for (uint32_t i : {3u, 4u}) {
    const HmdMatrix34_t& m = poses[i].mDeviceToAbsoluteTracking;
    const Vec3 toCentre = Normalized(Vec3{0, 1, 0} - Position(m));
    EXPECT_GT(Dot(Forward(m), toCentre), 0.999f);
    EXPECT_GT(Position(m).y, 2.0f);
  }
  // A pose made invalid stays connected; validity comes back.
  session.Headset()->SetPoseValid(1, false);
  session.NextFrame(poses);
  EXPECT_FALSE(poses[1].bPoseIsValid);
  EXPECT_TRUE(poses[1].bDeviceIsConnected);
  EXPECT_EQ(poses[1].eTrackingResult, TrackingResult_Running_OutOfRange);
  session.Headset()->SetPoseValid(1, true);
  session.NextFrame(poses);
  EXPECT_TRUE(poses[1].bPoseIsValid);
  EXPECT_EQ(session.Headset()->FrameIndex(), 3u);
}

TEST(SimulatedDevices, PacedFramesAdvance) {
  SimulatedHeadsetOptions options;
  ASSERT_TRUE(options.paced);
  SimulatedSession session(options);
  TrackedDevicePose_t poses[k_unMaxTrackedDeviceCount];
  for (int frame = 1; frame <= 3; ++frame) {
    session.NextFrame(poses);
    EXPECT_EQ(session.Headset()->FrameIndex(), uint64_t(frame));
  }
}

TEST(SimulatedDevices, ProjectionIsAnOpenGLFrustumOfAHundredDegrees) {
  SimulatedHeadsetOptions options = Unpaced();
  options.eyeWidth = 800;
  options.eyeHeight = 1000;
  SimulatedSession session(options);
  IVRSystem* system = session.System();
  const float nearZ = 0.1f, farZ = 50.0f;
  const auto clip = [&](EVREye eye, Vec3 p) {
    const HmdMatrix44_t m = system->GetProjectionMatrix(eye, nearZ, farZ);
    const float v[4] = {p.x, p.y, p.z, 1.0f};
    Vec4 out;
    float* o[4] = {&out.x, &out.y, &out.z, &out.w};
    for (int r = 0; r < 4; ++r) {
      *o[r] = m.m[r][0] * v[0] + m.m[r][1] * v[1] + m.m[r][2] * v[2] + m.m[r][3] * v[3];
    }
    return out;
  };
  const float tanHalf = std::tan(50.0f * 3.14159265f / 180.0f);
  for (EVREye eye : {Eye_Left, Eye_Right}) {
    SCOPED_TRACE(eye);
    const Vec4 atNear = clip(eye, {0, 0, -nearZ});
    EXPECT_NEAR(atNear.z / atNear.w, -1.0f, 1e-4f);
    const Vec4 atFar = clip(eye, {0, 0, -farZ});
    EXPECT_NEAR(atFar.z / atFar.w, 1.0f, 1e-4f);
    // 50 degrees to the right is the right edge; up by the aspect is the top edge.
    const Vec4 right = clip(eye, {2.0f * tanHalf, 0, -2.0f});
    EXPECT_NEAR(right.x / right.w, 1.0f, 1e-4f);
    const Vec4 top = clip(eye, {0, 2.0f * tanHalf / 0.8f, -2.0f});
    EXPECT_NEAR(top.y / top.w, 1.0f, 1e-4f);
    EXPECT_NEAR(top.x / top.w, 0.0f, 1e-6f);
    EXPECT_GT(right.w, 0.0f);  // in front of the eye
  }
  for (EVREye eye : {Eye_Left, Eye_Right}) {
    const HmdMatrix34_t m = system->GetEyeToHeadTransform(eye);
    EXPECT_FLOAT_EQ(m.m[0][3], eye == Eye_Left ? -0.032f : 0.032f);
    EXPECT_EQ(m.m[1][3], 0.0f);
    EXPECT_EQ(m.m[2][3], 0.0f);
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 3; ++c) {
        EXPECT_EQ(m.m[r][c], r == c ? 1.0f : 0.0f);
      }
    }
  }
  // A clip range that would divide by zero still gives a finite matrix.
  const HmdMatrix44_t bad = system->GetProjectionMatrix(Eye_Left, 1.0f, 1.0f);
  for (const auto& row : bad.m) {
    for (float v : row) {
      EXPECT_TRUE(std::isfinite(v));
    }
  }
}

// The default standing pose: the sculpture in the middle of the view, the left hand's panel
// fully visible to the left of it.
TEST(SimulatedDevices, DefaultPosesShowTheSculptureAndTheWholePanel) {
  SimulatedSession session;
  IVRSystem* system = session.System();
  TrackedDevicePose_t poses[k_unMaxTrackedDeviceCount];
  session.NextFrame(poses);
  const HmdMatrix34_t head = poses[0].mDeviceToAbsoluteTracking;
  const HmdMatrix34_t left = poses[1].mDeviceToAbsoluteTracking;
  const HmdMatrix44_t projection = system->GetProjectionMatrix(Eye_Left, 0.05f, 100.0f);
  const HmdMatrix34_t eyeToHead = system->GetEyeToHeadTransform(Eye_Left);
  const auto ndc = [&](Vec3 world) {
    const Vec4 c = ProjectToClip(world, head, eyeToHead, projection);
    EXPECT_GT(c.w, 0.0f);
    return Vec3{c.x / c.w, c.y / c.w, c.z / c.w};
  };
  const Vec3 centre = ndc({0, 1, 0});
  EXPECT_LT(std::fabs(centre.x), 0.2f);
  EXPECT_LT(std::fabs(centre.y), 0.3f);

  // The application's panel: 38 x 62 cm, 5 cm along the hand's y axis, its rows along the
  // hand's z axis.
  const Vec3 x = Column(left, 0), y = Column(left, 1), z = Column(left, 2);
  EXPECT_TRUE(Near(x, {1, 0, 0}, 1e-6f));
  EXPECT_TRUE(Near(y, {0, 0, 1}, 1e-6f));
  EXPECT_TRUE(Near(z, {0, -1, 0}, 1e-6f));
  float minX = 1e9f, maxX = -1e9f, minY = 1e9f, maxY = -1e9f;
  for (float px : {-0.19f, 0.19f}) {
    for (float pz : {-0.31f, 0.31f}) {
      const Vec3 corner = ndc(Position(left) + x * px + y * 0.05f + z * pz);
      EXPECT_LT(std::fabs(corner.x), 0.95f) << ToString(corner);
      EXPECT_LT(std::fabs(corner.y), 0.95f) << ToString(corner);
      minX = std::fmin(minX, corner.x);
      maxX = std::fmax(maxX, corner.x);
      minY = std::fmin(minY, corner.y);
      maxY = std::fmax(maxY, corner.y);
    }
  }
  EXPECT_LT(maxX, centre.x - 0.2f);  // left of the sculpture's centre, with room between
  // The panel faces the viewer.
  EXPECT_GT(Dot(y, Position(head) - Position(left)), 0.0f);
}

}  // namespace
}  // namespace vr::sim::testing

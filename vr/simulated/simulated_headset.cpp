#include "vr/simulated/simulated_headset.h"

#include <SDL.h>

#include <algorithm>
#include <cmath>

#include "base/log.h"
#include "base/timing.h"
#include "sim_headset/quaternion_pose.h"
#include "sim_headset/sim_devices.h"
#include "sim_headset/sim_pointer_mapping.h"
#include "vr/simulated/sim_desktop_input.h"
#include "vr/simulated/sim_eye_capture.h"

namespace vr::sim {
namespace {

const char* EyeName(EVREye eye) { return eye == Eye_Right ? "right" : "left"; }

}  // namespace

SimulatedHeadset::SimulatedHeadset(const SimulatedHeadsetOptions& options)
    : options_(options),
      reach_(kDefaultReach),
      renderModels_(options.loadingPolls, options.textureFails) {
  const SimulatedHeadsetOptions defaults;
  if (options_.eyeWidth == 0 || options_.eyeHeight == 0) {
    Log(LogLevel::Warning, "Simulated headset: eye size %ux%u is empty, using %ux%u",
        options_.eyeWidth, options_.eyeHeight, defaults.eyeWidth, defaults.eyeHeight);
    options_.eyeWidth = defaults.eyeWidth;
    options_.eyeHeight = defaults.eyeHeight;
  }
  triggerAxis_ = options_.triggerAxis;
  if (triggerAxis_ < 1 || triggerAxis_ >= int32_t(k_unControllerStateAxisCount)) {
    Log(LogLevel::Warning, "Simulated headset: trigger axis %d is not 1..4, using 1",
        options_.triggerAxis);
    triggerAxis_ = 1;
  }
  devices_[kHeadIndex].pose = DefaultHeadPose();
  devices_[kLeftHandIndex].pose = DefaultLeftHandPose();
  devices_[kRightHandIndex].pose = DefaultRightHandPose();
  devices_[3].pose = BaseStationPose(0);
  devices_[4].pose = BaseStationPose(1);
  for (TrackedDeviceIndex_t i = 0; i < k_unMaxTrackedDeviceCount; ++i) {
    devices_[i].valid = IsConnectedDevice(i);
    devices_[i].state.unPacketNum = 1;
    RebuildControllerState(i);
  }
}

SimulatedHeadset::~SimulatedHeadset() = default;

EVRInitError SimulatedHeadset::Start() {
  if (!options_.timelinePath.empty()) {
    switch (LoadTimeline(options_.timelinePath, &timeline_)) {
      case TimelineStatus::Unreadable: return VRInitError_Init_FileNotFound;
      case TimelineStatus::Malformed: return VRInitError_Init_InstallationCorrupt;
      case TimelineStatus::Ok: break;
    }
    timelineActive_ = true;
    Log(LogLevel::Info, "Simulated headset: following %s (%zu commands)",
        options_.timelinePath.c_str(), timeline_.commands.size());
  } else {
    Log(LogLevel::Info,
        "Simulated headset: the mouse moves the right hand (left button: trigger; R/F: reach; "
        "arrows: D-pad; Space: right menu; M or Tab: left menu)");
  }
  startTime_ = TimeNow();
  for (TrackedDeviceIndex_t i = 0; i < kConnectedDeviceCount; ++i) {
    VREvent_t event{};
    event.eventType = VREvent_TrackedDeviceActivated;
    event.trackedDeviceIndex = i;
    QueueEvent(event);
  }
  if (timelineActive_) {
    ApplyTimeline();  // frame 0
  }
  return VRInitError_None;
}

// ------------------------------------------------------------------------ frames

EVRCompositorError SimulatedHeadset::WaitGetPoses(TrackedDevicePose_t* renderPoses,
                                                  uint32_t renderPoseCount,
                                                  TrackedDevicePose_t* gamePoses,
                                                  uint32_t gamePoseCount) {
  if (options_.paced) {
    WaitForFrameTick();
  }
  DropUntakenCaptures();
  ++frameIndex_;
  if (timelineActive_) {
    ApplyTimeline();
  } else {
    ApplyDesktopInput();
  }
  FillPoses(renderPoses, renderPoses != nullptr ? renderPoseCount : 0);
  FillPoses(gamePoses, gamePoses != nullptr ? gamePoseCount : 0);
  return VRCompositorError_None;
}

void SimulatedHeadset::WaitForFrameTick() const {
  const double elapsed = TimeNow() - startTime_;
  const double tick = startTime_ + (std::floor(elapsed / kFrameSeconds) + 1.0) * kFrameSeconds;
  for (double remaining = tick - TimeNow(); remaining > 0.0; remaining = tick - TimeNow()) {
    SleepMs(std::max<uint32_t>(1, uint32_t(remaining * 1000.0)));
  }
}

void SimulatedHeadset::DropUntakenCaptures() {
  for (int eye = 0; eye < 2; ++eye) {
    CaptureRequest& capture = captures_[eye];
    if (capture.pending) {
      Log(LogLevel::Warning, "No %s eye capture to %s: nothing was submitted in frame %llu",
          EyeName(EVREye(eye)), capture.path.c_str(),
          static_cast<unsigned long long>(capture.frame));
      capture.pending = false;
    }
  }
}

void SimulatedHeadset::FillPoses(TrackedDevicePose_t* poses, uint32_t count) const {
  const uint32_t n = std::min(count, k_unMaxTrackedDeviceCount);
  for (TrackedDeviceIndex_t i = 0; i < n; ++i) {
    TrackedDevicePose_t pose{};
    if (IsConnectedDevice(i)) {
      // Through the quaternion an OpenXR runtime would hand out, so both faces of the headset
      // give the application the same bits.
      pose.mDeviceToAbsoluteTracking =
          Matrix34FromQuaternionPose(QuaternionPoseFromAxes(devices_[i].pose));
      pose.bDeviceIsConnected = true;
      pose.bPoseIsValid = devices_[i].valid;
      pose.eTrackingResult =
          devices_[i].valid ? TrackingResult_Running_OK : TrackingResult_Running_OutOfRange;
    } else {
      pose.mDeviceToAbsoluteTracking = IdentityMatrix34();
      pose.eTrackingResult = TrackingResult_Uninitialized;
    }
    poses[i] = pose;
  }
}

void SimulatedHeadset::ApplyTimeline() {
  const std::vector<TimelineCommand>& commands = timeline_.commands;
  for (; nextCommand_ < commands.size() && commands[nextCommand_].frame <= frameIndex_;
       ++nextCommand_) {
    const TimelineCommand& command = commands[nextCommand_];
    Device& device = devices_[command.device];
    switch (command.kind) {
      case TimelineCommand::Kind::Pose: device.pose = command.pose; break;
      case TimelineCommand::Kind::Valid: device.valid = true; break;
      case TimelineCommand::Kind::Invalid: device.valid = false; break;
      case TimelineCommand::Kind::Trigger:
        SetInput(command.device, command.value, device.pressed);
        break;
      case TimelineCommand::Kind::Press:
        SetInput(command.device, device.trigger, device.pressed | ButtonMaskFromId(command.button));
        break;
      case TimelineCommand::Kind::Release:
        SetInput(command.device, device.trigger,
                 device.pressed & ~ButtonMaskFromId(command.button));
        break;
      case TimelineCommand::Kind::Capture: RequestCapture(command.eye, command.path); break;
      case TimelineCommand::Kind::Quit: RequestQuit(); break;
    }
  }
}

void SimulatedHeadset::ApplyDesktopInput() {
  const DesktopInput input = ReadDesktopInput();
  const double now = TimeNow();
  reach_ = NextReach(reach_, input.reachSteps, float(now - lastInputTime_),
                     ToMatrix34(devices_[kHeadIndex].pose), ToMatrix34(devices_[kLeftHandIndex].pose));
  lastInputTime_ = now;
  Device& right = devices_[kRightHandIndex];
  if (!right.scripted) {
    if (input.hasPointer) {
      const EyeOptics eyes[2] = {
          {GetProjectionMatrix(Eye_Left, 0.1f, 100.0f), GetEyeToHeadTransform(Eye_Left)},
          {GetProjectionMatrix(Eye_Right, 0.1f, 100.0f), GetEyeToHeadTransform(Eye_Right)}};
      HandPlacement placement;
      if (RightHandFromPointer(input.pointer, ToMatrix34(devices_[kHeadIndex].pose), eyes, reach_,
                               ToMatrix34(devices_[kLeftHandIndex].pose), &placement)) {
        right.pose = FromMatrix34(placement.pose);
      }
    }
    SetInput(kRightHandIndex, input.rightTrigger, input.rightButtons);
  }
  Device& left = devices_[kLeftHandIndex];
  if (!left.scripted) {
    SetInput(kLeftHandIndex, left.trigger, input.leftButtons);
  }
}

void SimulatedHeadset::RequestQuit() {
  ++quitRequests_;
  SDL_Event event{};
  event.type = SDL_QUIT;
  event.quit.timestamp = SDL_GetTicks();
  if (SDL_PushEvent(&event) < 0) {
    Log(LogLevel::Warning, "Simulated headset: could not post the quit event (%s)",
        SDL_GetError());
  } else {
    Log(LogLevel::Info, "Simulated headset: quit in frame %llu",
        static_cast<unsigned long long>(frameIndex_));
  }
}

// ------------------------------------------------------------------ compositor

EVRCompositorError SimulatedHeadset::Submit(EVREye eye, const Texture_t* texture,
                                            const VRTextureBounds_t* bounds,
                                            EVRSubmitFlags flags) {
  if (eye != Eye_Left && eye != Eye_Right) {
    return VRCompositorError_IndexOutOfRange;
  }
  if (texture == nullptr || texture->eType != TextureType_OpenGL) {
    return VRCompositorError_InvalidTexture;
  }
  const uintptr_t name = reinterpret_cast<uintptr_t>(texture->handle);
  if (name == 0 || name > UINT32_MAX) {
    return VRCompositorError_InvalidTexture;
  }
  ++submitCount_[eye];
  lastTexture_[eye] = uint32_t(name);
  CaptureRequest& capture = captures_[eye];
  if (capture.pending && capture.frame == frameIndex_) {
    capture.pending = false;
    CaptureEyeTexture(EyeName(eye), uint32_t(name), capture.path);
  }
  return VRCompositorError_None;
}

// --------------------------------------------------------------- test controls

SimulatedHeadset::Device* SimulatedHeadset::ControllerSlot(TrackedDeviceIndex_t index) {
  return IsController(index) ? &devices_[index] : nullptr;
}

void SimulatedHeadset::SetDevicePose(TrackedDeviceIndex_t index, const HmdMatrix34_t& pose,
                                     bool valid) {
  if (IsConnectedDevice(index)) {
    devices_[index].pose = FromMatrix34(pose);
    devices_[index].valid = valid;
    devices_[index].scripted = true;
  }
}

void SimulatedHeadset::SetPoseValid(TrackedDeviceIndex_t index, bool valid) {
  if (IsConnectedDevice(index)) {
    devices_[index].valid = valid;
    devices_[index].scripted = true;
  }
}

void SimulatedHeadset::SetTrigger(TrackedDeviceIndex_t index, float value) {
  if (Device* device = ControllerSlot(index)) {
    device->scripted = true;
    SetInput(index, value, device->pressed);
  }
}

void SimulatedHeadset::SetButtonsPressed(TrackedDeviceIndex_t index, uint64_t pressed) {
  if (Device* device = ControllerSlot(index)) {
    device->scripted = true;
    SetInput(index, device->trigger, pressed);
  }
}

void SimulatedHeadset::QueueEvent(const VREvent_t& event) { events_.push_back({event, TimeNow()}); }

void SimulatedHeadset::RequestCapture(EVREye eye, const std::string& path) {
  if (eye != Eye_Left && eye != Eye_Right) {
    return;
  }
  captures_[eye] = {true, frameIndex_, path};
}

HmdMatrix34_t SimulatedHeadset::DevicePose(TrackedDeviceIndex_t index) const {
  return IsConnectedDevice(index)
             ? Matrix34FromQuaternionPose(QuaternionPoseFromAxes(devices_[index].pose))
             : IdentityMatrix34();
}

bool SimulatedHeadset::PoseValid(TrackedDeviceIndex_t index) const {
  return IsConnectedDevice(index) && devices_[index].valid;
}

uint32_t SimulatedHeadset::SubmitCount(EVREye eye) const {
  return eye == Eye_Left || eye == Eye_Right ? submitCount_[eye] : 0;
}

uint32_t SimulatedHeadset::LastSubmittedTexture(EVREye eye) const {
  return eye == Eye_Left || eye == Eye_Right ? lastTexture_[eye] : 0;
}

}  // namespace vr::sim

#pragma once
// The simulated headset: the runtime behind the VR boundary when LOOMWORK_VR_RUNTIME=simulated.
// A standing user in front of the sculpture, two controllers and two base stations, paced at
// 90 Hz. The controllers follow a timeline file (sim_headset/sim_timeline.h) when one is given,
// otherwise the mouse and keyboard (vr/simulated/sim_desktop_input.h). Submitted eye images can
// be written as PNG.
//
// Everything runs on the thread that owns the OpenGL context; the test controls below are
// called between frames on that thread too.
#include <cstdint>
#include <deque>
#include <string>

#include "sim_headset/sim_devices.h"
#include "sim_headset/sim_options.h"
#include "sim_headset/sim_pose.h"
#include "sim_headset/sim_timeline.h"
#include "vr/simulated/sim_render_model_server.h"
#include "vr_api/openvr_api.h"

namespace vr::sim {

class SimulatedHeadset;
// The running headset, or null.
SimulatedHeadset* ActiveHeadset();

class SimulatedHeadset final : public IVRSystem,
                               public IVRChaperone,
                               public IVRCompositor,
                               public IVRRenderModels {
 public:
  static constexpr double kFrameSeconds = 1.0 / 90.0;
  static constexpr float kHorizontalFovDegrees = sim::kHorizontalFovDegrees;
  static constexpr float kEyeOffset = sim::kEyeOffset;

  explicit SimulatedHeadset(const SimulatedHeadsetOptions& options);
  ~SimulatedHeadset();
  SimulatedHeadset(const SimulatedHeadset&) = delete;
  SimulatedHeadset& operator=(const SimulatedHeadset&) = delete;

  // Loads the timeline, queues the activation events and applies frame 0. On failure returns
  // VRInitError_Init_FileNotFound (unreadable timeline) or VRInitError_Init_InstallationCorrupt
  // (malformed timeline); the headset must then be destroyed.
  EVRInitError Start();
  const SimulatedHeadsetOptions& Options() const { return options_; }

  // IVRSystem
  void GetRecommendedRenderTargetSize(uint32_t* width, uint32_t* height) override;
  HmdMatrix44_t GetProjectionMatrix(EVREye eye, float nearZ, float farZ) override;
  HmdMatrix34_t GetEyeToHeadTransform(EVREye eye) override;
  uint32_t GetStringTrackedDeviceProperty(TrackedDeviceIndex_t index, ETrackedDeviceProperty prop,
                                          char* buffer, uint32_t bufferSize,
                                          ETrackedPropertyError* error) override;
  int32_t GetInt32TrackedDeviceProperty(TrackedDeviceIndex_t index, ETrackedDeviceProperty prop,
                                        ETrackedPropertyError* error) override;
  ETrackedDeviceClass GetTrackedDeviceClass(TrackedDeviceIndex_t index) override;
  bool IsTrackedDeviceConnected(TrackedDeviceIndex_t index) override;
  ETrackedControllerRole GetControllerRoleForTrackedDeviceIndex(
      TrackedDeviceIndex_t index) override;
  bool PollNextEvent(VREvent_t* event, uint32_t eventSize) override;
  bool GetControllerState(TrackedDeviceIndex_t index, VRControllerState_t* state,
                          uint32_t stateSize) override;
  void TriggerHapticPulse(TrackedDeviceIndex_t index, uint32_t axisId,
                          unsigned short durationMicroseconds) override;

  // IVRChaperone
  bool GetPlayAreaSize(float* sizeX, float* sizeZ) override;

  // IVRCompositor
  EVRCompositorError WaitGetPoses(TrackedDevicePose_t* renderPoses, uint32_t renderPoseCount,
                                  TrackedDevicePose_t* gamePoses,
                                  uint32_t gamePoseCount) override;
  EVRCompositorError Submit(EVREye eye, const Texture_t* texture,
                            const VRTextureBounds_t* bounds = nullptr,
                            EVRSubmitFlags flags = Submit_Default) override;

  // IVRRenderModels
  EVRRenderModelError LoadRenderModel_Async(const char* renderModelName,
                                            RenderModel_t** renderModel) override;
  void FreeRenderModel(RenderModel_t* renderModel) override;
  EVRRenderModelError LoadTexture_Async(TextureID_t textureId,
                                        RenderModel_TextureMap_t** texture) override;
  void FreeTexture(RenderModel_TextureMap_t* texture) override;
  const char* GetRenderModelErrorNameFromEnum(EVRRenderModelError error) override;

  // ------------------------------------------------------------- test controls
  // A device set through these is no longer driven by the mouse and keyboard. Indices that are
  // not connected devices (or, for the controller calls, not controllers) are ignored.
  void SetDevicePose(TrackedDeviceIndex_t index, const HmdMatrix34_t& pose, bool valid = true);
  void SetPoseValid(TrackedDeviceIndex_t index, bool valid);
  void SetTrigger(TrackedDeviceIndex_t index, float value);  // clamped to 0..1
  // ButtonMaskFromId bits; changes queue VREvent_ButtonPress / VREvent_ButtonUnpress.
  void SetButtonsPressed(TrackedDeviceIndex_t index, uint64_t pressed);
  void QueueEvent(const VREvent_t& event);
  // Writes that eye's image submitted in the current frame to path (PNG).
  void RequestCapture(EVREye eye, const std::string& path);

  HmdMatrix34_t DevicePose(TrackedDeviceIndex_t index) const;  // identity for absent devices
  bool PoseValid(TrackedDeviceIndex_t index) const;
  uint32_t RenderModelRequests() const { return renderModels_.ModelRequests(); }
  uint32_t TextureRequests() const { return renderModels_.TextureRequests(); }
  size_t LiveRenderModels() const { return renderModels_.LiveModels(); }
  size_t LiveTextures() const { return renderModels_.LiveTextures(); }
  uint32_t HapticPulses() const { return hapticPulses_; }
  uint64_t FrameIndex() const { return frameIndex_; }  // 0 until the first WaitGetPoses
  uint32_t SubmitCount(EVREye eye) const;
  uint32_t LastSubmittedTexture(EVREye eye) const;  // OpenGL name, 0 before any submit
  uint32_t QuitRequests() const { return quitRequests_; }
  bool TimelineActive() const { return timelineActive_; }
  float Reach() const { return reach_; }

 private:
  struct Device {
    SimPose pose;
    bool valid = true;
    bool scripted = false;  // set through the test controls
    float trigger = 0.0f;
    uint64_t pressed = 0;
    VRControllerState_t state{};
  };
  struct QueuedEvent {
    VREvent_t event;
    double time;
  };
  struct CaptureRequest {
    bool pending = false;
    uint64_t frame = 0;
    std::string path;
  };

  Device* ControllerSlot(TrackedDeviceIndex_t index);
  void SetInput(TrackedDeviceIndex_t index, float trigger, uint64_t pressed);
  void RebuildControllerState(TrackedDeviceIndex_t index);
  void ApplyTimeline();
  void ApplyDesktopInput();
  void WaitForFrameTick() const;
  void DropUntakenCaptures();
  void FillPoses(TrackedDevicePose_t* poses, uint32_t count) const;
  void RequestQuit();

  SimulatedHeadsetOptions options_;
  int32_t triggerAxis_ = 1;
  Device devices_[k_unMaxTrackedDeviceCount];
  std::deque<QueuedEvent> events_;
  Timeline timeline_;
  bool timelineActive_ = false;
  size_t nextCommand_ = 0;
  uint64_t frameIndex_ = 0;
  double startTime_ = 0.0;
  float reach_ = 0.0f;
  double lastInputTime_ = 0.0;  // when the mouse and keyboard were last read
  RenderModelServer renderModels_;
  uint32_t hapticPulses_ = 0;
  uint32_t quitRequests_ = 0;
  uint32_t submitCount_[2] = {};
  uint32_t lastTexture_[2] = {};
  CaptureRequest captures_[2];
  bool badClipRangeLogged_ = false;
};

}  // namespace vr::sim

#pragma once
// The runtime behind the VR boundary when a real headset is used: the installed OpenXR runtime,
// through the Khronos loader, mapped onto the boundary's interfaces so the host above stays as it
// is. Devices: 0 the headset, 1 the left and 2 the right controller (connected while OpenXR
// reports an interaction profile for that hand). WaitGetPoses waits for and begins an OpenXR
// frame; the right eye's Submit ends it.
//
// Everything runs on the thread that owns the OpenGL context the session is made on.
#include <openxr/openxr.h>

#include <cstdint>
#include <deque>
#include <string>

#include "vr/openxr/openxr_controller_input.h"
#include "vr/openxr/openxr_eye_swapchains.h"
#include "vr/simulated/sim_render_model_server.h"
#include "vr_api/openvr_api.h"

namespace vr::openxr {

class OpenXRHeadset final : public IVRSystem,
                            public IVRChaperone,
                            public IVRCompositor,
                            public IVRRenderModels {
 public:
  static constexpr uint32_t kDeviceCount = 3;
  // The eyes above the floor when the runtime has no STAGE space and LOCAL (head height) is used.
  static constexpr float kStandingEyeHeight = 1.6f;

  OpenXRHeadset();
  ~OpenXRHeadset();
  OpenXRHeadset(const OpenXRHeadset&) = delete;
  OpenXRHeadset& operator=(const OpenXRHeadset&) = delete;

  // Instance, system, session on the current GL context, spaces, actions and swapchains; waits
  // briefly for the session to become ready and begins it. Errors: InstallationNotFound (no
  // runtime), HmdNotFound (no headset), InstallationCorrupt (the runtime refused a step).
  EVRInitError Start();

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

  // IVRRenderModels: the generated models of the simulated devices (OpenXR has none).
  EVRRenderModelError LoadRenderModel_Async(const char* renderModelName,
                                            RenderModel_t** renderModel) override;
  void FreeRenderModel(RenderModel_t* renderModel) override;
  EVRRenderModelError LoadTexture_Async(TextureID_t textureId,
                                        RenderModel_TextureMap_t** texture) override;
  void FreeTexture(RenderModel_TextureMap_t* texture) override;
  const char* GetRenderModelErrorNameFromEnum(EVRRenderModelError error) override;

  bool SessionRunning() const { return running_; }
  uint64_t FramesEnded() const { return framesEnded_; }

 private:
  struct DevicePose {
    HmdMatrix34_t pose{};
    bool valid = false;
    bool unusableLogged = false;  // said once until the device is located well again
  };

  bool CreateInstance(EVRInitError* error);
  bool CreateSpaces();
  void PumpEvents();
  void HandleStateChange(XrSessionState state);
  void RequestQuit(const char* why);
  void LocateFrame();
  void LocateDevice(XrSpace space, DevicePose* device);
  void EndFrame(bool withLayer);
  void QueueDeviceEvent(EVREventType type, TrackedDeviceIndex_t index);
  void FillPoses(TrackedDevicePose_t* poses, uint32_t count) const;

  XrInstance instance_ = XR_NULL_HANDLE;
  XrSystemId system_ = XR_NULL_SYSTEM_ID;
  XrSession session_ = XR_NULL_HANDLE;
  XrSpace trackingSpace_ = XR_NULL_HANDLE;  // STAGE, or LOCAL lowered to the floor
  XrSpace viewSpace_ = XR_NULL_HANDLE;
  bool stage_ = false;
  std::string systemName_ = "OpenXR";
  uint32_t eyeWidth_ = 0, eyeHeight_ = 0;
  XrSessionState state_ = XR_SESSION_STATE_UNKNOWN;
  bool running_ = false;
  bool quitRequested_ = false;
  bool frameBegun_ = false;
  bool shouldRender_ = false;
  XrTime displayTime_ = 0;
  uint32_t eyesCopied_ = 0;  // bit per eye copied into its swapchain this frame
  uint64_t framesEnded_ = 0;
  XrView views_[2] = {{XR_TYPE_VIEW}, {XR_TYPE_VIEW}};       // in the tracking space
  XrView eyesInHead_[2] = {{XR_TYPE_VIEW}, {XR_TYPE_VIEW}};  // in the view space
  bool viewsValid_ = false;
  DevicePose devices_[kDeviceCount];
  bool connected_[kDeviceCount] = {};
  ControllerInput input_;
  EyeSwapchains swapchains_;
  std::deque<VREvent_t> events_;
  sim::RenderModelServer renderModels_{0, false};
};

}  // namespace vr::openxr

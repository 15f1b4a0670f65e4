#pragma once
// Connects the application to a headset through the VR runtime: starts the runtime, owns the
// per-eye render targets, builds each VR frame's FrameInfo, resolves and submits the eye images,
// mirrors them into the desktop window (the companion view), reads poses, controller states and
// device events, and keeps the devices' render models.
//
// Everything runs on the application thread that owns the OpenGL context.
#include <array>
#include <cstdint>

#include "application/application.h"
#include "base/math_types.h"
#include "vr/openvr_render_model_manager.h"
#include "vr/vr_runtime.h"
#include "vr/vr_system.h"

class Controls;

// The per-eye targets: a 4-sample render framebuffer and its single-sample resolve.
struct EyeTarget {
  uint32_t depthTexture = 0;
  uint32_t colorTexture = 0;
  uint32_t renderFramebuffer = 0;
  uint32_t resolveTexture = 0;
  uint32_t resolveFramebuffer = 0;
};

class OpenVRAppHost : public VRSystem {
 public:
  OpenVRAppHost(Draw::DrawContext* context, AudioStreamer* audio, Application* application);
  ~OpenVRAppHost() override;
  OpenVRAppHost(const OpenVRAppHost&) = delete;
  OpenVRAppHost& operator=(const OpenVRAppHost&) = delete;

  // VRSystem.
  uint32_t GetDeviceCount() override { return kDeviceCount; }
  DeviceKind GetDeviceKind(uint32_t index) override { return kinds_[index]; }
  bool GetDevicePose(uint32_t index, Matrix4x4* pose) override;
  ControllerState* GetControllerState(uint32_t index) override { return &controllers_[index]; }
  void TriggerHapticPulse(uint32_t index, uint16_t microseconds) override;
  void SubmitFrame() override;
  const Mesh* GetRenderModel(uint32_t index) override;
  Draw::Texture* GetRenderModelTexture(uint32_t index) override;
  bool ReservedQuery() override { return false; }

  // Everything before the first frame, including the application's Init; false when the
  // runtime, the OpenGL resources or the compositor are not available.
  bool Init(bool monoView);
  // Per frame, in this order (the run loop presents the window between RenderFrame and EndFrame).
  void PollInput(Controls* controls, bool* vrInput);
  void RenderFrame();
  void EndFrame();
  // Stops the runtime, releases every OpenGL object and shuts the application down.
  void Shutdown();

  int32_t CompanionWidth() const { return companionWidth_; }
  int32_t CompanionHeight() const { return companionHeight_; }
  uint32_t RenderWidth() const { return renderWidth_; }
  uint32_t RenderHeight() const { return renderHeight_; }
  uint32_t ConnectedDeviceCount() const { return connectedDevices_; }
  const EyeTarget& Eye(int eye) const { return eyes_[eye & 1]; }
  const char* TrackingSystemName() const { return trackingSystemName_.c_str(); }
  const char* SerialNumber() const { return serialNumber_.c_str(); }
  const Matrix4x4& HeadView() const { return headView_; }
  const OpenVRRenderModelManager& RenderModels() const { return renderModels_; }

 private:
  // The runtime's interfaces, fetched once and forgotten whenever the runtime's init token
  // changes (the runtime was restarted underneath).
  struct Interfaces {
    uint32_t token = 0;
    vr::IVRSystem* system = nullptr;
    vr::IVRChaperone* chaperone = nullptr;
    vr::IVRCompositor* compositor = nullptr;
    vr::IVRRenderModels* renderModels = nullptr;
    void ClearIfStale();
  };

  bool InitOpenGL();
  // The eyes' projections and head-to-eye transforms from the runtime.
  void ReadEyeOptics();
  void FreeOpenGL();
  static void BindEyeTarget(int view, const FrameInfo* info, const float clearColour[4]);

  Application* application_;
  AudioStreamer* audio_;
  Interfaces vr_;
  std::string trackingSystemName_ = "No Driver";
  std::string serialNumber_ = "No Display";
  std::array<vr::TrackedDevicePose_t, kDeviceCount> rawPoses_ = {};
  std::array<Matrix4x4, kDeviceCount> poses_ = {};
  uint32_t connectedDevices_ = 0;
  int32_t companionWidth_ = 0;
  int32_t companionHeight_ = 0;
  Draw::DrawContext* context_;
  std::array<DeviceKind, kDeviceCount> kinds_ = {};
  std::array<ControllerState, kDeviceCount> controllers_ = {};
  float nearClip_ = 0.1f;
  float farClip_ = 1000.0f;
  Matrix4x4 headView_;
  Matrix4x4 headToEye_[2];
  Matrix4x4 projection_[2];
  uint32_t companionVertexBuffer_ = 0;
  uint32_t companionIndexBuffer_ = 0;
  uint32_t companionIndexCount_ = 0;
  uint32_t companionProgram_ = 0;
  uint32_t companionVertexArray_ = 0;
  EyeTarget eyes_[2];
  uint32_t renderWidth_ = 0;
  uint32_t renderHeight_ = 0;
  OpenVRRenderModelManager renderModels_;
  bool monoView_ = false;
  FrameInfo frame_;
};

// Device kind of a runtime device class (invalid, headset, controller, generic tracker, tracking
// reference); any other class is None.
DeviceKind DeviceKindFromClass(vr::ETrackedDeviceClass deviceClass);
// A runtime 3x4 pose (rows x, y, z; translation in the fourth column) in the row-vector form:
// the transpose, with the translation in the fourth row.
Matrix4x4 MatrixFromRuntime(const vr::HmdMatrix34_t& m);
Matrix4x4 MatrixFromRuntime(const vr::HmdMatrix44_t& m);

#include "vr/openvr_app_host.h"

#include <SDL.h>

#include <cstring>

#include "base/log.h"
#include "gfx/opengl_context.h"

namespace {

constexpr uint32_t kEventSize = sizeof(vr::VREvent_t);                   // 40
constexpr uint32_t kControllerStateSize = sizeof(vr::VRControllerState_t);  // 64

constexpr const char* kCompanionVertexShader =
    "#version 410 core\n"
    "layout(location = 0) in vec4 position;\n"
    "layout(location = 1) in vec2 v2UVIn;\n"
    "noperspective  out vec2 v2UV;\n"
    "void main() {\n"
    "  v2UV = v2UVIn;\n"
    "  gl_Position = position;\n"
    "}\n";
constexpr const char* kCompanionFragmentShader =
    "#version 410 core\n"
    "uniform sampler2D mytexture;\n"
    "noperspective  in vec2 v2UV;\n"
    "out vec4 outputColor;\n"
    "void main() {\n"
    "  outputColor = texture(mytexture, v2UV);\n"
    "}\n";

// Returns false when the framebuffer is incomplete. The host carries on with such a target:
// what it draws is lost, but nothing else depends on it.
bool CreateEyeTarget(int width, int height, EyeTarget& target) {
  glGenFramebuffers(1, &target.renderFramebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, target.renderFramebuffer);

  glGenTextures(1, &target.depthTexture);
  glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, target.depthTexture);
  glTexImage2DMultisample(GL_TEXTURE_2D_MULTISAMPLE, 4, GL_DEPTH24_STENCIL8, width, height, GL_TRUE);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_TEXTURE_2D_MULTISAMPLE,
                         target.depthTexture, 0);

  glGenTextures(1, &target.colorTexture);
  glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, target.colorTexture);
  glTexImage2DMultisample(GL_TEXTURE_2D_MULTISAMPLE, 4, GL_RGBA8, width, height, GL_TRUE);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D_MULTISAMPLE,
                         target.colorTexture, 0);

  glGenFramebuffers(1, &target.resolveFramebuffer);
  glBindFramebuffer(GL_FRAMEBUFFER, target.resolveFramebuffer);
  glGenTextures(1, &target.resolveTexture);
  glBindTexture(GL_TEXTURE_2D, target.resolveTexture);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
  glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
  glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
  glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                         target.resolveTexture, 0);

  const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  return complete;
}

void DeleteEyeTarget(EyeTarget& target) {
  glDeleteTextures(1, &target.depthTexture);
  glDeleteTextures(1, &target.colorTexture);
  glDeleteFramebuffers(1, &target.renderFramebuffer);
  glDeleteTextures(1, &target.resolveTexture);
  glDeleteFramebuffers(1, &target.resolveFramebuffer);
  target = EyeTarget{};
}

}  // namespace

DeviceKind DeviceKindFromClass(vr::ETrackedDeviceClass deviceClass) {
  switch (deviceClass) {
    case vr::TrackedDeviceClass_Invalid:
      return DeviceKind::Invalid;
    case vr::TrackedDeviceClass_HMD:
      return DeviceKind::Headset;
    case vr::TrackedDeviceClass_Controller:
      return DeviceKind::Controller;
    case vr::TrackedDeviceClass_GenericTracker:
      return DeviceKind::GenericTracker;
    case vr::TrackedDeviceClass_TrackingReference:
      return DeviceKind::TrackingReference;
    default:
      return DeviceKind::None;
  }
}

Matrix4x4 MatrixFromRuntime(const vr::HmdMatrix34_t& m) {
  Matrix4x4 out;
  for (int column = 0; column < 4; ++column) {
    for (int row = 0; row < 3; ++row) {
      out.m[4 * column + row] = m.m[row][column];
    }
  }
  out.m[15] = 1.0f;
  return out;
}

Matrix4x4 MatrixFromRuntime(const vr::HmdMatrix44_t& m) {
  Matrix4x4 out;
  for (int column = 0; column < 4; ++column) {
    for (int row = 0; row < 4; ++row) {
      out.m[4 * column + row] = m.m[row][column];
    }
  }
  return out;
}

void OpenVRAppHost::Interfaces::ClearIfStale() {
  const uint32_t current = vr::VR_GetInitToken();
  if (current != token) {
    *this = Interfaces{};
    token = current;
  }
}

OpenVRAppHost::OpenVRAppHost(Draw::DrawContext* context, AudioStreamer* audio,
                             Application* application)
    : application_(application), audio_(audio), context_(context) {
  kinds_.fill(DeviceKind::None);
}

OpenVRAppHost::~OpenVRAppHost() {
  Log(LogLevel::Warning, "Shutdown");
}

bool OpenVRAppHost::Init(bool monoView) {
  monoView_ = monoView;
  // The companion window must never wait for the desktop display's refresh: the headset paces.
  SDL_GL_SetSwapInterval(0);

  vr::EVRInitError error = vr::VRInitError_None;
  vr::VR_InitInternal(&error, vr::VRApplication_Scene);
  if (error == vr::VRInitError_None) {
    if (!vr::VR_IsInterfaceVersionValid(vr::IVRSystem_Version)) {
      vr::VR_ShutdownInternal();
      error = vr::VRInitError_Init_InterfaceNotFound;
    } else {
      vr_.ClearIfStale();
      vr_.system = static_cast<vr::IVRSystem*>(
          vr::VR_GetGenericInterface(vr::IVRSystem_Version, &error));
      if (error == vr::VRInitError_None) {
        vr_.chaperone = static_cast<vr::IVRChaperone*>(
            vr::VR_GetGenericInterface(vr::IVRChaperone_Version, &error));
      }
    }
  }
  if (error != vr::VRInitError_None) {
    vr_.system = nullptr;
    Log(LogLevel::Error, "Unable to init VR runtime: %s",
        vr::VR_GetVRInitErrorAsEnglishDescription(error));
    return false;
  }

  vr_.renderModels = static_cast<vr::IVRRenderModels*>(
      vr::VR_GetGenericInterface(vr::IVRRenderModels_Version, &error));
  if (vr_.renderModels == nullptr) {
    vr_.system = nullptr;
    vr::VR_ShutdownInternal();
    Log(LogLevel::Error, "Unable to get render model interface: %s",
        vr::VR_GetVRInitErrorAsEnglishDescription(error));
    return false;
  }
  renderModels_.renderModels = vr_.renderModels;

  companionWidth_ = monoView ? 720 : 1280;
  companionHeight_ = 720;
  trackingSystemName_ =
      ReadStringProperty(vr_.system, vr::k_unTrackedDeviceIndex_Hmd,
                         vr::Prop_TrackingSystemName_String);
  serialNumber_ = ReadStringProperty(vr_.system, vr::k_unTrackedDeviceIndex_Hmd,
                                     vr::Prop_SerialNumber_String);
  nearClip_ = 0.1f;
  farClip_ = 1000.0f;

  if (!InitOpenGL()) {
    Log(LogLevel::Warning, "%s - Unable to initialize OpenGL!", "OpenVRAppHost::Init");
    return false;
  }

  vr_.compositor = static_cast<vr::IVRCompositor*>(
      vr::VR_GetGenericInterface(vr::IVRCompositor_Version, &error));
  if (vr_.compositor == nullptr) {
    Log(LogLevel::Warning, "Compositor initialization failed. See log file for details");
    Log(LogLevel::Warning, "%s - Failed to initialize VR Compositor!", "OpenVRAppHost::Init");
    // The application's Init has run: pair it with its Shutdown, so that the run loop's next
    // attempt starts from a clean application and every successful start initialises it once.
    Shutdown();
    return false;
  }
  return true;
}

bool OpenVRAppHost::InitOpenGL() {
  companionProgram_ = Draw::CompileProgram(kCompanionVertexShader, kCompanionFragmentShader);
  if (companionProgram_ == 0) {
    return false;
  }

  FrameInfo info;
  info.isVR = true;
  info.viewCount = 2;
  info.vrSystem = this;
  info.headPose = Matrix4x4{};
  info.headView = Matrix4x4{};
  application_->Init(context_, audio_, &info);

  ReadEyeOptics();
  char text[512];
  MatrixToString(projection_[0], text, sizeof text);
  Log(LogLevel::Debug, "LProj: %s", text);

  vr_.system->GetRecommendedRenderTargetSize(&renderWidth_, &renderHeight_);
  for (EyeTarget& eye : eyes_) {
    CreateEyeTarget(int(renderWidth_), int(renderHeight_), eye);
  }

  // The left quad covers the whole window in mono view, the left half otherwise.
  const float r = monoView_ ? 1.0f : 0.0f;
  const float vertices[8][5] = {
      {-1, -1, 0, 0, 0}, {r, -1, 0, 1, 0}, {-1, 1, 0, 0, 1}, {r, 1, 0, 1, 1},
      {0, -1, 0, 0, 0},  {1, -1, 0, 1, 0}, {0, 1, 0, 0, 1},  {1, 1, 0, 1, 1},
  };
  const uint16_t indices[12] = {0, 1, 3, 0, 3, 2, 4, 5, 7, 4, 7, 6};
  companionIndexCount_ = 12;
  glGenVertexArrays(1, &companionVertexArray_);
  glBindVertexArray(companionVertexArray_);
  glGenBuffers(1, &companionVertexBuffer_);
  glBindBuffer(GL_ARRAY_BUFFER, companionVertexBuffer_);
  glBufferData(GL_ARRAY_BUFFER, sizeof vertices, vertices, GL_STATIC_DRAW);
  glGenBuffers(1, &companionIndexBuffer_);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, companionIndexBuffer_);
  glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof indices, indices, GL_STATIC_DRAW);
  glEnableVertexAttribArray(0);
  glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 20, reinterpret_cast<void*>(0));
  glEnableVertexAttribArray(1);
  glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 20, reinterpret_cast<void*>(12));
  glBindVertexArray(0);
  glBindBuffer(GL_ARRAY_BUFFER, 0);
  glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);

  renderModels_.LoadConnectedDeviceModels(context_, vr_.system);
  return true;
}

void OpenVRAppHost::ReadEyeOptics() {
  for (int eye = 0; eye < 2; ++eye) {
    const auto e = static_cast<vr::EVREye>(eye);
    projection_[eye] = MatrixFromRuntime(vr_.system->GetProjectionMatrix(e, nearClip_, farClip_));
    const Matrix4x4 eyeToHead = MatrixFromRuntime(vr_.system->GetEyeToHeadTransform(e));
    if (!InvertMatrix(eyeToHead, headToEye_[eye])) {
      headToEye_[eye] = Matrix4x4::Identity();
    }
  }
}

void OpenVRAppHost::PollInput(Controls* /*controls*/, bool* vrInput) {
  vr_.ClearIfStale();
  if (vr_.system != nullptr) {
    vr::VREvent_t event;
    while (vr_.system->PollNextEvent(&event, kEventSize)) {
      const unsigned device = event.trackedDeviceIndex;
      switch (event.eventType) {
        case vr::VREvent_TrackedDeviceActivated:
          renderModels_.LoadDeviceModel(context_, vr_.system, device);
          Log(LogLevel::Warning, "Device %u attached. Setting up render model.\n", device);
          break;
        case vr::VREvent_TrackedDeviceDeactivated:
          Log(LogLevel::Warning, "Device %u detached.", device);
          break;
        case vr::VREvent_TrackedDeviceUpdated:
          Log(LogLevel::Warning, "Device %u updated.", device);
          break;
        default:
          break;
      }
    }

    for (uint32_t index = 0; index < kDeviceCount; ++index) {
      vr::VRControllerState_t state;
      if (!vr_.system->GetControllerState(index, &state, kControllerStateSize)) {
        continue;
      }
      ControllerState& controller = controllers_[index];
      switch (vr_.system->GetControllerRoleForTrackedDeviceIndex(index)) {
        case vr::TrackedControllerRole_LeftHand:
          controller.role = kRoleLeftHand;
          break;
        case vr::TrackedControllerRole_RightHand:
          controller.role = kRoleRightHand;
          break;
        case vr::TrackedControllerRole_Invalid:
          controller.role = kRoleNone;
          break;
        default:
          break;
      }
      controller.trackpadAxis = -1;
      controller.triggerAxis = -1;
      controller.buttonsPressedNow = state.ulButtonPressed & ~controller.buttonsPressed;
      controller.buttonsReleasedNow = controller.buttonsPressed & ~state.ulButtonPressed;
      controller.buttonsTouched = state.ulButtonTouched;
      controller.packetNumber = state.unPacketNum;
      controller.buttonsPressed = state.ulButtonPressed;
      for (int k = 0; k < 5; ++k) {
        controller.axes[k].x = state.rAxis[k].x;
        controller.axes[k].y = state.rAxis[k].y;
        vr::ETrackedPropertyError error = vr::TrackedProp_Success;
        const int32_t type = vr_.system->GetInt32TrackedDeviceProperty(
            index, static_cast<vr::ETrackedDeviceProperty>(vr::Prop_Axis0Type_Int32 + k), &error);
        switch (type) {
          case vr::k_eControllerAxis_TrackPad:
            controller.axisTypes[k] = 1;
            controller.trackpadAxis = k;
            break;
          case vr::k_eControllerAxis_Joystick:
            controller.axisTypes[k] = 2;
            break;
          case vr::k_eControllerAxis_Trigger:
            controller.axisTypes[k] = 0;
            controller.triggerAxis = k;
            break;
          case vr::k_eControllerAxis_None:
            controller.axisTypes[k] = 0;
            break;
          default:
            break;
        }
      }
    }
  }
  *vrInput = true;
}

void OpenVRAppHost::BindEyeTarget(int view, const FrameInfo* info, const float clearColour[4]) {
  glBindFramebuffer(GL_FRAMEBUFFER, info->eyeFramebuffer[view & 1]);
  glClearColor(clearColour[0], clearColour[1], clearColour[2], clearColour[3]);
  glClearDepth(1.0);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

void OpenVRAppHost::RenderFrame() {
  vr_.ClearIfStale();
  if (vr_.system != nullptr) {
    connectedDevices_ = 0;
    for (uint32_t index = 1; index < kDeviceCount; ++index) {
      if (vr_.system->IsTrackedDeviceConnected(index)) ++connectedDevices_;
    }
  }
  glClearColor(0.15f, 0.15f, 0.18f, 1.0f);
  glEnable(GL_MULTISAMPLE);

  FrameInfo& info = frame_;
  info = FrameInfo{};
  info.isVR = true;
  info.viewCount = 2;
  for (int eye = 0; eye < 2; ++eye) {
    info.eyeFramebuffer[eye] = eyes_[eye].renderFramebuffer;
    info.eyeProjection[eye] = headToEye_[eye] * projection_[eye];
    info.eyeViewport[eye][0] = 0.0f;
    info.eyeViewport[eye][1] = 0.0f;
    info.eyeViewport[eye][2] = float(renderWidth_);
    info.eyeViewport[eye][3] = float(renderHeight_);
  }
  info.headPose = poses_[0];
  info.headView = headView_;
  info.width = renderWidth_;
  info.height = renderHeight_;
  info.vrSystem = this;
  info.targetUserData = this;
  info.bindTarget = &BindEyeTarget;
  application_->UpdateAndRender(context_, &info);
}

void OpenVRAppHost::SubmitFrame() {
  const GLint w = GLint(renderWidth_);
  const GLint h = GLint(renderHeight_);
  for (EyeTarget& eye : eyes_) {
    glBindFramebuffer(GL_READ_FRAMEBUFFER, eye.renderFramebuffer);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, eye.resolveFramebuffer);
    glBlitFramebuffer(0, 0, w, h, 0, 0, w, h, GL_COLOR_BUFFER_BIT, GL_LINEAR);
  }
  glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
  glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);

  vr_.ClearIfStale();
  if (vr_.compositor != nullptr) {
    for (int eye = 0; eye < 2; ++eye) {
      const vr::Texture_t texture = {
          reinterpret_cast<void*>(uintptr_t(eyes_[eye].resolveTexture)), vr::TextureType_OpenGL,
          vr::ColorSpace_Gamma};
      vr_.compositor->Submit(static_cast<vr::EVREye>(eye), &texture, nullptr, vr::Submit_Default);
    }
  }

  glBindFramebuffer(GL_FRAMEBUFFER, 0);
  glDisable(GL_MULTISAMPLE);
  glDisable(GL_DEPTH_TEST);
  glDisable(GL_BLEND);
  glViewport(0, 0, companionWidth_, companionHeight_);
  glBindVertexArray(companionVertexArray_);
  glUseProgram(companionProgram_);
  const int eyesShown = monoView_ ? 1 : 2;
  for (int eye = 0; eye < eyesShown; ++eye) {
    glBindTexture(GL_TEXTURE_2D, eyes_[eye].resolveTexture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT,
                   reinterpret_cast<void*>(uintptr_t(eye * 6 * sizeof(uint16_t))));
  }
  glBindVertexArray(0);
  glUseProgram(0);
}

void OpenVRAppHost::EndFrame() {
  glDisable(GL_SCISSOR_TEST);
  glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);

  vr_.ClearIfStale();
  if (vr_.system == nullptr) {
    return;
  }
  if (vr_.compositor != nullptr) {
    vr_.compositor->WaitGetPoses(rawPoses_.data(), kDeviceCount, nullptr, 0);
  }
  for (uint32_t index = 0; index < kDeviceCount; ++index) {
    if (rawPoses_[index].bPoseIsValid) {
      poses_[index] = MatrixFromRuntime(rawPoses_[index].mDeviceToAbsoluteTracking);
      kinds_[index] = DeviceKindFromClass(vr_.system->GetTrackedDeviceClass(index));
    }
  }
  if (rawPoses_[0].bPoseIsValid && !InvertMatrix(poses_[0], headView_)) {
    headView_ = Matrix4x4::Identity();
  }
  // OpenXR runtimes may change the eyes' fields of view from frame to frame.
  ReadEyeOptics();
}

bool OpenVRAppHost::GetDevicePose(uint32_t index, Matrix4x4* pose) {
  if (!rawPoses_[index].bPoseIsValid) {
    return false;
  }
  *pose = poses_[index];
  return true;
}

void OpenVRAppHost::TriggerHapticPulse(uint32_t index, uint16_t microseconds) {
  vr_.ClearIfStale();
  if (vr_.system != nullptr) {
    vr_.system->TriggerHapticPulse(index, 0, microseconds);
  }
}

const Mesh* OpenVRAppHost::GetRenderModel(uint32_t index) {
  const RenderModel* model = renderModels_.DeviceModel(index);
  return model != nullptr ? &model->mesh : nullptr;
}

Draw::Texture* OpenVRAppHost::GetRenderModelTexture(uint32_t index) {
  const RenderModel* model = renderModels_.DeviceModel(index);
  return model != nullptr ? model->texture : nullptr;
}

void OpenVRAppHost::FreeOpenGL() {
  glDeleteBuffers(1, &companionVertexBuffer_);
  glDeleteBuffers(1, &companionIndexBuffer_);
  companionVertexBuffer_ = companionIndexBuffer_ = 0;
  if (companionProgram_ != 0) {
    glDeleteProgram(companionProgram_);
    companionProgram_ = 0;
  }
  if (companionVertexArray_ != 0) {
    glDeleteVertexArrays(1, &companionVertexArray_);
    companionVertexArray_ = 0;
  }
  for (EyeTarget& eye : eyes_) DeleteEyeTarget(eye);
}

void OpenVRAppHost::Shutdown() {
  vr_.ClearIfStale();
  if (vr_.system != nullptr) {
    vr::VR_ShutdownInternal();
    vr_ = Interfaces{};
  }
  renderModels_.ReleaseModels(context_);
  FreeOpenGL();
  application_->Shutdown(context_);
}

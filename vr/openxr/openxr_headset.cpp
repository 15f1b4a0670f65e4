#include "vr/openxr/openxr_headset.h"

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

#include "base/log.h"
#include "sim_headset/sim_devices.h"
#include "vr/openxr/openxr_calls.h"
#include "vr/openxr/openxr_gl_session.h"
#include "vr/openxr/openxr_views.h"
#include "vr_api/device_properties.h"

namespace vr::openxr {
namespace {

constexpr XrViewConfigurationType kViewConfiguration = XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO;
// Named here: its macro lives in the platform header, which needs X11 and GLX.
constexpr const char* kOpenGlExtension = "XR_KHR_opengl_enable";
constexpr float kDefaultHalfFov = 0.8726646f;  // 50 degrees, until the runtime has located views
constexpr float kDefaultEyeOffset = 0.032f;
// How long Start waits for the runtime to say the session is ready; a slower runtime gets its
// session begun on a later frame.
constexpr auto kReadyWait = std::chrono::seconds(2);

const char* StateName(XrSessionState state) {
  switch (state) {
    case XR_SESSION_STATE_IDLE: return "IDLE";
    case XR_SESSION_STATE_READY: return "READY";
    case XR_SESSION_STATE_SYNCHRONIZED: return "SYNCHRONIZED";
    case XR_SESSION_STATE_VISIBLE: return "VISIBLE";
    case XR_SESSION_STATE_FOCUSED: return "FOCUSED";
    case XR_SESSION_STATE_STOPPING: return "STOPPING";
    case XR_SESSION_STATE_LOSS_PENDING: return "LOSS_PENDING";
    case XR_SESSION_STATE_EXITING: return "EXITING";
    default: return "UNKNOWN";
  }
}

HmdMatrix34_t Identity34() {
  HmdMatrix34_t m{};
  m.m[0][0] = m.m[1][1] = m.m[2][2] = 1.0f;
  return m;
}

}  // namespace

OpenXRHeadset::OpenXRHeadset() {
  for (DevicePose& device : devices_) device.pose = Identity34();
}

OpenXRHeadset::~OpenXRHeadset() {
  // Swapchain images belong to the GL context, which the host keeps current while it shuts down.
  swapchains_.Destroy();
  input_.Destroy();
  if (viewSpace_ != XR_NULL_HANDLE) xrDestroySpace(viewSpace_);
  if (trackingSpace_ != XR_NULL_HANDLE) xrDestroySpace(trackingSpace_);
  if (session_ != XR_NULL_HANDLE) xrDestroySession(session_);
  if (instance_ != XR_NULL_HANDLE) xrDestroyInstance(instance_);
}

bool OpenXRHeadset::CreateInstance(EVRInitError* error) {
  uint32_t count = 0;
  XrResult result = xrEnumerateInstanceExtensionProperties(nullptr, 0, &count, nullptr);
  std::vector<XrExtensionProperties> extensions(count, {XR_TYPE_EXTENSION_PROPERTIES});
  if (XR_SUCCEEDED(result)) {
    result = xrEnumerateInstanceExtensionProperties(nullptr, count, &count, extensions.data());
  }
  if (XR_FAILED(result)) {
    Log(LogLevel::Warning,
        "No OpenXR runtime found (%s): start one (SteamVR, Monado, WiVRn) or name its manifest "
        "in XR_RUNTIME_JSON",
        ResultName(XR_NULL_HANDLE, result));
    *error = VRInitError_Init_InstallationNotFound;
    return false;
  }
  const bool hasOpenGl = std::any_of(extensions.begin(), extensions.begin() + count,
                                     [](const XrExtensionProperties& e) {
                                       return std::strcmp(e.extensionName,
                                                          kOpenGlExtension) == 0;
                                     });
  if (!hasOpenGl) {
    Log(LogLevel::Error, "The OpenXR runtime does not offer OpenGL (%s)",
        kOpenGlExtension);
    *error = VRInitError_Init_InstallationCorrupt;
    return false;
  }
  const char* enabled[] = {kOpenGlExtension};
  XrInstanceCreateInfo info{XR_TYPE_INSTANCE_CREATE_INFO};
  std::strcpy(info.applicationInfo.applicationName, "Loomwork");
  info.applicationInfo.applicationVersion = 1;
  std::strcpy(info.applicationInfo.engineName, "Loomwork");
  info.applicationInfo.engineVersion = 1;
  info.applicationInfo.apiVersion = XR_MAKE_VERSION(1, 0, 0);
  info.enabledExtensionCount = 1;
  info.enabledExtensionNames = enabled;
  result = xrCreateInstance(&info, &instance_);
  if (XR_FAILED(result)) {
    Log(LogLevel::Warning, "OpenXR: xrCreateInstance failed: %s",
        ResultName(XR_NULL_HANDLE, result));
    instance_ = XR_NULL_HANDLE;
    *error = result == XR_ERROR_RUNTIME_UNAVAILABLE || result == XR_ERROR_RUNTIME_FAILURE
                 ? VRInitError_Init_InstallationNotFound
                 : VRInitError_Init_InstallationCorrupt;
    return false;
  }
  XrInstanceProperties properties{XR_TYPE_INSTANCE_PROPERTIES};
  if (XR_SUCCEEDED(xrGetInstanceProperties(instance_, &properties))) {
    Log(LogLevel::Info, "OpenXR runtime: %s %u.%u.%u", properties.runtimeName,
        unsigned(XR_VERSION_MAJOR(properties.runtimeVersion)),
        unsigned(XR_VERSION_MINOR(properties.runtimeVersion)),
        unsigned(XR_VERSION_PATCH(properties.runtimeVersion)));
  }
  return true;
}

bool OpenXRHeadset::CreateSpaces() {
  uint32_t count = 0;
  std::vector<XrReferenceSpaceType> types;
  if (XR_SUCCEEDED(xrEnumerateReferenceSpaces(session_, 0, &count, nullptr))) {
    types.resize(count);
    if (XR_FAILED(xrEnumerateReferenceSpaces(session_, count, &count, types.data()))) count = 0;
    types.resize(count);
  }
  stage_ = std::find(types.begin(), types.end(), XR_REFERENCE_SPACE_TYPE_STAGE) != types.end();
  XrReferenceSpaceCreateInfo info{XR_TYPE_REFERENCE_SPACE_CREATE_INFO};
  info.poseInReferenceSpace.orientation.w = 1.0f;
  if (stage_) {
    info.referenceSpaceType = XR_REFERENCE_SPACE_TYPE_STAGE;
  } else {
    // LOCAL starts at the eyes: its floor is a standing person's eye height below.
    Log(LogLevel::Info, "OpenXR: no STAGE space; LOCAL with the floor %.2f m below the eyes",
        double(kStandingEyeHeight));
    info.referenceSpaceType = XR_REFERENCE_SPACE_TYPE_LOCAL;
    info.poseInReferenceSpace.position.y = -kStandingEyeHeight;
  }
  if (!Succeeded(instance_, xrCreateReferenceSpace(session_, &info, &trackingSpace_),
                 "xrCreateReferenceSpace")) {
    return false;
  }
  info.referenceSpaceType = XR_REFERENCE_SPACE_TYPE_VIEW;
  info.poseInReferenceSpace = {};
  info.poseInReferenceSpace.orientation.w = 1.0f;
  return Succeeded(instance_, xrCreateReferenceSpace(session_, &info, &viewSpace_),
                   "xrCreateReferenceSpace");
}

EVRInitError OpenXRHeadset::Start() {
  EVRInitError error = VRInitError_None;
  if (!CreateInstance(&error)) return error;

  XrSystemGetInfo systemInfo{XR_TYPE_SYSTEM_GET_INFO};
  systemInfo.formFactor = XR_FORM_FACTOR_HEAD_MOUNTED_DISPLAY;
  const XrResult systemResult = xrGetSystem(instance_, &systemInfo, &system_);
  if (XR_FAILED(systemResult)) {
    Log(LogLevel::Warning, "OpenXR: no headset (%s)", ResultName(instance_, systemResult));
    return VRInitError_Init_HmdNotFound;
  }
  XrSystemProperties properties{XR_TYPE_SYSTEM_PROPERTIES};
  if (XR_SUCCEEDED(xrGetSystemProperties(instance_, system_, &properties))) {
    systemName_ = properties.systemName;
  }

  uint32_t viewCount = 0;
  XrViewConfigurationView views[2] = {{XR_TYPE_VIEW_CONFIGURATION_VIEW},
                                      {XR_TYPE_VIEW_CONFIGURATION_VIEW}};
  if (!Succeeded(instance_,
                 xrEnumerateViewConfigurationViews(instance_, system_, kViewConfiguration, 2,
                                                   &viewCount, views),
                 "xrEnumerateViewConfigurationViews") ||
      viewCount != 2) {
    return VRInitError_Init_InstallationCorrupt;
  }
  eyeWidth_ = std::min(views[0].recommendedImageRectWidth, views[0].maxImageRectWidth);
  eyeHeight_ = std::min(views[0].recommendedImageRectHeight, views[0].maxImageRectHeight);

  if (!input_.Create(instance_)) return VRInitError_Init_InstallationCorrupt;
  std::string why;
  if (XR_FAILED(CreateSessionOnCurrentGlx(instance_, system_, &session_, &why))) {
    Log(LogLevel::Error, "OpenXR: no session on the program's OpenGL context: %s", why.c_str());
    session_ = XR_NULL_HANDLE;
    return VRInitError_Init_InstallationCorrupt;
  }
  if (!CreateSpaces() || !input_.Attach(session_) ||
      !swapchains_.Create(instance_, session_, eyeWidth_, eyeHeight_)) {
    return VRInitError_Init_InstallationCorrupt;
  }
  connected_[k_unTrackedDeviceIndex_Hmd] = true;
  QueueDeviceEvent(VREvent_TrackedDeviceActivated, k_unTrackedDeviceIndex_Hmd);
  Log(LogLevel::Info, "OpenXR: %s, eyes %ux%u, %s space", systemName_.c_str(), eyeWidth_,
      eyeHeight_, stage_ ? "STAGE" : "LOCAL");

  const auto deadline = std::chrono::steady_clock::now() + kReadyWait;
  for (PumpEvents(); !running_ && !quitRequested_ && std::chrono::steady_clock::now() < deadline;
       PumpEvents()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  if (!running_) Log(LogLevel::Info, "OpenXR: waiting for the runtime to start the session");
  return VRInitError_None;
}

// ------------------------------------------------------------------------ events and states

void OpenXRHeadset::PumpEvents() {
  XrEventDataBuffer event{XR_TYPE_EVENT_DATA_BUFFER};
  while (xrPollEvent(instance_, &event) == XR_SUCCESS) {
    switch (event.type) {
      case XR_TYPE_EVENT_DATA_SESSION_STATE_CHANGED:
        HandleStateChange(reinterpret_cast<const XrEventDataSessionStateChanged&>(event).state);
        break;
      case XR_TYPE_EVENT_DATA_INTERACTION_PROFILE_CHANGED:
        input_.RefreshProfiles();
        for (int hand = 0; hand < 2; ++hand) {
          const TrackedDeviceIndex_t index = TrackedDeviceIndex_t(1 + hand);
          if (input_.Connected(hand) != connected_[index]) {
            connected_[index] = input_.Connected(hand);
            QueueDeviceEvent(connected_[index] ? VREvent_TrackedDeviceActivated
                                               : VREvent_TrackedDeviceDeactivated,
                             index);
          }
        }
        break;
      case XR_TYPE_EVENT_DATA_INSTANCE_LOSS_PENDING:
        RequestQuit("the OpenXR runtime is going away");
        break;
      case XR_TYPE_EVENT_DATA_EVENTS_LOST:
        Log(LogLevel::Warning, "OpenXR: %u events lost",
            reinterpret_cast<const XrEventDataEventsLost&>(event).lostEventCount);
        break;
      default: break;
    }
    event = {XR_TYPE_EVENT_DATA_BUFFER};
  }
}

void OpenXRHeadset::HandleStateChange(XrSessionState state) {
  state_ = state;
  Log(LogLevel::Info, "OpenXR: session %s", StateName(state));
  switch (state) {
    case XR_SESSION_STATE_READY: {
      XrSessionBeginInfo begin{XR_TYPE_SESSION_BEGIN_INFO};
      begin.primaryViewConfigurationType = kViewConfiguration;
      running_ = Succeeded(instance_, xrBeginSession(session_, &begin), "xrBeginSession");
      break;
    }
    case XR_SESSION_STATE_STOPPING:
      if (frameBegun_) EndFrame(false);
      Succeeded(instance_, xrEndSession(session_), "xrEndSession");
      running_ = false;
      break;
    case XR_SESSION_STATE_EXITING: RequestQuit("the OpenXR session ended"); break;
    case XR_SESSION_STATE_LOSS_PENDING: RequestQuit("the OpenXR session was lost"); break;
    default: break;
  }
}

void OpenXRHeadset::RequestQuit(const char* why) {
  if (quitRequested_) return;
  quitRequested_ = true;
  Log(LogLevel::Warning, "Closing: %s", why);
  // The program ends as when its window is closed; what was saved stays saved.
  SDL_Event event{};
  event.type = SDL_QUIT;
  event.quit.timestamp = SDL_GetTicks();
  if (SDL_PushEvent(&event) < 0) {
    Log(LogLevel::Warning, "OpenXR: could not post the quit event (%s)", SDL_GetError());
  }
}

void OpenXRHeadset::QueueDeviceEvent(EVREventType type, TrackedDeviceIndex_t index) {
  VREvent_t event{};
  event.eventType = type;
  event.trackedDeviceIndex = index;
  events_.push_back(event);
}

// ------------------------------------------------------------------------------ frames

EVRCompositorError OpenXRHeadset::WaitGetPoses(TrackedDevicePose_t* renderPoses,
                                               uint32_t renderPoseCount,
                                               TrackedDevicePose_t* gamePoses,
                                               uint32_t gamePoseCount) {
  PumpEvents();
  if (frameBegun_) EndFrame(false);  // the last frame's right eye never came
  EVRCompositorError result = VRCompositorError_None;
  if (!running_) {
    // No frames to wait for: do not spin while the runtime gets ready or after it stopped.
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    result = VRCompositorError_DoNotHaveFocus;
  } else {
    XrFrameWaitInfo waitInfo{XR_TYPE_FRAME_WAIT_INFO};
    XrFrameState frameState{XR_TYPE_FRAME_STATE};
    XrFrameBeginInfo beginInfo{XR_TYPE_FRAME_BEGIN_INFO};
    if (Succeeded(instance_, xrWaitFrame(session_, &waitInfo, &frameState), "xrWaitFrame") &&
        Succeeded(instance_, xrBeginFrame(session_, &beginInfo), "xrBeginFrame")) {
      frameBegun_ = true;
      shouldRender_ = frameState.shouldRender == XR_TRUE;
      displayTime_ = frameState.predictedDisplayTime;
      eyesCopied_ = 0;
      input_.Sync();
      LocateFrame();
    } else {
      result = VRCompositorError_RequestFailed;
    }
  }
  FillPoses(renderPoses, renderPoses != nullptr ? renderPoseCount : 0);
  FillPoses(gamePoses, gamePoses != nullptr ? gamePoseCount : 0);
  return result;
}

void OpenXRHeadset::LocateFrame() {
  XrViewLocateInfo info{XR_TYPE_VIEW_LOCATE_INFO};
  info.viewConfigurationType = kViewConfiguration;
  info.displayTime = displayTime_;
  constexpr XrViewStateFlags kLocated =
      XR_VIEW_STATE_ORIENTATION_VALID_BIT | XR_VIEW_STATE_POSITION_VALID_BIT;
  bool valid = true;
  for (int pass = 0; pass < 2; ++pass) {
    info.space = pass == 0 ? trackingSpace_ : viewSpace_;
    XrView* views = pass == 0 ? views_ : eyesInHead_;
    XrView located[2] = {{XR_TYPE_VIEW}, {XR_TYPE_VIEW}};
    XrViewState state{XR_TYPE_VIEW_STATE};
    uint32_t count = 0;
    if (XR_SUCCEEDED(xrLocateViews(session_, &info, &state, 2, &count, located)) && count == 2 &&
        (state.viewStateFlags & kLocated) == kLocated && UsablePose(located[0].pose) &&
        UsablePose(located[1].pose)) {
      views[0] = located[0];
      views[1] = located[1];
    } else {
      valid = false;
    }
  }
  viewsValid_ = valid;
  LocateDevice(viewSpace_, &devices_[k_unTrackedDeviceIndex_Hmd]);
  for (int hand = 0; hand < 2; ++hand) LocateDevice(input_.AimSpace(hand), &devices_[1 + hand]);
}

void OpenXRHeadset::LocateDevice(XrSpace space, DevicePose* device) {
  XrSpaceLocation location{XR_TYPE_SPACE_LOCATION};
  constexpr XrSpaceLocationFlags kLocated =
      XR_SPACE_LOCATION_ORIENTATION_VALID_BIT | XR_SPACE_LOCATION_POSITION_VALID_BIT;
  device->valid = false;  // the last pose stays, marked invalid, as a tracking loss
  if (space == XR_NULL_HANDLE ||
      XR_FAILED(xrLocateSpace(space, trackingSpace_, displayTime_, &location)) ||
      (location.locationFlags & kLocated) != kLocated) {
    return;
  }
  if (!UsablePose(location.pose)) {
    if (!device->unusableLogged) {
      Log(LogLevel::Warning,
          "OpenXR: the runtime located device %d at an unusable pose; it counts as untracked",
          int(device - devices_));
      device->unusableLogged = true;
    }
    return;
  }
  device->pose = Matrix34FromPose(location.pose);
  device->valid = true;
  device->unusableLogged = false;
}

void OpenXRHeadset::FillPoses(TrackedDevicePose_t* poses, uint32_t count) const {
  const uint32_t n = std::min(count, k_unMaxTrackedDeviceCount);
  for (TrackedDeviceIndex_t i = 0; i < n; ++i) {
    TrackedDevicePose_t pose{};
    pose.mDeviceToAbsoluteTracking = Identity34();
    pose.eTrackingResult = TrackingResult_Uninitialized;
    if (i < kDeviceCount && connected_[i]) {
      pose.mDeviceToAbsoluteTracking = devices_[i].pose;
      pose.bDeviceIsConnected = true;
      pose.bPoseIsValid = devices_[i].valid;
      pose.eTrackingResult =
          devices_[i].valid ? TrackingResult_Running_OK : TrackingResult_Running_OutOfRange;
    }
    poses[i] = pose;
  }
}

EVRCompositorError OpenXRHeadset::Submit(EVREye eye, const Texture_t* texture,
                                         const VRTextureBounds_t* /*bounds*/,
                                         EVRSubmitFlags /*flags*/) {
  if (eye != Eye_Left && eye != Eye_Right) return VRCompositorError_IndexOutOfRange;
  if (texture == nullptr || texture->eType != TextureType_OpenGL) {
    return VRCompositorError_InvalidTexture;
  }
  const uintptr_t name = reinterpret_cast<uintptr_t>(texture->handle);
  if (name == 0 || name > UINT32_MAX) return VRCompositorError_InvalidTexture;
  if (!frameBegun_) return VRCompositorError_DoNotHaveFocus;
  if (shouldRender_ && swapchains_.CopyIn(eye, uint32_t(name))) eyesCopied_ |= 1u << eye;
  if (eye == Eye_Right) EndFrame(eyesCopied_ == 3 && viewsValid_);
  return VRCompositorError_None;
}

void OpenXRHeadset::EndFrame(bool withLayer) {
  XrCompositionLayerProjectionView views[2];
  for (int eye = 0; eye < 2; ++eye) {
    views[eye] = {XR_TYPE_COMPOSITION_LAYER_PROJECTION_VIEW};
    views[eye].pose = views_[eye].pose;
    views[eye].fov = views_[eye].fov;
    views[eye].subImage.swapchain = swapchains_.Handle(eye);
    views[eye].subImage.imageRect = {{0, 0}, {int32_t(eyeWidth_), int32_t(eyeHeight_)}};
  }
  XrCompositionLayerProjection layer{XR_TYPE_COMPOSITION_LAYER_PROJECTION};
  layer.space = trackingSpace_;
  layer.viewCount = 2;
  layer.views = views;
  const XrCompositionLayerBaseHeader* layers[] = {
      reinterpret_cast<const XrCompositionLayerBaseHeader*>(&layer)};
  XrFrameEndInfo end{XR_TYPE_FRAME_END_INFO};
  end.displayTime = displayTime_;
  end.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
  end.layerCount = withLayer ? 1 : 0;
  end.layers = withLayer ? layers : nullptr;
  frameBegun_ = false;
  if (Succeeded(instance_, xrEndFrame(session_, &end), "xrEndFrame")) ++framesEnded_;
}

// ---------------------------------------------------------------------------- system

void OpenXRHeadset::GetRecommendedRenderTargetSize(uint32_t* width, uint32_t* height) {
  if (width != nullptr) *width = eyeWidth_;
  if (height != nullptr) *height = eyeHeight_;
}

HmdMatrix44_t OpenXRHeadset::GetProjectionMatrix(EVREye eye, float nearZ, float farZ) {
  XrFovf fov{-kDefaultHalfFov, kDefaultHalfFov, kDefaultHalfFov, -kDefaultHalfFov};
  if (viewsValid_) fov = views_[eye == Eye_Right ? 1 : 0].fov;
  return ProjectionFromFov(fov, nearZ, farZ);
}

HmdMatrix34_t OpenXRHeadset::GetEyeToHeadTransform(EVREye eye) {
  const int e = eye == Eye_Right ? 1 : 0;
  if (viewsValid_) return Matrix34FromPose(eyesInHead_[e].pose);
  HmdMatrix34_t m = Identity34();
  m.m[0][3] = e == 0 ? -kDefaultEyeOffset : kDefaultEyeOffset;
  return m;
}

uint32_t OpenXRHeadset::GetStringTrackedDeviceProperty(TrackedDeviceIndex_t index,
                                                       ETrackedDeviceProperty prop, char* buffer,
                                                       uint32_t bufferSize,
                                                       ETrackedPropertyError* error) {
  const bool connected = index < kDeviceCount && connected_[index];
  const bool hand = index != k_unTrackedDeviceIndex_Hmd;
  if (!CanAnswerProperty(connected, hand, prop, PropertyType::String, error)) return 0;
  static const char* const kSerials[kDeviceCount] = {"openxr_head", "openxr_left_hand",
                                                     "openxr_right_hand"};
  std::string value;
  switch (prop) {
    case Prop_TrackingSystemName_String: value = systemName_; break;
    case Prop_ModelNumber_String: value = hand ? input_.ProfileName(int(index) - 1) : systemName_; break;
    case Prop_SerialNumber_String: value = kSerials[index]; break;
    default: value = hand ? sim::kControllerModelName : sim::kHeadsetModelName; break;
  }
  return AnswerStringProperty(value, buffer, bufferSize, error);
}

int32_t OpenXRHeadset::GetInt32TrackedDeviceProperty(TrackedDeviceIndex_t index,
                                                     ETrackedDeviceProperty prop,
                                                     ETrackedPropertyError* error) {
  const bool connected = index < kDeviceCount && connected_[index];
  if (!CanAnswerProperty(connected, index != k_unTrackedDeviceIndex_Hmd, prop, PropertyType::Int32,
                         error)) {
    return 0;
  }
  SetPropertyError(error, TrackedProp_Success);
  switch (prop - Prop_Axis0Type_Int32) {
    case 0:
      return input_.UsesThumbstick(int(index) - 1) ? k_eControllerAxis_Joystick
                                                   : k_eControllerAxis_TrackPad;
    case 1: return k_eControllerAxis_Trigger;
    default: return k_eControllerAxis_None;
  }
}

ETrackedDeviceClass OpenXRHeadset::GetTrackedDeviceClass(TrackedDeviceIndex_t index) {
  if (index >= kDeviceCount || !connected_[index]) return TrackedDeviceClass_Invalid;
  return index == k_unTrackedDeviceIndex_Hmd ? TrackedDeviceClass_HMD
                                             : TrackedDeviceClass_Controller;
}

bool OpenXRHeadset::IsTrackedDeviceConnected(TrackedDeviceIndex_t index) {
  return index < kDeviceCount && connected_[index];
}

ETrackedControllerRole OpenXRHeadset::GetControllerRoleForTrackedDeviceIndex(
    TrackedDeviceIndex_t index) {
  if (index == 1 && connected_[1]) return TrackedControllerRole_LeftHand;
  if (index == 2 && connected_[2]) return TrackedControllerRole_RightHand;
  return TrackedControllerRole_Invalid;
}

bool OpenXRHeadset::PollNextEvent(VREvent_t* event, uint32_t eventSize) {
  if (event == nullptr || eventSize != sizeof(VREvent_t) || events_.empty()) return false;
  *event = events_.front();
  events_.pop_front();
  return true;
}

bool OpenXRHeadset::GetControllerState(TrackedDeviceIndex_t index, VRControllerState_t* state,
                                       uint32_t stateSize) {
  if (state == nullptr || stateSize != sizeof(VRControllerState_t) || index < 1 ||
      index >= kDeviceCount || !connected_[index]) {
    return false;
  }
  *state = input_.State(int(index) - 1);
  return true;
}

void OpenXRHeadset::TriggerHapticPulse(TrackedDeviceIndex_t index, uint32_t /*axisId*/,
                                       unsigned short durationMicroseconds) {
  if (index >= 1 && index < kDeviceCount && connected_[index] && running_) {
    input_.Haptic(int(index) - 1, durationMicroseconds);
  }
}

bool OpenXRHeadset::GetPlayAreaSize(float* sizeX, float* sizeZ) {
  if (!stage_ || sizeX == nullptr || sizeZ == nullptr) return false;
  XrExtent2Df bounds{};
  if (XR_FAILED(xrGetReferenceSpaceBoundsRect(session_, XR_REFERENCE_SPACE_TYPE_STAGE, &bounds)) ||
      !(bounds.width > 0.0f) || !(bounds.height > 0.0f)) {
    return false;
  }
  *sizeX = bounds.width;
  *sizeZ = bounds.height;
  return true;
}

// ------------------------------------------------------------------------- render models

EVRRenderModelError OpenXRHeadset::LoadRenderModel_Async(const char* renderModelName,
                                                         RenderModel_t** renderModel) {
  return renderModels_.LoadModel(renderModelName, renderModel);
}

void OpenXRHeadset::FreeRenderModel(RenderModel_t* renderModel) {
  renderModels_.FreeModel(renderModel);
}

EVRRenderModelError OpenXRHeadset::LoadTexture_Async(TextureID_t textureId,
                                                     RenderModel_TextureMap_t** texture) {
  return renderModels_.LoadTexture(textureId, texture);
}

void OpenXRHeadset::FreeTexture(RenderModel_TextureMap_t* texture) {
  renderModels_.FreeTexture(texture);
}

const char* OpenXRHeadset::GetRenderModelErrorNameFromEnum(EVRRenderModelError error) {
  return sim::RenderModelErrorName(error);
}

}  // namespace vr::openxr

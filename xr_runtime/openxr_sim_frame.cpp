// Frames of the OpenXR simulated headset: swapchains of the application's OpenGL textures, the
// wait/begin/end loop with its pacing and eye captures, and the views.
#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <thread>

#include "base/log.h"
#include "sim_headset/sim_devices.h"
#include "sim_headset/sim_eye_png.h"
#include "xr_runtime/openxr_sim_internal.h"

namespace vr::xrsim {
namespace {

constexpr int64_t kFormats[] = {0x8C43 /* GL_SRGB8_ALPHA8 */, GL_RGBA8};

const char* EyeName(int eye) { return eye == 1 ? "right" : "left"; }

// ------------------------------------------------------------------ swapchains

XrResult XRAPI_CALL EnumerateSwapchainFormats(XrSession handle, uint32_t capacity,
                                              uint32_t* countOutput, int64_t* formats) {
  std::lock_guard<std::mutex> lock(Lock());
  const Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (session->instance->faults.noRgbaFormats) {
    static constexpr int64_t kHalfFloat[] = {0x881A /* GL_RGBA16F */};
    return EnumerateInto(kHalfFloat, 1, capacity, countOutput, formats);
  }
  return EnumerateInto(kFormats, 2, capacity, countOutput, formats);
}

XrResult XRAPI_CALL CreateSwapchain(XrSession handle, const XrSwapchainCreateInfo* info,
                                    XrSwapchain* out) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || out == nullptr || info->type != XR_TYPE_SWAPCHAIN_CREATE_INFO) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (info->createFlags & XR_SWAPCHAIN_CREATE_PROTECTED_CONTENT_BIT) {
    return XR_ERROR_FEATURE_UNSUPPORTED;
  }
  if (std::find(std::begin(kFormats), std::end(kFormats), info->format) == std::end(kFormats)) {
    return XR_ERROR_SWAPCHAIN_FORMAT_UNSUPPORTED;
  }
  if (info->width == 0 || info->height == 0 || info->width > kMaxImageSide ||
      info->height > kMaxImageSide || info->sampleCount == 0 || info->faceCount == 0 ||
      info->arraySize == 0 || info->mipCount == 0) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  uint32_t maxMips = 1;
  for (uint32_t side = std::max(info->width, info->height); side > 1; side /= 2) ++maxMips;
  if (info->mipCount > maxMips) return XR_ERROR_VALIDATION_FAILURE;
  if (info->sampleCount != 1 || info->faceCount != 1 || info->arraySize != 1) {
    return XR_ERROR_FEATURE_UNSUPPORTED;  // single-sample 2D images only
  }
  if (!GlContextCurrent()) {
    Log(LogLevel::Error, "xrCreateSwapchain: the application's OpenGL context is not current");
    return XR_ERROR_RUNTIME_FAILURE;
  }
  auto swapchain = std::make_unique<Swapchain>();
  swapchain->session = session;
  swapchain->format = info->format;
  swapchain->width = info->width;
  swapchain->height = info->height;
  swapchain->isStatic = (info->createFlags & XR_SWAPCHAIN_CREATE_STATIC_IMAGE_BIT) != 0;
  const uint32_t count = swapchain->isStatic ? 1 : kSwapchainImageCount;
  swapchain->textures.resize(count);
  if (!CreateTextures(info->format, info->width, info->height, info->mipCount,
                      &swapchain->textures)) {
    return XR_ERROR_RUNTIME_FAILURE;
  }
  const uint64_t id = Register(std::move(swapchain));
  session->swapchains.push_back(id);
  *out = ToHandle<XrSwapchain>(id);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL DestroySwapchain(XrSwapchain handle) {
  std::lock_guard<std::mutex> lock(Lock());
  Swapchain* swapchain = Get<Swapchain>(handle, Kind::Swapchain);
  if (swapchain == nullptr) return XR_ERROR_HANDLE_INVALID;
  DestroySwapchainObject(swapchain);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL EnumerateSwapchainImages(XrSwapchain handle, uint32_t capacity,
                                             uint32_t* countOutput,
                                             XrSwapchainImageBaseHeader* images) {
  std::lock_guard<std::mutex> lock(Lock());
  const Swapchain* swapchain = Get<Swapchain>(handle, Kind::Swapchain);
  if (swapchain == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (countOutput == nullptr || (capacity > 0 && images == nullptr)) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  const uint32_t count = uint32_t(swapchain->textures.size());
  *countOutput = count;
  if (capacity == 0) return XR_SUCCESS;
  if (capacity < count) return XR_ERROR_SIZE_INSUFFICIENT;
  auto* gl = reinterpret_cast<XrSwapchainImageOpenGLKHR*>(images);
  for (uint32_t i = 0; i < count; ++i) {
    if (gl[i].type != XR_TYPE_SWAPCHAIN_IMAGE_OPENGL_KHR) return XR_ERROR_VALIDATION_FAILURE;
  }
  for (uint32_t i = 0; i < count; ++i) gl[i].image = swapchain->textures[i];
  return XR_SUCCESS;
}

XrResult XRAPI_CALL AcquireSwapchainImage(XrSwapchain handle,
                                          const XrSwapchainImageAcquireInfo* info,
                                          uint32_t* index) {
  std::lock_guard<std::mutex> lock(Lock());
  Swapchain* swapchain = Get<Swapchain>(handle, Kind::Swapchain);
  if (swapchain == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (index == nullptr || (info != nullptr && info->type != XR_TYPE_SWAPCHAIN_IMAGE_ACQUIRE_INFO)) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (swapchain->isStatic && swapchain->staticAcquires > 0) return XR_ERROR_CALL_ORDER_INVALID;
  if (swapchain->acquired.size() >= swapchain->textures.size()) {
    return XR_ERROR_CALL_ORDER_INVALID;
  }
  *index = swapchain->nextImage;
  swapchain->acquired.push_back(swapchain->nextImage);
  swapchain->nextImage = (swapchain->nextImage + 1) % uint32_t(swapchain->textures.size());
  ++swapchain->staticAcquires;
  return XR_SUCCESS;
}

XrResult XRAPI_CALL WaitSwapchainImage(XrSwapchain handle, const XrSwapchainImageWaitInfo* info) {
  std::lock_guard<std::mutex> lock(Lock());
  Swapchain* swapchain = Get<Swapchain>(handle, Kind::Swapchain);
  if (swapchain == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || info->type != XR_TYPE_SWAPCHAIN_IMAGE_WAIT_INFO) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (swapchain->acquired.empty() || swapchain->waited) return XR_ERROR_CALL_ORDER_INVALID;
  swapchain->waited = true;  // nothing else renders into these images: ready at once
  return XR_SUCCESS;
}

XrResult XRAPI_CALL ReleaseSwapchainImage(XrSwapchain handle,
                                          const XrSwapchainImageReleaseInfo* info) {
  std::lock_guard<std::mutex> lock(Lock());
  Swapchain* swapchain = Get<Swapchain>(handle, Kind::Swapchain);
  if (swapchain == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info != nullptr && info->type != XR_TYPE_SWAPCHAIN_IMAGE_RELEASE_INFO) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (!swapchain->waited) return XR_ERROR_CALL_ORDER_INVALID;
  swapchain->lastReleased = int32_t(swapchain->acquired.front());
  swapchain->acquired.pop_front();
  swapchain->waited = false;
  return XR_SUCCESS;
}

// ---------------------------------------------------------------------- frames

XrResult XRAPI_CALL WaitFrame(XrSession handle, const XrFrameWaitInfo* info, XrFrameState* state) {
  std::unique_lock<std::mutex> lock(Lock());
  Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if ((info != nullptr && info->type != XR_TYPE_FRAME_WAIT_INFO) || state == nullptr ||
      state->type != XR_TYPE_FRAME_STATE) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (!session->running) return XR_ERROR_SESSION_NOT_RUNNING;
  int64_t now = NowNs();
  int64_t tick = now;
  if (session->instance->options.paced) {
    tick = session->startNs + ((now - session->startNs) / kFramePeriodNs + 1) * kFramePeriodNs;
    // Other threads may use the runtime while this one waits for the tick.
    lock.unlock();
    std::this_thread::sleep_for(std::chrono::nanoseconds(tick - now));
    lock.lock();
    session = Get<Session>(handle, Kind::Session);
    if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
    if (!session->running) return XR_ERROR_SESSION_NOT_RUNNING;
  }
  for (int eye = 0; eye < 2; ++eye) {
    Session::Capture& capture = session->captures[eye];
    if (capture.pending) {
      Log(LogLevel::Warning, "No %s eye capture to %s: nothing was submitted in frame %llu",
          EyeName(eye), capture.path.c_str(), static_cast<unsigned long long>(capture.frame));
      capture.pending = false;
    }
  }
  ++session->frameIndex;
  AdvanceRig(session);
  if (session->frameIndex == session->instance->faults.loseSessionAt) {
    Log(LogLevel::Warning, "OpenXR simulated headset: losing the session in frame %llu (fault)",
        static_cast<unsigned long long>(session->frameIndex));
    QueueStateChange(session, XR_SESSION_STATE_LOSS_PENDING);
  }
  DriveFromWindow(session);
  if (session->state == XR_SESSION_STATE_READY && !session->exitRequested) {
    // The first frame synchronises the session; nothing covers the simulated display.
    QueueStateChange(session, XR_SESSION_STATE_SYNCHRONIZED);
    QueueStateChange(session, XR_SESSION_STATE_VISIBLE);
    QueueStateChange(session, XR_SESSION_STATE_FOCUSED);
  }
  const XrTime display = std::max<XrTime>(tick + kFramePeriodNs, session->lastDisplayTime + 1);
  session->lastDisplayTime = display;
  state->predictedDisplayTime = display;
  state->predictedDisplayPeriod = kFramePeriodNs;
  state->shouldRender = session->state == XR_SESSION_STATE_VISIBLE ||
                        session->state == XR_SESSION_STATE_FOCUSED;
  session->frameWaited = true;
  return XR_SUCCESS;
}

XrResult XRAPI_CALL BeginFrame(XrSession handle, const XrFrameBeginInfo* info) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info != nullptr && info->type != XR_TYPE_FRAME_BEGIN_INFO) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (!session->running) return XR_ERROR_SESSION_NOT_RUNNING;
  if (!session->frameWaited) return XR_ERROR_CALL_ORDER_INVALID;
  session->frameWaited = false;
  if (session->frameBegun) return XR_FRAME_DISCARDED;  // the frame begun before is dropped
  session->frameBegun = true;
  return XR_SUCCESS;
}

XrResult CheckSubImage(const XrSwapchainSubImage& sub, const Swapchain** out) {
  const Swapchain* swapchain = Get<Swapchain>(sub.swapchain, Kind::Swapchain);
  if (swapchain == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (swapchain->lastReleased < 0) return XR_ERROR_LAYER_INVALID;  // never released
  const XrRect2Di& r = sub.imageRect;
  if (r.offset.x < 0 || r.offset.y < 0 || r.extent.width <= 0 || r.extent.height <= 0 ||
      int64_t(r.offset.x) + r.extent.width > int64_t(swapchain->width) ||
      int64_t(r.offset.y) + r.extent.height > int64_t(swapchain->height)) {
    return XR_ERROR_SWAPCHAIN_RECT_INVALID;
  }
  if (sub.imageArrayIndex != 0) return XR_ERROR_VALIDATION_FAILURE;
  *out = swapchain;
  return XR_SUCCESS;
}

XrResult CheckLayer(const Session* session, const XrCompositionLayerBaseHeader* layer,
                    const XrCompositionLayerProjection** projection) {
  if (layer == nullptr) return XR_ERROR_LAYER_INVALID;
  const Space* space = Get<Space>(layer->space, Kind::Space);
  if (space == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (space->session != session) return XR_ERROR_VALIDATION_FAILURE;
  const Swapchain* swapchain = nullptr;
  if (layer->type == XR_TYPE_COMPOSITION_LAYER_PROJECTION) {
    const auto* p = reinterpret_cast<const XrCompositionLayerProjection*>(layer);
    if (p->viewCount != 2 || p->views == nullptr) return XR_ERROR_VALIDATION_FAILURE;
    for (uint32_t i = 0; i < 2; ++i) {
      const XrCompositionLayerProjectionView& view = p->views[i];
      if (view.type != XR_TYPE_COMPOSITION_LAYER_PROJECTION_VIEW) {
        return XR_ERROR_VALIDATION_FAILURE;
      }
      if (!UnitQuaternion(view.pose.orientation)) return XR_ERROR_POSE_INVALID;
      if (const XrResult r = CheckSubImage(view.subImage, &swapchain); XR_FAILED(r)) return r;
    }
    if (*projection == nullptr) *projection = p;
    return XR_SUCCESS;
  }
  if (layer->type == XR_TYPE_COMPOSITION_LAYER_QUAD) {
    const auto* q = reinterpret_cast<const XrCompositionLayerQuad*>(layer);
    if (!UnitQuaternion(q->pose.orientation)) return XR_ERROR_POSE_INVALID;
    return CheckSubImage(q->subImage, &swapchain);
  }
  return XR_ERROR_LAYER_INVALID;
}

// Reads the submitted eye images back for the timeline's captures and the companion window.
void TakeCaptures(Session* session, const XrCompositionLayerProjection* projection) {
  const bool show = WindowWantsPicture(session);
  for (int eye = 0; eye < 2 && projection != nullptr; ++eye) {
    Session::Capture& capture = session->captures[eye];
    const bool capturing = capture.pending && capture.frame == session->frameIndex;
    if (!capturing && !show) continue;
    const XrSwapchainSubImage& sub = projection->views[eye].subImage;
    const Swapchain* swapchain = Get<Swapchain>(sub.swapchain, Kind::Swapchain);
    std::vector<uint8_t> pixels;
    const bool read = ReadTextureRect(swapchain->textures[size_t(swapchain->lastReleased)],
                                      sub.imageRect.offset.x, sub.imageRect.offset.y,
                                      sub.imageRect.extent.width, sub.imageRect.extent.height,
                                      &pixels);
    if (read && show) {
      ShowInWindow(session, eye, sub.imageRect.extent.width, sub.imageRect.extent.height, pixels);
    }
    if (!capturing) continue;
    capture.pending = false;
    if (!read) {
      Log(LogLevel::Error, "Could not capture the %s eye to %s", EyeName(eye),
          capture.path.c_str());
      continue;
    }
    sim::WriteEyePng(EyeName(eye), sub.imageRect.extent.width, sub.imageRect.extent.height,
                     &pixels, capture.path);
  }
}

XrResult XRAPI_CALL EndFrame(XrSession handle, const XrFrameEndInfo* info) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || info->type != XR_TYPE_FRAME_END_INFO) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (!session->running) return XR_ERROR_SESSION_NOT_RUNNING;
  if (!session->frameBegun) return XR_ERROR_CALL_ORDER_INVALID;
  if (info->displayTime <= 0) return XR_ERROR_TIME_INVALID;
  if (info->environmentBlendMode != XR_ENVIRONMENT_BLEND_MODE_OPAQUE) {
    return info->environmentBlendMode == XR_ENVIRONMENT_BLEND_MODE_ADDITIVE ||
                   info->environmentBlendMode == XR_ENVIRONMENT_BLEND_MODE_ALPHA_BLEND
               ? XR_ERROR_ENVIRONMENT_BLEND_MODE_UNSUPPORTED
               : XR_ERROR_VALIDATION_FAILURE;
  }
  if (info->layerCount > kMaxLayerCount) return XR_ERROR_LAYER_LIMIT_EXCEEDED;
  if (info->layerCount > 0 && info->layers == nullptr) return XR_ERROR_VALIDATION_FAILURE;
  const XrCompositionLayerProjection* projection = nullptr;
  for (uint32_t i = 0; i < info->layerCount; ++i) {
    if (const XrResult r = CheckLayer(session, info->layers[i], &projection); XR_FAILED(r)) {
      return r;
    }
  }
  session->frameBegun = false;
  ++session->framesEnded;
  TakeCaptures(session, projection);
  return XR_SUCCESS;
}

// ----------------------------------------------------------------------- views

XrResult XRAPI_CALL LocateViews(XrSession handle, const XrViewLocateInfo* info,
                                XrViewState* viewState, uint32_t capacity, uint32_t* countOutput,
                                XrView* views) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || info->type != XR_TYPE_VIEW_LOCATE_INFO || viewState == nullptr ||
      viewState->type != XR_TYPE_VIEW_STATE || countOutput == nullptr ||
      (capacity > 0 && views == nullptr)) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (info->viewConfigurationType != XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO) {
    return info->viewConfigurationType == XR_VIEW_CONFIGURATION_TYPE_PRIMARY_MONO
               ? XR_ERROR_VIEW_CONFIGURATION_TYPE_UNSUPPORTED
               : XR_ERROR_VALIDATION_FAILURE;
  }
  const Space* space = Get<Space>(info->space, Kind::Space);
  if (space == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (space->session != session) return XR_ERROR_VALIDATION_FAILURE;
  if (info->displayTime <= 0) return XR_ERROR_TIME_INVALID;
  *countOutput = 2;
  if (capacity == 0) return XR_SUCCESS;
  if (capacity < 2) return XR_ERROR_SIZE_INSUFFICIENT;
  for (uint32_t i = 0; i < 2; ++i) {
    if (views[i].type != XR_TYPE_VIEW) return XR_ERROR_VALIDATION_FAILURE;
  }
  const Instance* instance = session->instance;
  const float halfWidth = sim::kHorizontalFovDegrees * 0.5f * 3.14159265f / 180.0f;
  const float aspect = float(instance->options.eyeWidth) / float(instance->options.eyeHeight);
  const float halfHeight = std::atan(std::tan(halfWidth) / aspect);
  XrPosef baseInWorld;
  const bool tracked = session->rig.valid[0] && SpaceInWorld(space, &baseInWorld);
  const XrPosef head = FromSimPose(session->rig.pose[0]);
  for (int eye = 0; eye < 2; ++eye) {
    XrPosef eyeInHead = Identity();
    eyeInHead.position.x = eye == 0 ? -sim::kEyeOffset : sim::kEyeOffset;
    views[eye].pose = tracked ? Compose(Inverse(baseInWorld), Compose(head, eyeInHead)) : Identity();
    views[eye].fov = {-halfWidth, halfWidth, halfHeight, -halfHeight};
  }
  viewState->viewStateFlags =
      tracked ? XR_VIEW_STATE_ORIENTATION_VALID_BIT | XR_VIEW_STATE_POSITION_VALID_BIT |
                    XR_VIEW_STATE_ORIENTATION_TRACKED_BIT | XR_VIEW_STATE_POSITION_TRACKED_BIT
              : 0;
  return XR_SUCCESS;
}

}  // namespace

void DestroySwapchainObject(Swapchain* swapchain) {
  if (GlContextCurrent() && glXGetCurrentContext() == swapchain->session->context) {
    DeleteTextures(swapchain->textures);
  } else {
    // The textures go with the application's context when it is destroyed.
    Log(LogLevel::Debug, "xrDestroySwapchain: the application's context is not current");
  }
  auto& list = swapchain->session->swapchains;
  list.erase(std::remove(list.begin(), list.end(), swapchain->handle), list.end());
  Unregister(swapchain->handle);
}

void AddFrameFunctions(FunctionTable* table) {
  XRSIM_ADD(table, EnumerateSwapchainFormats);
  XRSIM_ADD(table, CreateSwapchain);
  XRSIM_ADD(table, DestroySwapchain);
  XRSIM_ADD(table, EnumerateSwapchainImages);
  XRSIM_ADD(table, AcquireSwapchainImage);
  XRSIM_ADD(table, WaitSwapchainImage);
  XRSIM_ADD(table, ReleaseSwapchainImage);
  XRSIM_ADD(table, WaitFrame);
  XRSIM_ADD(table, BeginFrame);
  XRSIM_ADD(table, EndFrame);
  XRSIM_ADD(table, LocateViews);
}

}  // namespace vr::xrsim

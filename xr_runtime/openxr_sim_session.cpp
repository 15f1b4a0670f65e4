// Sessions of the OpenXR simulated headset: the OpenGL binding, the lifecycle, reference spaces
// and locating them.
#include <algorithm>
#include <cmath>

#include "base/log.h"
#include "sim_headset/quaternion_pose.h"
#include "sim_headset/sim_devices.h"
#include "xr_runtime/openxr_sim_internal.h"

namespace vr::xrsim {
namespace {

const XrReferenceSpaceType kReferenceSpaces[] = {
    XR_REFERENCE_SPACE_TYPE_VIEW, XR_REFERENCE_SPACE_TYPE_LOCAL, XR_REFERENCE_SPACE_TYPE_STAGE};

template <typename T>
const T* FindInChain(const void* next, XrStructureType type) {
  for (auto* base = static_cast<const XrBaseInStructure*>(next); base != nullptr;
       base = base->next) {
    if (base->type == type) return reinterpret_cast<const T*>(base);
  }
  return nullptr;
}

XrResult XRAPI_CALL CreateSession(XrInstance handle, const XrSessionCreateInfo* info,
                                  XrSession* out) {
  std::lock_guard<std::mutex> lock(Lock());
  Instance* instance = Get<Instance>(handle, Kind::Instance);
  if (instance == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || out == nullptr || info->type != XR_TYPE_SESSION_CREATE_INFO) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (info->systemId != kSystemId) return XR_ERROR_SYSTEM_INVALID;
  if (!instance->glEnabled) {
    // Headless sessions need an extension this runtime does not offer.
    return XR_ERROR_GRAPHICS_DEVICE_INVALID;
  }
  if (!instance->graphicsRequirementsQueried) return XR_ERROR_GRAPHICS_REQUIREMENTS_CALL_MISSING;
  if (instance->faults.refuseGlSession) {
    Log(LogLevel::Warning, "OpenXR simulated headset: refusing the OpenGL session (fault)");
    return XR_ERROR_GRAPHICS_DEVICE_INVALID;
  }
  const auto* binding = FindInChain<XrGraphicsBindingOpenGLXlibKHR>(
      info->next, XR_TYPE_GRAPHICS_BINDING_OPENGL_XLIB_KHR);
  if (binding == nullptr || binding->xDisplay == nullptr || binding->glxContext == nullptr) {
    Log(LogLevel::Error, "OpenXR simulated headset: xrCreateSession needs an Xlib OpenGL binding");
    return XR_ERROR_GRAPHICS_DEVICE_INVALID;
  }
  for (uint64_t s : instance->sessions) {
    if (Find(s, Kind::Session) != nullptr) return XR_ERROR_LIMIT_REACHED;  // one headset
  }
  auto session = std::make_unique<Session>();
  session->instance = instance;
  session->display = binding->xDisplay;
  session->context = binding->glxContext;
  session->rig.pose[0] = sim::DefaultHeadPose();
  session->rig.pose[1] = sim::DefaultLeftHandPose();
  session->rig.pose[2] = sim::DefaultRightHandPose();
  Session* raw = session.get();
  const uint64_t id = Register(std::move(session));
  instance->sessions.push_back(id);
  AdvanceRig(raw);  // the timeline's frame 0
  OpenCompanionWindow(raw);
  QueueStateChange(raw, XR_SESSION_STATE_IDLE);
  QueueStateChange(raw, XR_SESSION_STATE_READY);
  *out = ToHandle<XrSession>(id);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL DestroySession(XrSession handle) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  DestroySessionObject(session);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL BeginSession(XrSession handle, const XrSessionBeginInfo* info) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || info->type != XR_TYPE_SESSION_BEGIN_INFO) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (info->primaryViewConfigurationType != XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO) {
    return info->primaryViewConfigurationType == XR_VIEW_CONFIGURATION_TYPE_PRIMARY_MONO
               ? XR_ERROR_VIEW_CONFIGURATION_TYPE_UNSUPPORTED
               : XR_ERROR_VALIDATION_FAILURE;
  }
  if (session->running) return XR_ERROR_SESSION_RUNNING;
  if (session->state != XR_SESSION_STATE_READY) return XR_ERROR_SESSION_NOT_READY;
  session->running = true;
  session->startNs = NowNs();
  session->frameWaited = session->frameBegun = false;
  return XR_SUCCESS;
}

XrResult XRAPI_CALL EndSession(XrSession handle) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (!session->running) return XR_ERROR_SESSION_NOT_RUNNING;
  if (session->state != XR_SESSION_STATE_STOPPING) return XR_ERROR_SESSION_NOT_STOPPING;
  session->running = false;
  QueueStateChange(session, XR_SESSION_STATE_IDLE);
  if (session->exitRequested) {
    QueueStateChange(session, XR_SESSION_STATE_EXITING);
  } else {
    QueueStateChange(session, XR_SESSION_STATE_READY);
  }
  return XR_SUCCESS;
}

XrResult XRAPI_CALL RequestExitSession(XrSession handle) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (!session->running) return XR_ERROR_SESSION_NOT_RUNNING;
  StopSession(session, "the application asked to exit");
  return XR_SUCCESS;
}

XrResult XRAPI_CALL EnumerateReferenceSpaces(XrSession handle, uint32_t capacity,
                                             uint32_t* countOutput, XrReferenceSpaceType* types) {
  std::lock_guard<std::mutex> lock(Lock());
  if (Get<Session>(handle, Kind::Session) == nullptr) return XR_ERROR_HANDLE_INVALID;
  return EnumerateInto(kReferenceSpaces, 3, capacity, countOutput, types);
}

XrResult XRAPI_CALL CreateReferenceSpace(XrSession handle, const XrReferenceSpaceCreateInfo* info,
                                         XrSpace* out) {
  std::lock_guard<std::mutex> lock(Lock());
  Session* session = Get<Session>(handle, Kind::Session);
  if (session == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || out == nullptr || info->type != XR_TYPE_REFERENCE_SPACE_CREATE_INFO) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (std::find(std::begin(kReferenceSpaces), std::end(kReferenceSpaces),
                info->referenceSpaceType) == std::end(kReferenceSpaces)) {
    return info->referenceSpaceType == XR_REFERENCE_SPACE_TYPE_UNBOUNDED_MSFT ||
                   info->referenceSpaceType == XR_REFERENCE_SPACE_TYPE_COMBINED_EYE_VARJO
               ? XR_ERROR_REFERENCE_SPACE_UNSUPPORTED
               : XR_ERROR_VALIDATION_FAILURE;
  }
  if (!UnitQuaternion(info->poseInReferenceSpace.orientation)) return XR_ERROR_POSE_INVALID;
  auto space = std::make_unique<Space>();
  space->session = session;
  space->reference = info->referenceSpaceType;
  space->offset = info->poseInReferenceSpace;
  const uint64_t id = Register(std::move(space));
  session->spaces.push_back(id);
  *out = ToHandle<XrSpace>(id);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL GetReferenceSpaceBoundsRect(XrSession handle, XrReferenceSpaceType type,
                                                XrExtent2Df* bounds) {
  std::lock_guard<std::mutex> lock(Lock());
  if (Get<Session>(handle, Kind::Session) == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (bounds == nullptr) return XR_ERROR_VALIDATION_FAILURE;
  if (std::find(std::begin(kReferenceSpaces), std::end(kReferenceSpaces), type) ==
      std::end(kReferenceSpaces)) {
    return XR_ERROR_REFERENCE_SPACE_UNSUPPORTED;
  }
  if (type != XR_REFERENCE_SPACE_TYPE_STAGE) {
    *bounds = {0.0f, 0.0f};
    return XR_SPACE_BOUNDS_UNAVAILABLE;
  }
  *bounds = {3.0f, 3.0f};  // the play area the in-process headset reports
  return XR_SUCCESS;
}

XrResult XRAPI_CALL DestroySpace(XrSpace handle) {
  std::lock_guard<std::mutex> lock(Lock());
  Space* space = Get<Space>(handle, Kind::Space);
  if (space == nullptr) return XR_ERROR_HANDLE_INVALID;
  DestroySpaceObject(space);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL LocateSpace(XrSpace spaceHandle, XrSpace baseHandle, XrTime time,
                                XrSpaceLocation* location) {
  std::lock_guard<std::mutex> lock(Lock());
  const Space* space = Get<Space>(spaceHandle, Kind::Space);
  const Space* base = Get<Space>(baseHandle, Kind::Space);
  if (space == nullptr || base == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (location == nullptr || location->type != XR_TYPE_SPACE_LOCATION) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (space->session != base->session) return XR_ERROR_VALIDATION_FAILURE;
  if (time <= 0) return XR_ERROR_TIME_INVALID;
  XrPosef spaceInWorld, baseInWorld;
  auto* velocity = const_cast<XrSpaceVelocity*>(
      FindInChain<XrSpaceVelocity>(location->next, XR_TYPE_SPACE_VELOCITY));
  if (velocity != nullptr) {
    velocity->velocityFlags = 0;  // the simulated devices jump from pose to pose
    velocity->linearVelocity = {0, 0, 0};
    velocity->angularVelocity = {0, 0, 0};
  }
  if (!SpaceInWorld(space, &spaceInWorld) || !SpaceInWorld(base, &baseInWorld)) {
    location->locationFlags = 0;
    location->pose = Identity();
    return XR_SUCCESS;
  }
  location->pose = Compose(Inverse(baseInWorld), spaceInWorld);
  location->locationFlags =
      XR_SPACE_LOCATION_ORIENTATION_VALID_BIT | XR_SPACE_LOCATION_POSITION_VALID_BIT |
      XR_SPACE_LOCATION_ORIENTATION_TRACKED_BIT | XR_SPACE_LOCATION_POSITION_TRACKED_BIT;
  return XR_SUCCESS;
}

}  // namespace

void StopSession(Session* session, const char* why) {
  if (session->exitRequested) return;
  session->exitRequested = true;
  Log(LogLevel::Info, "OpenXR simulated headset: stopping the session in frame %llu (%s)",
      static_cast<unsigned long long>(session->frameIndex), why);
  // Step down through the states the session has reached.
  if (session->state == XR_SESSION_STATE_FOCUSED) QueueStateChange(session, XR_SESSION_STATE_VISIBLE);
  if (session->state == XR_SESSION_STATE_VISIBLE) {
    QueueStateChange(session, XR_SESSION_STATE_SYNCHRONIZED);
  }
  if (session->running) {
    QueueStateChange(session, XR_SESSION_STATE_STOPPING);
  } else {
    // Not running (yet or any more): nothing to stop.
    if (session->state != XR_SESSION_STATE_IDLE) QueueStateChange(session, XR_SESSION_STATE_IDLE);
    QueueStateChange(session, XR_SESSION_STATE_EXITING);
  }
}

void DestroySpaceObject(Space* space) {
  auto& list = space->session->spaces;
  list.erase(std::remove(list.begin(), list.end(), space->handle), list.end());
  Unregister(space->handle);
}

void DestroySessionObject(Session* session) {
  for (uint64_t s : std::vector<uint64_t>(session->spaces)) {
    if (auto* space = static_cast<Space*>(Find(s, Kind::Space))) DestroySpaceObject(space);
  }
  for (uint64_t s : std::vector<uint64_t>(session->swapchains)) {
    if (auto* swapchain = static_cast<Swapchain*>(Find(s, Kind::Swapchain))) {
      DestroySwapchainObject(swapchain);
    }
  }
  // Events about a destroyed session must not reach the application.
  auto& events = session->instance->events;
  const XrSession handle = ToHandle<XrSession>(session->handle);
  events.erase(std::remove_if(events.begin(), events.end(),
                              [&](const XrEventDataBuffer& e) {
                                if (e.type == XR_TYPE_EVENT_DATA_SESSION_STATE_CHANGED) {
                                  return reinterpret_cast<const XrEventDataSessionStateChanged&>(e)
                                             .session == handle;
                                }
                                if (e.type == XR_TYPE_EVENT_DATA_INTERACTION_PROFILE_CHANGED) {
                                  return reinterpret_cast<
                                             const XrEventDataInteractionProfileChanged&>(e)
                                             .session == handle;
                                }
                                return false;
                              }),
               events.end());
  auto& sessions = session->instance->sessions;
  sessions.erase(std::remove(sessions.begin(), sessions.end(), session->handle), sessions.end());
  Unregister(session->handle);
}

// ----------------------------------------------------------------------- poses

XrPosef Identity() {
  XrPosef pose{};
  pose.orientation.w = 1.0f;
  return pose;
}

namespace {

XrQuaternionf Multiply(const XrQuaternionf& a, const XrQuaternionf& b) {
  return {a.w * b.x + a.x * b.w + a.y * b.z - a.z * b.y,
          a.w * b.y - a.x * b.z + a.y * b.w + a.z * b.x,
          a.w * b.z + a.x * b.y - a.y * b.x + a.z * b.w,
          a.w * b.w - a.x * b.x - a.y * b.y - a.z * b.z};
}

XrVector3f Rotate(const XrQuaternionf& q, const XrVector3f& v) {
  const XrQuaternionf p{v.x, v.y, v.z, 0.0f};
  const XrQuaternionf conjugate{-q.x, -q.y, -q.z, q.w};
  const XrQuaternionf r = Multiply(Multiply(q, p), conjugate);
  return {r.x, r.y, r.z};
}

}  // namespace

XrPosef Compose(const XrPosef& outer, const XrPosef& inner) {
  XrPosef out;
  out.orientation = Multiply(outer.orientation, inner.orientation);
  const XrVector3f p = Rotate(outer.orientation, inner.position);
  out.position = {outer.position.x + p.x, outer.position.y + p.y, outer.position.z + p.z};
  return out;
}

XrPosef Inverse(const XrPosef& pose) {
  XrPosef out;
  out.orientation = {-pose.orientation.x, -pose.orientation.y, -pose.orientation.z,
                     pose.orientation.w};
  const XrVector3f p = Rotate(out.orientation, pose.position);
  out.position = {-p.x, -p.y, -p.z};
  return out;
}

bool UnitQuaternion(const XrQuaternionf& q) {
  const float n = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
  return std::isfinite(n) && std::fabs(n - 1.0f) < 0.01f;  // the tolerance real runtimes allow
}

XrPosef FromSimPose(const sim::SimPose& pose) {
  const QuaternionPose q = QuaternionPoseFromAxes(pose);
  XrPosef out;
  out.orientation = {q.qx, q.qy, q.qz, q.qw};
  out.position = {q.position.x, q.position.y, q.position.z};
  return out;
}

XrPosef LocalInWorld() {
  // Where the user's head starts, turned only about the vertical.
  const sim::SimPose head = sim::DefaultHeadPose();
  const float yaw = std::atan2(head.z.x, head.z.z);
  XrPosef pose;
  pose.orientation = {0.0f, std::sin(yaw * 0.5f), 0.0f, std::cos(yaw * 0.5f)};
  pose.position = {head.position.x, head.position.y, head.position.z};
  return pose;
}

bool SpaceInWorld(const Space* space, XrPosef* out) {
  XrPosef base;
  if (space->isAction) {
    if (!ActionPoseInWorld(space->session, static_cast<const Action*>(
                                                   Find(space->action, Kind::Action)),
                           space->subaction, &base)) {
      return false;
    }
  } else if (space->reference == XR_REFERENCE_SPACE_TYPE_VIEW) {
    if (!space->session->rig.valid[0]) return false;
    base = FromSimPose(space->session->rig.pose[0]);
  } else if (space->reference == XR_REFERENCE_SPACE_TYPE_LOCAL) {
    base = LocalInWorld();
  } else {
    base = Identity();  // the stage is the tracking space: floor level, sculpture at the centre
  }
  *out = Compose(base, space->offset);
  return true;
}

void AddSessionFunctions(FunctionTable* table) {
  XRSIM_ADD(table, CreateSession);
  XRSIM_ADD(table, DestroySession);
  XRSIM_ADD(table, BeginSession);
  XRSIM_ADD(table, EndSession);
  XRSIM_ADD(table, RequestExitSession);
  XRSIM_ADD(table, EnumerateReferenceSpaces);
  XRSIM_ADD(table, CreateReferenceSpace);
  XRSIM_ADD(table, GetReferenceSpaceBoundsRect);
  XRSIM_ADD(table, DestroySpace);
  XRSIM_ADD(table, LocateSpace);
}

}  // namespace vr::xrsim

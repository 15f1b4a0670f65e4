#pragma once
// Inside the simulated headset's OpenXR runtime (libloomwork_xr_sim.so): the objects behind the
// handles, the shared device state that the timeline drives, and the helpers every entry point
// uses. Every entry point takes the runtime's lock first, then looks its handles up in the
// registry: a handle is a number never reused, so a stale or foreign handle is simply not found.
#include <X11/Xlib.h>
#include <GL/glx.h>

#define XR_USE_PLATFORM_XLIB
#define XR_USE_GRAPHICS_API_OPENGL
#include <openxr/openxr.h>
#include <openxr/openxr_platform.h>

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sim_headset/sim_options.h"
#include "sim_headset/sim_pose.h"
#include "sim_headset/sim_timeline.h"

namespace vr::xrsim {

constexpr XrSystemId kSystemId = 1;
constexpr uint32_t kMaxLayerCount = 16;
constexpr uint32_t kMaxImageSide = 16384;
constexpr uint32_t kSwapchainImageCount = 3;
constexpr int64_t kFramePeriodNs = 11111111;  // 90 Hz
constexpr float kClickThreshold = 0.5f;       // a trigger pulled past half reads as a click

enum class Kind { Instance, Session, Space, ActionSet, Action, Swapchain };

struct Object {
  explicit Object(Kind k) : kind(k) {}
  virtual ~Object() = default;
  Kind kind;
  uint64_t handle = 0;
};

// The simulated devices as the timeline leaves them: head, left hand, right hand.
struct Rig {
  sim::SimPose pose[3];
  bool valid[3] = {true, true, true};
  float trigger[2] = {};
  uint64_t pressed[2] = {};  // ButtonMaskFromId bits
};

struct Binding {
  uint64_t action = 0;
  XrPath path = XR_NULL_PATH;
};

// Faults a test asks for with LOOMWORK_XR_SIM_FAULT, to see how an application copes:
//   refuse-gl-session    xrCreateSession answers XR_ERROR_GRAPHICS_DEVICE_INVALID
//   no-rgba-formats      swapchains are offered in GL_RGBA16F only
//   lose-session-at=N    the session goes to LOSS_PENDING in frame N
//   bad-right-pose       the right hand is located with a zero quaternion, flagged valid
struct Faults {
  bool refuseGlSession = false;
  bool noRgbaFormats = false;
  uint64_t loseSessionAt = 0;
  bool badRightPose = false;
};
// False (logged) for a value that names no fault.
bool ParseFaults(const char* text, Faults* faults);

struct Instance : Object {
  Instance() : Object(Kind::Instance) {}
  Faults faults;
  std::string applicationName;
  bool glEnabled = false;
  bool graphicsRequirementsQueried = false;
  sim::SimulatedHeadsetOptions options;
  sim::Timeline timeline;
  std::vector<std::string> paths;  // XrPath n is paths[n - 1]
  std::unordered_map<std::string, XrPath> pathIds;
  std::deque<XrEventDataBuffer> events;
  std::vector<uint64_t> sessions, actionSets;
  std::map<XrPath, std::vector<Binding>> suggested;  // by interaction profile
};

struct Swapchain;
class CompanionWindow;

struct ActionState {
  bool boolValue = false;
  float floatValue = 0.0f;
  XrVector2f vectorValue{0.0f, 0.0f};
  bool active = false;
  bool changed = false;
  XrTime lastChange = 0;
};

struct Session : Object {
  Session();  // both out of line: the window's type is complete only there
  ~Session() override;
  Instance* instance = nullptr;
  Display* display = nullptr;
  GLXContext context = nullptr;
  XrSessionState state = XR_SESSION_STATE_IDLE;
  bool running = false;
  bool exitRequested = false;  // by the application or the timeline
  XrViewConfigurationType viewConfiguration = XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO;
  std::vector<uint64_t> spaces, swapchains;
  bool actionSetsAttached = false;
  std::vector<uint64_t> attachedSets;
  XrPath profile[2] = {XR_NULL_PATH, XR_NULL_PATH};
  std::unordered_map<uint64_t, std::array<ActionState, 3>> actionStates;  // left, right, either hand
  std::vector<uint64_t> activeSets;                            // of the last xrSyncActions
  // Frames
  Rig rig;
  size_t nextCommand = 0;
  uint64_t frameIndex = 0;  // xrWaitFrame calls so far
  int64_t startNs = 0;
  bool frameWaited = false;  // an xrWaitFrame not yet followed by xrBeginFrame
  bool frameBegun = false;
  XrTime lastDisplayTime = 0;
  uint64_t framesEnded = 0;
  struct Capture {
    bool pending = false;
    uint64_t frame = 0;
    std::string path;
  } captures[2];
  uint32_t hapticPulses = 0;
  std::unique_ptr<CompanionWindow> window;  // mouse and keyboard driving, without a timeline
};

struct Space : Object {
  Space() : Object(Kind::Space) {}
  Session* session = nullptr;
  XrReferenceSpaceType reference = XR_REFERENCE_SPACE_TYPE_VIEW;
  bool isAction = false;
  uint64_t action = 0;
  XrPath subaction = XR_NULL_PATH;
  XrPosef offset{};
};

struct ActionSet : Object {
  ActionSet() : Object(Kind::ActionSet) {}
  Instance* instance = nullptr;
  std::string name, localizedName;
  uint32_t priority = 0;
  bool attached = false;
  std::vector<uint64_t> actions;
};

struct Action : Object {
  Action() : Object(Kind::Action) {}
  ActionSet* set = nullptr;
  std::string name, localizedName;
  XrActionType type = XR_ACTION_TYPE_BOOLEAN_INPUT;
  std::vector<XrPath> subactionPaths;
};

struct Swapchain : Object {
  Swapchain() : Object(Kind::Swapchain) {}
  Session* session = nullptr;
  int64_t format = 0;
  uint32_t width = 0, height = 0;
  bool isStatic = false;
  uint32_t staticAcquires = 0;
  std::vector<uint32_t> textures;
  std::deque<uint32_t> acquired;  // acquired and not yet released, oldest first
  bool waited = false;            // the oldest acquired image has been waited on
  uint32_t nextImage = 0;
  int32_t lastReleased = -1;
};

// ------------------------------------------------------------------ registry (under the lock)

std::mutex& Lock();
uint64_t Register(std::unique_ptr<Object> object);
Object* Find(uint64_t handle, Kind kind);
void Unregister(uint64_t handle);  // deletes the object

template <typename T, typename H>
T* Get(H handle, Kind kind) {
  return static_cast<T*>(Find(reinterpret_cast<uint64_t>(handle), kind));
}
template <typename H>
H ToHandle(uint64_t value) {
  return reinterpret_cast<H>(value);
}

// Destroy with everything that belongs to it.
void DestroySessionObject(Session* session);
void DestroySpaceObject(Space* space);
void DestroySwapchainObject(Swapchain* swapchain);
void DestroyActionSetObject(ActionSet* set);

// --------------------------------------------------------------------------- helpers

int64_t NowNs();
// The two-call idiom: count out, then SIZE_INSUFFICIENT or a copy.
template <typename T>
XrResult EnumerateInto(const T* values, uint32_t count, uint32_t capacity, uint32_t* countOutput,
                       T* out) {
  if (countOutput == nullptr || (capacity > 0 && out == nullptr)) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  *countOutput = count;
  if (capacity == 0) return XR_SUCCESS;
  if (capacity < count) return XR_ERROR_SIZE_INSUFFICIENT;
  for (uint32_t i = 0; i < count; ++i) out[i] = values[i];
  return XR_SUCCESS;
}
XrResult EnumerateString(const std::string& text, uint32_t capacity, uint32_t* countOutput,
                         char* buffer);

XrPath InternPath(Instance* instance, std::string_view text);  // text must be well formed
const std::string* PathText(const Instance* instance, XrPath path);
bool WellFormedPath(std::string_view text);

void QueueEvent(Instance* instance, const XrEventDataBuffer& event);
void QueueStateChange(Session* session, XrSessionState state);
void QueueProfileChanged(Session* session);
// Runs the session down to EXITING: STOPPING when it runs (xrEndSession goes on from there).
void StopSession(Session* session, const char* why);

// Poses
XrPosef Identity();
XrPosef FromSimPose(const sim::SimPose& pose);
XrPosef Compose(const XrPosef& outer, const XrPosef& inner);
XrPosef Inverse(const XrPosef& pose);
bool UnitQuaternion(const XrQuaternionf& q);
// The space's pose in world (tracking) space; false when it is not tracked now.
bool SpaceInWorld(const Space* space, XrPosef* out);
XrPosef LocalInWorld();

// Input (openxr_sim_action_state.cpp, openxr_sim_bindings.cpp)
void AdvanceRig(Session* session);  // applies the timeline for session->frameIndex
void ChooseProfiles(Session* session);
// Pose of a hand (0 left, 1 right) an action space follows; false when unbound or untracked.
bool ActionPoseInWorld(const Session* session, const Action* action, XrPath subaction,
                       XrPosef* out);

// The companion window (openxr_sim_window.cpp): opened with the session when there is no
// timeline; driven once per xrWaitFrame; shows the submitted eyes every few frames.
void OpenCompanionWindow(Session* session);
void DriveFromWindow(Session* session);
bool WindowWantsPicture(const Session* session);
void ShowInWindow(Session* session, int eye, int width, int height,
                  const std::vector<uint8_t>& rgba);

// GL (openxr_sim_gl.cpp): the application's context is current on the calling thread.
bool GlContextCurrent();
bool CreateTextures(int64_t format, uint32_t width, uint32_t height, uint32_t mipCount,
                    std::vector<uint32_t>* textures);
void DeleteTextures(const std::vector<uint32_t>& textures);
// A rectangle of level 0 as RGBA8, top row first (OpenGL images have row 0 at the bottom).
bool ReadTextureRect(uint32_t texture, int x, int y, int width, int height,
                     std::vector<uint8_t>* pixels);

}  // namespace vr::xrsim

namespace vr::xrsim {

// Entry points by OpenXR name; each file adds its own. Extension functions are flagged so that
// xrGetInstanceProcAddr hands them out only to instances that enabled the extension.
struct FunctionEntry {
  PFN_xrVoidFunction function = nullptr;
  bool needsOpenGl = false;
};
using FunctionTable = std::unordered_map<std::string, FunctionEntry>;
void AddSessionFunctions(FunctionTable* table);
void AddFrameFunctions(FunctionTable* table);
void AddActionFunctions(FunctionTable* table);
void AddActionStateFunctions(FunctionTable* table);

#define XRSIM_ADD(table, name) \
  (*(table))["xr" #name] = FunctionEntry{reinterpret_cast<PFN_xrVoidFunction>(&name), false}

}  // namespace vr::xrsim

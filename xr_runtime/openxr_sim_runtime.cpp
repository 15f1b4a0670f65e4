// The simulated headset as an OpenXR runtime: the loader negotiation, xrGetInstanceProcAddr, the
// instance, the system, paths, strings and events. Sessions, frames and actions live in the
// files beside this one.
#include <openxr/openxr_reflection.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <cstdlib>
#include <string>
#include <string_view>

#include "base/log.h"
#include "sim_headset/sim_options.h"
#include "xr_runtime/openxr_sim_internal.h"

namespace vr::xrsim {
namespace {

// The loader's negotiation structures (published in the loader documentation; Debian's headers
// do not install them).
enum XrLoaderInterfaceStructs : int32_t {
  XR_LOADER_INTERFACE_STRUCT_UNINTIALIZED = 0,
  XR_LOADER_INTERFACE_STRUCT_LOADER_INFO = 1,
  XR_LOADER_INTERFACE_STRUCT_API_LAYER_REQUEST = 2,
  XR_LOADER_INTERFACE_STRUCT_RUNTIME_REQUEST = 3,
};
constexpr uint32_t kLoaderInfoStructVersion = 1;
constexpr uint32_t kRuntimeInfoStructVersion = 1;
constexpr uint32_t kRuntimeInterfaceVersion = 1;

struct XrNegotiateLoaderInfo {
  XrLoaderInterfaceStructs structType;
  uint32_t structVersion;
  size_t structSize;
  uint32_t minInterfaceVersion;
  uint32_t maxInterfaceVersion;
  XrVersion minApiVersion;
  XrVersion maxApiVersion;
};

struct XrNegotiateRuntimeRequest {
  XrLoaderInterfaceStructs structType;
  uint32_t structVersion;
  size_t structSize;
  uint32_t runtimeInterfaceVersion;
  XrVersion runtimeApiVersion;
  PFN_xrGetInstanceProcAddr getInstanceProcAddr;
};

constexpr char kRuntimeName[] = "Loomwork simulated headset";
constexpr uint32_t kVendorId = 0x4C4D;  // "LM"

std::mutex g_lock;
std::unordered_map<uint64_t, std::unique_ptr<Object>> g_objects;
uint64_t g_nextHandle = 0x100;

const FunctionTable& Functions();

// ------------------------------------------------------------------------ global

XrResult XRAPI_CALL EnumerateInstanceExtensionProperties(const char* layerName,
                                                         uint32_t capacity, uint32_t* countOutput,
                                                         XrExtensionProperties* properties) {
  if (layerName != nullptr && layerName[0] != '\0') {
    return XR_ERROR_API_LAYER_NOT_PRESENT;
  }
  if (countOutput == nullptr || (capacity > 0 && properties == nullptr)) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  *countOutput = 1;
  if (capacity == 0) return XR_SUCCESS;
  if (properties[0].type != XR_TYPE_EXTENSION_PROPERTIES) return XR_ERROR_VALIDATION_FAILURE;
  std::snprintf(properties[0].extensionName, XR_MAX_EXTENSION_NAME_SIZE, "%s",
                XR_KHR_OPENGL_ENABLE_EXTENSION_NAME);
  properties[0].extensionVersion = XR_KHR_opengl_enable_SPEC_VERSION;
  return XR_SUCCESS;
}

XrResult XRAPI_CALL EnumerateApiLayerProperties(uint32_t capacity, uint32_t* countOutput,
                                                XrApiLayerProperties* properties) {
  return EnumerateInto<XrApiLayerProperties>(nullptr, 0, capacity, countOutput, properties);
}

XrResult XRAPI_CALL CreateInstance(const XrInstanceCreateInfo* info, XrInstance* out) {
  if (info == nullptr || out == nullptr || info->type != XR_TYPE_INSTANCE_CREATE_INFO) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  const XrApplicationInfo& app = info->applicationInfo;
  if (strnlen(app.applicationName, XR_MAX_APPLICATION_NAME_SIZE) == 0) {
    return XR_ERROR_NAME_INVALID;
  }
  if (XR_VERSION_MAJOR(app.apiVersion) != 1 || XR_VERSION_MINOR(app.apiVersion) != 0) {
    return XR_ERROR_API_VERSION_UNSUPPORTED;
  }
  if (info->enabledExtensionCount > 0 && info->enabledExtensionNames == nullptr) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  auto instance = std::make_unique<Instance>();
  for (uint32_t i = 0; i < info->enabledExtensionCount; ++i) {
    const char* name = info->enabledExtensionNames[i];
    if (name != nullptr && std::strcmp(name, XR_KHR_OPENGL_ENABLE_EXTENSION_NAME) == 0) {
      instance->glEnabled = true;
    } else {
      Log(LogLevel::Error, "OpenXR simulated headset: extension %.128s is not supported",
          name != nullptr ? name : "(null)");
      return XR_ERROR_EXTENSION_NOT_PRESENT;
    }
  }
  instance->applicationName.assign(app.applicationName,
                                   strnlen(app.applicationName, XR_MAX_APPLICATION_NAME_SIZE));
  instance->options = sim::OptionsForStart();
  if (!ParseFaults(std::getenv("LOOMWORK_XR_SIM_FAULT"), &instance->faults)) {
    return XR_ERROR_INITIALIZATION_FAILED;
  }
  if (!instance->options.timelinePath.empty()) {
    if (sim::LoadTimeline(instance->options.timelinePath, &instance->timeline) !=
        sim::TimelineStatus::Ok) {
      return XR_ERROR_INITIALIZATION_FAILED;  // the timeline logged what is wrong
    }
    Log(LogLevel::Info, "OpenXR simulated headset: following %s (%zu commands)",
        instance->options.timelinePath.c_str(), instance->timeline.commands.size());
  } else {
    Log(LogLevel::Info,
        "OpenXR simulated headset: no timeline (LOOMWORK_VR_TIMELINE): the mouse and keyboard "
        "drive the controllers through the loomwork-xr-sim window");
  }
  std::lock_guard<std::mutex> lock(g_lock);
  Log(LogLevel::Info, "OpenXR simulated headset: instance for %s, eyes %ux%u, %s",
      instance->applicationName.c_str(), instance->options.eyeWidth, instance->options.eyeHeight,
      instance->options.paced ? "90 Hz" : "unpaced");
  *out = ToHandle<XrInstance>(Register(std::move(instance)));
  return XR_SUCCESS;
}

XrResult XRAPI_CALL GetInstanceProcAddr(XrInstance instance, const char* name,
                                        PFN_xrVoidFunction* function) {
  if (function == nullptr || name == nullptr) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  *function = nullptr;
  const std::string_view n(name);
  if (instance == XR_NULL_HANDLE) {
    if (n == "xrEnumerateInstanceExtensionProperties" || n == "xrEnumerateApiLayerProperties" ||
        n == "xrCreateInstance" || n == "xrGetInstanceProcAddr") {
      *function = Functions().at(std::string(n)).function;
      return XR_SUCCESS;
    }
    return XR_ERROR_HANDLE_INVALID;
  }
  std::lock_guard<std::mutex> lock(g_lock);
  const Instance* owner = Get<Instance>(instance, Kind::Instance);
  if (owner == nullptr) return XR_ERROR_HANDLE_INVALID;
  const auto it = Functions().find(std::string(n));
  if (it == Functions().end() || (it->second.needsOpenGl && !owner->glEnabled)) {
    return XR_ERROR_FUNCTION_UNSUPPORTED;
  }
  *function = it->second.function;
  return XR_SUCCESS;
}

XrResult XRAPI_CALL DestroyInstance(XrInstance handle) {
  std::lock_guard<std::mutex> lock(g_lock);
  Instance* instance = Get<Instance>(handle, Kind::Instance);
  if (instance == nullptr) return XR_ERROR_HANDLE_INVALID;
  for (uint64_t s : std::vector<uint64_t>(instance->sessions)) {
    if (auto* session = static_cast<Session*>(Find(s, Kind::Session))) {
      DestroySessionObject(session);
    }
  }
  for (uint64_t a : std::vector<uint64_t>(instance->actionSets)) {
    if (auto* set = static_cast<ActionSet*>(Find(a, Kind::ActionSet))) {
      DestroyActionSetObject(set);
    }
  }
  Unregister(instance->handle);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL GetInstanceProperties(XrInstance handle, XrInstanceProperties* properties) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (Get<Instance>(handle, Kind::Instance) == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (properties == nullptr || properties->type != XR_TYPE_INSTANCE_PROPERTIES) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  properties->runtimeVersion = XR_MAKE_VERSION(1, 0, 0);
  std::snprintf(properties->runtimeName, XR_MAX_RUNTIME_NAME_SIZE, "%s", kRuntimeName);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL PollEvent(XrInstance handle, XrEventDataBuffer* event) {
  std::lock_guard<std::mutex> lock(g_lock);
  Instance* instance = Get<Instance>(handle, Kind::Instance);
  if (instance == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (event == nullptr || event->type != XR_TYPE_EVENT_DATA_BUFFER) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (instance->events.empty()) return XR_EVENT_UNAVAILABLE;
  *event = instance->events.front();
  instance->events.pop_front();
  return XR_SUCCESS;
}

// ------------------------------------------------------------------- strings

#define XRSIM_RESULT_CASE(name, value) \
  case name: return #name;
const char* ResultName(XrResult value) {
  switch (value) {
    XR_LIST_ENUM_XrResult(XRSIM_RESULT_CASE)
    default: return nullptr;
  }
}
const char* StructureTypeName(XrStructureType value) {
  switch (value) {
    XR_LIST_ENUM_XrStructureType(XRSIM_RESULT_CASE)
    default: return nullptr;
  }
}
#undef XRSIM_RESULT_CASE

XrResult XRAPI_CALL ResultToString(XrInstance handle, XrResult value,
                                   char buffer[XR_MAX_RESULT_STRING_SIZE]) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (Get<Instance>(handle, Kind::Instance) == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (buffer == nullptr) return XR_ERROR_VALIDATION_FAILURE;
  if (const char* name = ResultName(value)) {
    std::snprintf(buffer, XR_MAX_RESULT_STRING_SIZE, "%s", name);
  } else {
    std::snprintf(buffer, XR_MAX_RESULT_STRING_SIZE, "XR_UNKNOWN_%s_%d",
                  value >= 0 ? "SUCCESS" : "FAILURE", int(value));
  }
  return XR_SUCCESS;
}

XrResult XRAPI_CALL StructureTypeToString(XrInstance handle, XrStructureType value,
                                          char buffer[XR_MAX_STRUCTURE_NAME_SIZE]) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (Get<Instance>(handle, Kind::Instance) == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (buffer == nullptr) return XR_ERROR_VALIDATION_FAILURE;
  if (const char* name = StructureTypeName(value)) {
    std::snprintf(buffer, XR_MAX_STRUCTURE_NAME_SIZE, "%s", name);
  } else {
    std::snprintf(buffer, XR_MAX_STRUCTURE_NAME_SIZE, "XR_UNKNOWN_STRUCTURE_TYPE_%d",
                  int(value));
  }
  return XR_SUCCESS;
}

// --------------------------------------------------------------------- paths

XrResult XRAPI_CALL StringToPath(XrInstance handle, const char* text, XrPath* path) {
  std::lock_guard<std::mutex> lock(g_lock);
  Instance* instance = Get<Instance>(handle, Kind::Instance);
  if (instance == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (text == nullptr || path == nullptr) return XR_ERROR_VALIDATION_FAILURE;
  const std::string_view view(text, strnlen(text, XR_MAX_PATH_LENGTH));
  if (view.size() >= XR_MAX_PATH_LENGTH || !WellFormedPath(view)) {
    return XR_ERROR_PATH_FORMAT_INVALID;
  }
  *path = InternPath(instance, view);
  return XR_SUCCESS;
}

XrResult XRAPI_CALL PathToString(XrInstance handle, XrPath path, uint32_t capacity,
                                 uint32_t* countOutput, char* buffer) {
  std::lock_guard<std::mutex> lock(g_lock);
  Instance* instance = Get<Instance>(handle, Kind::Instance);
  if (instance == nullptr) return XR_ERROR_HANDLE_INVALID;
  const std::string* text = PathText(instance, path);
  if (text == nullptr) return XR_ERROR_PATH_INVALID;
  return EnumerateString(*text, capacity, countOutput, buffer);
}

// -------------------------------------------------------------------- system

XrResult XRAPI_CALL GetSystem(XrInstance handle, const XrSystemGetInfo* info, XrSystemId* id) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (Get<Instance>(handle, Kind::Instance) == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (info == nullptr || id == nullptr || info->type != XR_TYPE_SYSTEM_GET_INFO) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  if (info->formFactor == XR_FORM_FACTOR_HEAD_MOUNTED_DISPLAY) {
    *id = kSystemId;
    return XR_SUCCESS;
  }
  return info->formFactor == XR_FORM_FACTOR_HANDHELD_DISPLAY ? XR_ERROR_FORM_FACTOR_UNSUPPORTED
                                                             : XR_ERROR_VALIDATION_FAILURE;
}

XrResult XRAPI_CALL GetSystemProperties(XrInstance handle, XrSystemId system,
                                        XrSystemProperties* properties) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (Get<Instance>(handle, Kind::Instance) == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (system != kSystemId) return XR_ERROR_SYSTEM_INVALID;
  if (properties == nullptr || properties->type != XR_TYPE_SYSTEM_PROPERTIES) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  properties->systemId = kSystemId;
  properties->vendorId = kVendorId;
  std::snprintf(properties->systemName, XR_MAX_SYSTEM_NAME_SIZE, "%s", kRuntimeName);
  properties->graphicsProperties.maxSwapchainImageWidth = kMaxImageSide;
  properties->graphicsProperties.maxSwapchainImageHeight = kMaxImageSide;
  properties->graphicsProperties.maxLayerCount = kMaxLayerCount;
  properties->trackingProperties.orientationTracking = XR_TRUE;
  properties->trackingProperties.positionTracking = XR_TRUE;
  return XR_SUCCESS;
}

bool StereoConfiguration(XrViewConfigurationType type, XrResult* error) {
  if (type == XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO) return true;
  *error = type == XR_VIEW_CONFIGURATION_TYPE_PRIMARY_MONO ||
                   type == XR_VIEW_CONFIGURATION_TYPE_PRIMARY_QUAD_VARJO ||
                   type == XR_VIEW_CONFIGURATION_TYPE_SECONDARY_MONO_FIRST_PERSON_OBSERVER_MSFT
               ? XR_ERROR_VIEW_CONFIGURATION_TYPE_UNSUPPORTED
               : XR_ERROR_VALIDATION_FAILURE;
  return false;
}

XrResult XRAPI_CALL EnumerateViewConfigurations(XrInstance handle, XrSystemId system,
                                                uint32_t capacity, uint32_t* countOutput,
                                                XrViewConfigurationType* types) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (Get<Instance>(handle, Kind::Instance) == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (system != kSystemId) return XR_ERROR_SYSTEM_INVALID;
  const XrViewConfigurationType stereo = XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO;
  return EnumerateInto(&stereo, 1, capacity, countOutput, types);
}

XrResult XRAPI_CALL GetViewConfigurationProperties(XrInstance handle, XrSystemId system,
                                                   XrViewConfigurationType type,
                                                   XrViewConfigurationProperties* properties) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (Get<Instance>(handle, Kind::Instance) == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (system != kSystemId) return XR_ERROR_SYSTEM_INVALID;
  if (properties == nullptr || properties->type != XR_TYPE_VIEW_CONFIGURATION_PROPERTIES) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  XrResult error = XR_SUCCESS;
  if (!StereoConfiguration(type, &error)) return error;
  properties->viewConfigurationType = type;
  properties->fovMutable = XR_FALSE;
  return XR_SUCCESS;
}

XrResult XRAPI_CALL EnumerateViewConfigurationViews(XrInstance handle, XrSystemId system,
                                                    XrViewConfigurationType type,
                                                    uint32_t capacity, uint32_t* countOutput,
                                                    XrViewConfigurationView* views) {
  std::lock_guard<std::mutex> lock(g_lock);
  const Instance* instance = Get<Instance>(handle, Kind::Instance);
  if (instance == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (system != kSystemId) return XR_ERROR_SYSTEM_INVALID;
  XrResult error = XR_SUCCESS;
  if (!StereoConfiguration(type, &error)) return error;
  for (uint32_t i = 0; views != nullptr && i < std::min(capacity, 2u); ++i) {
    if (views[i].type != XR_TYPE_VIEW_CONFIGURATION_VIEW) return XR_ERROR_VALIDATION_FAILURE;
  }
  XrViewConfigurationView eye{};
  eye.type = XR_TYPE_VIEW_CONFIGURATION_VIEW;
  eye.recommendedImageRectWidth = instance->options.eyeWidth;
  eye.recommendedImageRectHeight = instance->options.eyeHeight;
  eye.maxImageRectWidth = kMaxImageSide;
  eye.maxImageRectHeight = kMaxImageSide;
  eye.recommendedSwapchainSampleCount = 1;
  eye.maxSwapchainSampleCount = 1;
  const XrViewConfigurationView both[2] = {eye, eye};
  return EnumerateInto(both, 2, capacity, countOutput, views);
}

XrResult XRAPI_CALL EnumerateEnvironmentBlendModes(XrInstance handle, XrSystemId system,
                                                   XrViewConfigurationType type,
                                                   uint32_t capacity, uint32_t* countOutput,
                                                   XrEnvironmentBlendMode* modes) {
  std::lock_guard<std::mutex> lock(g_lock);
  if (Get<Instance>(handle, Kind::Instance) == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (system != kSystemId) return XR_ERROR_SYSTEM_INVALID;
  XrResult error = XR_SUCCESS;
  if (!StereoConfiguration(type, &error)) return error;
  const XrEnvironmentBlendMode opaque = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
  return EnumerateInto(&opaque, 1, capacity, countOutput, modes);
}

XrResult XRAPI_CALL GetOpenGLGraphicsRequirementsKHR(XrInstance handle, XrSystemId system,
                                                     XrGraphicsRequirementsOpenGLKHR* out) {
  std::lock_guard<std::mutex> lock(g_lock);
  Instance* instance = Get<Instance>(handle, Kind::Instance);
  if (instance == nullptr) return XR_ERROR_HANDLE_INVALID;
  if (system != kSystemId) return XR_ERROR_SYSTEM_INVALID;
  if (out == nullptr || out->type != XR_TYPE_GRAPHICS_REQUIREMENTS_OPENGL_KHR) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  out->minApiVersionSupported = XR_MAKE_VERSION(4, 5, 0);
  out->maxApiVersionSupported = XR_MAKE_VERSION(4, 6, 0);
  instance->graphicsRequirementsQueried = true;
  return XR_SUCCESS;
}

const FunctionTable& Functions() {
  static const FunctionTable table = [] {
    FunctionTable t;
    XRSIM_ADD(&t, GetInstanceProcAddr);
    XRSIM_ADD(&t, EnumerateInstanceExtensionProperties);
    XRSIM_ADD(&t, EnumerateApiLayerProperties);
    XRSIM_ADD(&t, CreateInstance);
    XRSIM_ADD(&t, DestroyInstance);
    XRSIM_ADD(&t, GetInstanceProperties);
    XRSIM_ADD(&t, PollEvent);
    XRSIM_ADD(&t, ResultToString);
    XRSIM_ADD(&t, StructureTypeToString);
    XRSIM_ADD(&t, StringToPath);
    XRSIM_ADD(&t, PathToString);
    XRSIM_ADD(&t, GetSystem);
    XRSIM_ADD(&t, GetSystemProperties);
    XRSIM_ADD(&t, EnumerateViewConfigurations);
    XRSIM_ADD(&t, GetViewConfigurationProperties);
    XRSIM_ADD(&t, EnumerateViewConfigurationViews);
    XRSIM_ADD(&t, EnumerateEnvironmentBlendModes);
    XRSIM_ADD(&t, GetOpenGLGraphicsRequirementsKHR);
    t["xrGetOpenGLGraphicsRequirementsKHR"].needsOpenGl = true;
    AddSessionFunctions(&t);
    AddFrameFunctions(&t);
    AddActionFunctions(&t);
    AddActionStateFunctions(&t);
    return t;
  }();
  return table;
}

}  // namespace

// --------------------------------------------------------------- shared helpers

std::mutex& Lock() { return g_lock; }

uint64_t Register(std::unique_ptr<Object> object) {
  const uint64_t handle = g_nextHandle++;
  object->handle = handle;
  g_objects[handle] = std::move(object);
  return handle;
}

Object* Find(uint64_t handle, Kind kind) {
  const auto it = g_objects.find(handle);
  return it != g_objects.end() && it->second->kind == kind ? it->second.get() : nullptr;
}

void Unregister(uint64_t handle) { g_objects.erase(handle); }

int64_t NowNs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

XrResult EnumerateString(const std::string& text, uint32_t capacity, uint32_t* countOutput,
                         char* buffer) {
  if (countOutput == nullptr || (capacity > 0 && buffer == nullptr)) {
    return XR_ERROR_VALIDATION_FAILURE;
  }
  const uint32_t needed = uint32_t(text.size()) + 1;
  *countOutput = needed;
  if (capacity == 0) return XR_SUCCESS;
  if (capacity < needed) return XR_ERROR_SIZE_INSUFFICIENT;
  std::memcpy(buffer, text.c_str(), needed);
  return XR_SUCCESS;
}

bool WellFormedPath(std::string_view text) {
  if (text.size() < 2 || text.front() != '/' || text.back() == '/') return false;
  size_t start = 1;
  while (start <= text.size()) {
    size_t end = text.find('/', start);
    if (end == std::string_view::npos) end = text.size();
    const std::string_view part = text.substr(start, end - start);
    if (part.empty() || part == "." || part == "..") return false;
    for (char c : part) {
      if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
            c == '.')) {
        return false;
      }
    }
    start = end + 1;
  }
  return true;
}

XrPath InternPath(Instance* instance, std::string_view text) {
  const std::string key(text);
  const auto it = instance->pathIds.find(key);
  if (it != instance->pathIds.end()) return it->second;
  instance->paths.push_back(key);
  const XrPath path = XrPath(instance->paths.size());
  instance->pathIds.emplace(key, path);
  return path;
}

const std::string* PathText(const Instance* instance, XrPath path) {
  return path >= 1 && path <= instance->paths.size() ? &instance->paths[path - 1] : nullptr;
}

void QueueEvent(Instance* instance, const XrEventDataBuffer& event) {
  instance->events.push_back(event);
}

void QueueStateChange(Session* session, XrSessionState state) {
  session->state = state;
  XrEventDataBuffer buffer{};
  auto* event = reinterpret_cast<XrEventDataSessionStateChanged*>(&buffer);
  event->type = XR_TYPE_EVENT_DATA_SESSION_STATE_CHANGED;
  event->next = nullptr;
  event->session = ToHandle<XrSession>(session->handle);
  event->state = state;
  event->time = NowNs();
  QueueEvent(session->instance, buffer);
}

void QueueProfileChanged(Session* session) {
  XrEventDataBuffer buffer{};
  auto* event = reinterpret_cast<XrEventDataInteractionProfileChanged*>(&buffer);
  event->type = XR_TYPE_EVENT_DATA_INTERACTION_PROFILE_CHANGED;
  event->next = nullptr;
  event->session = ToHandle<XrSession>(session->handle);
  QueueEvent(session->instance, buffer);
}

bool ParseFaults(const char* text, Faults* faults) {
  *faults = Faults{};
  if (text == nullptr || text[0] == '\0') return true;
  const std::string_view fault(text);
  constexpr std::string_view kLoseAt = "lose-session-at=";
  if (fault == "refuse-gl-session") {
    faults->refuseGlSession = true;
  } else if (fault == "no-rgba-formats") {
    faults->noRgbaFormats = true;
  } else if (fault == "bad-right-pose") {
    faults->badRightPose = true;
  } else if (fault.substr(0, kLoseAt.size()) == kLoseAt && fault.size() > kLoseAt.size() &&
             fault.size() <= kLoseAt.size() + 9 &&
             fault.find_first_not_of("0123456789", kLoseAt.size()) == std::string_view::npos) {
    faults->loseSessionAt = std::stoull(std::string(fault.substr(kLoseAt.size())));
  } else {
    Log(LogLevel::Error, "OpenXR simulated headset: LOOMWORK_XR_SIM_FAULT='%.64s' names no fault",
        text);
    return false;
  }
  Log(LogLevel::Warning, "OpenXR simulated headset: fault %s", text);
  return true;
}

}  // namespace vr::xrsim

// The runtime's one exported symbol: the loader negotiates the interface and receives
// xrGetInstanceProcAddr; everything else is reached through it.
extern "C" __attribute__((visibility("default"))) XrResult XRAPI_CALL
xrNegotiateLoaderRuntimeInterface(const vr::xrsim::XrNegotiateLoaderInfo* loaderInfo,
                                  vr::xrsim::XrNegotiateRuntimeRequest* request) {
  using namespace vr::xrsim;
  LogToTerminal();
  if (loaderInfo == nullptr || request == nullptr ||
      loaderInfo->structType != XR_LOADER_INTERFACE_STRUCT_LOADER_INFO ||
      loaderInfo->structVersion != kLoaderInfoStructVersion ||
      loaderInfo->structSize != sizeof(XrNegotiateLoaderInfo) ||
      request->structType != XR_LOADER_INTERFACE_STRUCT_RUNTIME_REQUEST ||
      request->structVersion != kRuntimeInfoStructVersion ||
      request->structSize != sizeof(XrNegotiateRuntimeRequest) ||
      loaderInfo->minInterfaceVersion > kRuntimeInterfaceVersion ||
      loaderInfo->maxInterfaceVersion < kRuntimeInterfaceVersion ||
      loaderInfo->maxApiVersion < XR_MAKE_VERSION(1, 0, 0) ||
      loaderInfo->minApiVersion >= XR_MAKE_VERSION(1, 1, 0)) {
    Log(LogLevel::Error, "OpenXR simulated headset: the loader's negotiation is not supported");
    return XR_ERROR_INITIALIZATION_FAILED;
  }
  request->runtimeInterfaceVersion = kRuntimeInterfaceVersion;
  request->runtimeApiVersion = XR_CURRENT_API_VERSION;
  request->getInstanceProcAddr = &GetInstanceProcAddr;
  return XR_SUCCESS;
}

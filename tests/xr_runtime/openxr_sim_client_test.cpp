// A small OpenXR client against the simulated headset's runtime, through the real Khronos loader
// (XR_RUNTIME_JSON) and on a real OpenGL context: hostile calls (null and stale handles, wrong
// structure types, frame calls out of order, too-small capacities) and the behaviour an
// application relies on (lifecycle events, actions following the timeline, views, captures).
#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/png_image.h"
#include "tests/support/temp_directory.h"

// Xlib's macros (None, Bool, ...) after every C++ header that could trip over them.
#define GL_GLEXT_PROTOTYPES
#include <GL/gl.h>
#include <GL/glext.h>
#include <GL/glx.h>
#include <GL/glxext.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#define XR_USE_PLATFORM_XLIB
#define XR_USE_GRAPHICS_API_OPENGL
#include <openxr/openxr.h>
#include <openxr/openxr_platform.h>

namespace {

constexpr float kPi = 3.14159265f;

// An X server without -noreset (xvfb-run's) resets when its last client leaves, and refuses
// connections while it does: one connection stays open for the whole program, and a connection
// made while a previous program's reset is under way is tried again.
Display* OpenDisplay() {
  struct KeepServerUp {
    Display* display = XOpenDisplay(nullptr);
    ~KeepServerUp() {
      if (display != nullptr) XCloseDisplay(display);
    }
  };
  static KeepServerUp keepServerUp;
  for (int attempt = 0; attempt < 50; ++attempt) {
    if (Display* display = XOpenDisplay(nullptr)) return display;
    usleep(100000);
  }
  return nullptr;
}

// An OpenGL 4.5 core context on a small pbuffer, made with Xlib and GLX the way OpenXR
// applications on Linux make theirs; current on this thread while it lives.
class GlxContext {
 public:
  GlxContext() {
    display_ = OpenDisplay();
    if (display_ == nullptr) {
      failure_ = std::string("cannot open the display: ") + std::strerror(errno);
      return;
    }
    const int attributes[] = {GLX_DRAWABLE_TYPE, GLX_PBUFFER_BIT, GLX_RENDER_TYPE, GLX_RGBA_BIT,
                              GLX_RED_SIZE, 8, GLX_GREEN_SIZE, 8, GLX_BLUE_SIZE, 8, GLX_ALPHA_SIZE,
                              8, None};
    int count = 0;
    GLXFBConfig* configs =
        glXChooseFBConfig(display_, DefaultScreen(display_), attributes, &count);
    if (configs == nullptr || count == 0) {
      failure_ = "no pbuffer configuration";
      return;
    }
    const int version[] = {GLX_CONTEXT_MAJOR_VERSION_ARB, 4, GLX_CONTEXT_MINOR_VERSION_ARB, 5,
                           GLX_CONTEXT_PROFILE_MASK_ARB, GLX_CONTEXT_CORE_PROFILE_BIT_ARB, None};
    const auto create = reinterpret_cast<PFNGLXCREATECONTEXTATTRIBSARBPROC>(
        glXGetProcAddressARB(reinterpret_cast<const GLubyte*>("glXCreateContextAttribsARB")));
    if (create != nullptr) context_ = create(display_, configs[0], nullptr, True, version);
    const int size[] = {GLX_PBUFFER_WIDTH, 64, GLX_PBUFFER_HEIGHT, 64, None};
    pbuffer_ = glXCreatePbuffer(display_, configs[0], size);
    XFree(configs);
    failure_ = context_ == nullptr ? "no 4.5 core context" : pbuffer_ == 0 ? "no pbuffer" : "";
    ok_ = failure_.empty() && glXMakeContextCurrent(display_, pbuffer_, pbuffer_, context_);
    if (failure_.empty() && !ok_) failure_ = "cannot make the context current";
  }
  ~GlxContext() {
    if (display_ == nullptr) return;
    glXMakeContextCurrent(display_, None, None, nullptr);
    if (pbuffer_ != 0) glXDestroyPbuffer(display_, pbuffer_);
    if (context_ != nullptr) glXDestroyContext(display_, context_);
    XCloseDisplay(display_);
  }
  GlxContext(const GlxContext&) = delete;
  GlxContext& operator=(const GlxContext&) = delete;
  bool Ok() const { return ok_; }
  const std::string& Failure() const { return failure_; }

 private:
  Display* display_ = nullptr;
  GLXContext context_ = nullptr;
  GLXPbuffer pbuffer_ = 0;
  bool ok_ = false;
  std::string failure_;
};

class XrClient : public ::testing::Test {
 protected:
  void TearDown() override {
    if (instance_ != XR_NULL_HANDLE) {
      EXPECT_EQ(xrDestroyInstance(instance_), XR_SUCCESS);
    }
  }

  // A fresh instance on the simulated headset, following timeline (none when empty).
  void CreateInstance(const std::string& timeline = "") {
    setenv("XR_RUNTIME_JSON", LOOMWORK_XR_SIM_MANIFEST, 1);
    setenv("LOOMWORK_VR_UNPACED", "1", 1);
    setenv("LOOMWORK_VR_EYE_SIZE", "64x48", 1);
    if (timeline.empty()) {
      unsetenv("LOOMWORK_VR_TIMELINE");
    } else {
      dir_.WriteFile("timeline.txt", timeline);
      setenv("LOOMWORK_VR_TIMELINE", dir_.File("timeline.txt").c_str(), 1);
    }
    const char* extensions[] = {XR_KHR_OPENGL_ENABLE_EXTENSION_NAME};
    XrInstanceCreateInfo info{XR_TYPE_INSTANCE_CREATE_INFO};
    std::snprintf(info.applicationInfo.applicationName, XR_MAX_APPLICATION_NAME_SIZE, "client");
    info.applicationInfo.apiVersion = XR_MAKE_VERSION(1, 0, 0);
    info.enabledExtensionCount = 1;
    info.enabledExtensionNames = extensions;
    ASSERT_EQ(xrCreateInstance(&info, &instance_), XR_SUCCESS);
    XrSystemGetInfo system{XR_TYPE_SYSTEM_GET_INFO};
    system.formFactor = XR_FORM_FACTOR_HEAD_MOUNTED_DISPLAY;
    ASSERT_EQ(xrGetSystem(instance_, &system, &system_), XR_SUCCESS);
  }

  void CreateSession() {
    ASSERT_TRUE(gl_.Ok()) << "no OpenGL context: " << gl_.Failure();
    PFN_xrGetOpenGLGraphicsRequirementsKHR requirements = nullptr;
    ASSERT_EQ(xrGetInstanceProcAddr(instance_, "xrGetOpenGLGraphicsRequirementsKHR",
                                    reinterpret_cast<PFN_xrVoidFunction*>(&requirements)),
              XR_SUCCESS);
    XrGraphicsRequirementsOpenGLKHR needs{XR_TYPE_GRAPHICS_REQUIREMENTS_OPENGL_KHR};
    ASSERT_EQ(requirements(instance_, system_, &needs), XR_SUCCESS);
    EXPECT_EQ(needs.minApiVersionSupported, XR_MAKE_VERSION(4, 5, 0));
    XrGraphicsBindingOpenGLXlibKHR binding{XR_TYPE_GRAPHICS_BINDING_OPENGL_XLIB_KHR};
    binding.xDisplay = glXGetCurrentDisplay();
    binding.glxDrawable = glXGetCurrentDrawable();
    binding.glxContext = glXGetCurrentContext();
    XrSessionCreateInfo info{XR_TYPE_SESSION_CREATE_INFO};
    info.next = &binding;
    info.systemId = system_;
    ASSERT_EQ(xrCreateSession(instance_, &info, &session_), XR_SUCCESS);
  }

  XrSpace ReferenceSpace(XrReferenceSpaceType type) {
    XrReferenceSpaceCreateInfo info{XR_TYPE_REFERENCE_SPACE_CREATE_INFO};
    info.referenceSpaceType = type;
    info.poseInReferenceSpace.orientation.w = 1.0f;
    XrSpace space = XR_NULL_HANDLE;
    EXPECT_EQ(xrCreateReferenceSpace(session_, &info, &space), XR_SUCCESS);
    return space;
  }

  XrSwapchain Swapchain(int64_t format = GL_RGBA8, uint32_t width = 64, uint32_t height = 48) {
    XrSwapchainCreateInfo info{XR_TYPE_SWAPCHAIN_CREATE_INFO};
    info.usageFlags = XR_SWAPCHAIN_USAGE_COLOR_ATTACHMENT_BIT;
    info.format = format;
    info.sampleCount = info.faceCount = info.arraySize = info.mipCount = 1;
    info.width = width;
    info.height = height;
    XrSwapchain swapchain = XR_NULL_HANDLE;
    EXPECT_EQ(xrCreateSwapchain(session_, &info, &swapchain), XR_SUCCESS);
    return swapchain;
  }

  // Session states announced since the last call.
  std::vector<XrSessionState> States() {
    std::vector<XrSessionState> states;
    XrEventDataBuffer event{XR_TYPE_EVENT_DATA_BUFFER};
    while (xrPollEvent(instance_, &event) == XR_SUCCESS) {
      if (event.type == XR_TYPE_EVENT_DATA_SESSION_STATE_CHANGED) {
        states.push_back(reinterpret_cast<XrEventDataSessionStateChanged&>(event).state);
      }
      event = {XR_TYPE_EVENT_DATA_BUFFER};
    }
    return states;
  }

  void Begin() {
    XrSessionBeginInfo begin{XR_TYPE_SESSION_BEGIN_INFO};
    begin.primaryViewConfigurationType = XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO;
    ASSERT_EQ(xrBeginSession(session_, &begin), XR_SUCCESS);
  }

  // One frame with no layers (or the given ones); returns xrEndFrame's result.
  XrResult Frame(const std::vector<const XrCompositionLayerBaseHeader*>& layers = {}) {
    XrFrameState state{XR_TYPE_FRAME_STATE};
    EXPECT_EQ(xrWaitFrame(session_, nullptr, &state), XR_SUCCESS);
    EXPECT_EQ(xrBeginFrame(session_, nullptr), XR_SUCCESS);
    lastDisplayTime_ = state.predictedDisplayTime;
    XrFrameEndInfo end{XR_TYPE_FRAME_END_INFO};
    end.displayTime = state.predictedDisplayTime;
    end.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
    end.layerCount = uint32_t(layers.size());
    end.layers = layers.data();
    return xrEndFrame(session_, &end);
  }

  void RenderImage(XrSwapchain swapchain, const std::function<void()>& draw) {
    uint32_t index = 0;
    ASSERT_EQ(xrAcquireSwapchainImage(swapchain, nullptr, &index), XR_SUCCESS);
    XrSwapchainImageWaitInfo wait{XR_TYPE_SWAPCHAIN_IMAGE_WAIT_INFO};
    wait.timeout = XR_INFINITE_DURATION;
    ASSERT_EQ(xrWaitSwapchainImage(swapchain, &wait), XR_SUCCESS);
    std::vector<XrSwapchainImageOpenGLKHR> images(3, {XR_TYPE_SWAPCHAIN_IMAGE_OPENGL_KHR});
    uint32_t count = 0;
    ASSERT_EQ(xrEnumerateSwapchainImages(
                  swapchain, 3, &count,
                  reinterpret_cast<XrSwapchainImageBaseHeader*>(images.data())),
              XR_SUCCESS);
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D,
                           images[index].image, 0);
    draw();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &framebuffer);
    ASSERT_EQ(xrReleaseSwapchainImage(swapchain, nullptr), XR_SUCCESS);
  }

  GlxContext gl_;
  TempDirectory dir_;
  XrInstance instance_ = XR_NULL_HANDLE;
  XrSystemId system_ = XR_NULL_SYSTEM_ID;
  XrSession session_ = XR_NULL_HANDLE;
  XrTime lastDisplayTime_ = 0;
};

// ------------------------------------------------------------------ negotiation

struct LoaderInfo {
  int32_t structType;
  uint32_t structVersion;
  size_t structSize;
  uint32_t minInterfaceVersion, maxInterfaceVersion;
  XrVersion minApiVersion, maxApiVersion;
};
struct RuntimeRequest {
  int32_t structType;
  uint32_t structVersion;
  size_t structSize;
  uint32_t runtimeInterfaceVersion;
  XrVersion runtimeApiVersion;
  PFN_xrGetInstanceProcAddr getInstanceProcAddr;
};

TEST(OpenXrNegotiation, AcceptsTheLoaderInterfaceAndRefusesAnythingElse) {
  void* library = dlopen(LOOMWORK_XR_SIM_LIBRARY, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(library, nullptr) << dlerror();
  using Negotiate = XrResult (*)(const LoaderInfo*, RuntimeRequest*);
  const auto negotiate =
      reinterpret_cast<Negotiate>(dlsym(library, "xrNegotiateLoaderRuntimeInterface"));
  ASSERT_NE(negotiate, nullptr);
  EXPECT_EQ(dlsym(library, "xrCreateInstance"), nullptr) << "only the negotiation is exported";
  const LoaderInfo goodInfo{1, 1, sizeof(LoaderInfo), 1, 1, XR_MAKE_VERSION(1, 0, 0),
                            XR_MAKE_VERSION(1, 0x3ff, 0xfff)};
  const RuntimeRequest goodRequest{3, 1, sizeof(RuntimeRequest), 0, 0, nullptr};
  struct Case {
    const char* what;
    std::function<void(LoaderInfo*, RuntimeRequest*)> spoil;
    XrResult expected;
  };
  const Case cases[] = {
      {"as the loader sends it", [](LoaderInfo*, RuntimeRequest*) {}, XR_SUCCESS},
      {"loader info type", [](LoaderInfo* i, RuntimeRequest*) { i->structType = 3; },
       XR_ERROR_INITIALIZATION_FAILED},
      {"loader info version", [](LoaderInfo* i, RuntimeRequest*) { i->structVersion = 2; },
       XR_ERROR_INITIALIZATION_FAILED},
      {"loader info size", [](LoaderInfo* i, RuntimeRequest*) { i->structSize -= 8; },
       XR_ERROR_INITIALIZATION_FAILED},
      {"request type", [](LoaderInfo*, RuntimeRequest* r) { r->structType = 2; },
       XR_ERROR_INITIALIZATION_FAILED},
      {"request version", [](LoaderInfo*, RuntimeRequest* r) { r->structVersion = 0; },
       XR_ERROR_INITIALIZATION_FAILED},
      {"request size", [](LoaderInfo*, RuntimeRequest* r) { r->structSize = 8; },
       XR_ERROR_INITIALIZATION_FAILED},
      {"interface 2 only",
       [](LoaderInfo* i, RuntimeRequest*) { i->minInterfaceVersion = i->maxInterfaceVersion = 2; },
       XR_ERROR_INITIALIZATION_FAILED},
      {"API 2.0 only",
       [](LoaderInfo* i, RuntimeRequest*) { i->minApiVersion = XR_MAKE_VERSION(2, 0, 0); },
       XR_ERROR_INITIALIZATION_FAILED},
  };
  for (const Case& c : cases) {
    LoaderInfo info = goodInfo;
    RuntimeRequest request = goodRequest;
    c.spoil(&info, &request);
    EXPECT_EQ(negotiate(&info, &request), c.expected) << c.what;
    if (c.expected == XR_SUCCESS) {
      EXPECT_EQ(request.runtimeInterfaceVersion, 1u);
      EXPECT_NE(request.getInstanceProcAddr, nullptr);
    }
  }
  EXPECT_EQ(negotiate(nullptr, nullptr), XR_ERROR_INITIALIZATION_FAILED);
  dlclose(library);
}

// ------------------------------------------------------------------ hostile calls

TEST_F(XrClient, NullAndStaleHandlesAreRefused) {
  CreateInstance();
  CreateSession();
  const XrSpace view = ReferenceSpace(XR_REFERENCE_SPACE_TYPE_VIEW);
  XrSpace stale = ReferenceSpace(XR_REFERENCE_SPACE_TYPE_STAGE);
  ASSERT_EQ(xrDestroySpace(stale), XR_SUCCESS);
  XrSwapchain staleSwapchain = Swapchain();
  ASSERT_EQ(xrDestroySwapchain(staleSwapchain), XR_SUCCESS);
  XrActionSetCreateInfo setInfo{XR_TYPE_ACTION_SET_CREATE_INFO};
  std::snprintf(setInfo.actionSetName, sizeof setInfo.actionSetName, "gone");
  std::snprintf(setInfo.localizedActionSetName, sizeof setInfo.localizedActionSetName, "Gone");
  XrActionSet staleSet = XR_NULL_HANDLE;
  ASSERT_EQ(xrCreateActionSet(instance_, &setInfo, &staleSet), XR_SUCCESS);
  ASSERT_EQ(xrDestroyActionSet(staleSet), XR_SUCCESS);
  // A space handle passed where a session is expected is not a session.
  const XrSession wrongKind = reinterpret_cast<XrSession>(view);

  XrFrameState frame{XR_TYPE_FRAME_STATE};
  XrSpaceLocation location{XR_TYPE_SPACE_LOCATION};
  uint32_t count = 0, index = 0;
  XrActionCreateInfo actionInfo{XR_TYPE_ACTION_CREATE_INFO};
  std::snprintf(actionInfo.actionName, sizeof actionInfo.actionName, "a");
  std::snprintf(actionInfo.localizedActionName, sizeof actionInfo.localizedActionName, "A");
  actionInfo.actionType = XR_ACTION_TYPE_BOOLEAN_INPUT;
  XrAction action = XR_NULL_HANDLE;
  const std::pair<const char*, std::function<XrResult()>> calls[] = {
      {"xrWaitFrame(null)", [&] { return xrWaitFrame(XR_NULL_HANDLE, nullptr, &frame); }},
      {"xrWaitFrame(space)", [&] { return xrWaitFrame(wrongKind, nullptr, &frame); }},
      {"xrLocateSpace(stale)", [&] { return xrLocateSpace(stale, view, 1, &location); }},
      {"xrLocateSpace(base stale)", [&] { return xrLocateSpace(view, stale, 1, &location); }},
      {"xrDestroySpace(stale)", [&] { return xrDestroySpace(stale); }},
      {"xrAcquireSwapchainImage(stale)",
       [&] { return xrAcquireSwapchainImage(staleSwapchain, nullptr, &index); }},
      {"xrEnumerateReferenceSpaces(null)",
       [&] { return xrEnumerateReferenceSpaces(XR_NULL_HANDLE, 0, &count, nullptr); }},
      {"xrCreateAction(stale set)", [&] { return xrCreateAction(staleSet, &actionInfo, &action); }},
      {"xrEndSession(null)", [&] { return xrEndSession(XR_NULL_HANDLE); }},
  };
  for (const auto& [what, call] : calls) EXPECT_EQ(call(), XR_ERROR_HANDLE_INVALID) << what;

  ASSERT_EQ(xrDestroySession(session_), XR_SUCCESS);
  EXPECT_EQ(xrBeginFrame(session_, nullptr), XR_ERROR_HANDLE_INVALID) << "destroyed session";
  EXPECT_EQ(xrLocateSpace(view, view, 1, &location), XR_ERROR_HANDLE_INVALID)
      << "spaces go with their session";
}

TEST_F(XrClient, WrongStructureTypesAreValidationFailures) {
  CreateInstance();
  CreateSession();
  const XrSpace stage = ReferenceSpace(XR_REFERENCE_SPACE_TYPE_STAGE);
  XrSystemGetInfo systemInfo{XR_TYPE_SESSION_BEGIN_INFO};
  systemInfo.formFactor = XR_FORM_FACTOR_HEAD_MOUNTED_DISPLAY;
  XrSystemId system = 0;
  XrSystemProperties properties{XR_TYPE_INSTANCE_PROPERTIES};
  XrEventDataBuffer event{XR_TYPE_EVENT_DATA_EVENTS_LOST};
  XrSpaceLocation location{XR_TYPE_VIEW};
  XrFrameState frame{XR_TYPE_FRAME_WAIT_INFO};
  XrReferenceSpaceCreateInfo spaceInfo{XR_TYPE_ACTION_SPACE_CREATE_INFO};
  spaceInfo.referenceSpaceType = XR_REFERENCE_SPACE_TYPE_LOCAL;
  spaceInfo.poseInReferenceSpace.orientation.w = 1.0f;
  XrSpace space = XR_NULL_HANDLE;
  XrViewConfigurationView views[2] = {{XR_TYPE_VIEW_CONFIGURATION_VIEW}, {XR_TYPE_VIEW}};
  uint32_t count = 0;
  const std::pair<const char*, std::function<XrResult()>> calls[] = {
      {"xrGetSystem", [&] { return xrGetSystem(instance_, &systemInfo, &system); }},
      {"xrGetSystemProperties",
       [&] { return xrGetSystemProperties(instance_, system_, &properties); }},
      {"xrPollEvent", [&] { return xrPollEvent(instance_, &event); }},
      {"xrLocateSpace", [&] { return xrLocateSpace(stage, stage, 1, &location); }},
      {"xrWaitFrame", [&] { return xrWaitFrame(session_, nullptr, &frame); }},
      {"xrCreateReferenceSpace", [&] { return xrCreateReferenceSpace(session_, &spaceInfo, &space); }},
      {"xrEnumerateViewConfigurationViews (second element)",
       [&] {
         return xrEnumerateViewConfigurationViews(
             instance_, system_, XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO, 2, &count, views);
       }},
  };
  for (const auto& [what, call] : calls) EXPECT_EQ(call(), XR_ERROR_VALIDATION_FAILURE) << what;
}

TEST_F(XrClient, TwoCallIdiomsReportTheCountAndRefuseSmallCapacities) {
  CreateInstance();
  CreateSession();
  const XrSwapchain swapchain = Swapchain();
  XrPath left = XR_NULL_PATH;
  ASSERT_EQ(xrStringToPath(instance_, "/user/hand/left", &left), XR_SUCCESS);
  // Each call with the capacity given, into room for 8; returns (result, count).
  struct Case {
    const char* what;
    std::function<XrResult(uint32_t capacity, uint32_t* count)> call;
    uint32_t needed;
  };
  const Case cases[] = {
      {"xrEnumerateViewConfigurationViews", [&](uint32_t capacity, uint32_t* count) {
         std::vector<XrViewConfigurationView> views(8, {XR_TYPE_VIEW_CONFIGURATION_VIEW});
         return xrEnumerateViewConfigurationViews(
             instance_, system_, XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO, capacity, count,
             views.data());
       }, 2},
      {"xrEnumerateReferenceSpaces", [&](uint32_t capacity, uint32_t* count) {
         XrReferenceSpaceType types[8];
         return xrEnumerateReferenceSpaces(session_, capacity, count, types);
       }, 3},
      {"xrEnumerateSwapchainFormats", [&](uint32_t capacity, uint32_t* count) {
         int64_t formats[8];
         return xrEnumerateSwapchainFormats(session_, capacity, count, formats);
       }, 2},
      {"xrEnumerateSwapchainImages", [&](uint32_t capacity, uint32_t* count) {
         std::vector<XrSwapchainImageOpenGLKHR> images(8, {XR_TYPE_SWAPCHAIN_IMAGE_OPENGL_KHR});
         return xrEnumerateSwapchainImages(
             swapchain, capacity, count,
             reinterpret_cast<XrSwapchainImageBaseHeader*>(images.data()));
       }, 3},
      {"xrPathToString", [&](uint32_t capacity, uint32_t* count) {
         char text[64];
         return xrPathToString(instance_, left, capacity, count, text);
       }, 16},
  };
  for (const Case& c : cases) {
    uint32_t count = 0;
    EXPECT_EQ(c.call(0, &count), XR_SUCCESS) << c.what;
    EXPECT_EQ(count, c.needed) << c.what;
    count = 0;
    EXPECT_EQ(c.call(c.needed - 1, &count), XR_ERROR_SIZE_INSUFFICIENT) << c.what;
    EXPECT_EQ(count, c.needed) << c.what;
    EXPECT_EQ(c.call(c.needed, &count), XR_SUCCESS) << c.what;
  }
  uint32_t count = 0;
  EXPECT_EQ(xrEnumerateReferenceSpaces(session_, 1, &count, nullptr),
            XR_ERROR_VALIDATION_FAILURE);
  EXPECT_EQ(xrEnumerateReferenceSpaces(session_, 0, nullptr, nullptr),
            XR_ERROR_VALIDATION_FAILURE);
}

TEST_F(XrClient, FrameAndSessionCallsOutOfOrderAreRefused) {
  CreateInstance();
  CreateSession();
  XrFrameState state{XR_TYPE_FRAME_STATE};
  XrFrameEndInfo end{XR_TYPE_FRAME_END_INFO};
  end.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
  XrSessionBeginInfo begin{XR_TYPE_SESSION_BEGIN_INFO};
  begin.primaryViewConfigurationType = XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO;
  const auto wait = [&] {
    const XrResult r = xrWaitFrame(session_, nullptr, &state);
    end.displayTime = state.predictedDisplayTime;
    return r;
  };
  const auto beginFrame = [&] { return xrBeginFrame(session_, nullptr); };
  const auto endFrame = [&] { return xrEndFrame(session_, &end); };
  const std::pair<const char*, std::function<XrResult()>> steps[] = {
      {"wait before the session runs", wait},  // -> SESSION_NOT_RUNNING
      {"begin frame before the session runs", beginFrame},
      {"end session before it runs", [&] { return xrEndSession(session_); }},
      {"begin session", [&] { return xrBeginSession(session_, &begin); }},
      {"begin session twice", [&] { return xrBeginSession(session_, &begin); }},
      {"begin frame without wait", beginFrame},
      {"end frame without begin", endFrame},
      {"wait", wait},
      {"begin", beginFrame},
      {"wait again", wait},
      {"begin again: the open frame is discarded", beginFrame},
      {"end", endFrame},
      {"end twice", endFrame},
      {"end session while running and not stopping", [&] { return xrEndSession(session_); }},
  };
  const XrResult expected[] = {
      XR_ERROR_SESSION_NOT_RUNNING, XR_ERROR_SESSION_NOT_RUNNING, XR_ERROR_SESSION_NOT_RUNNING,
      XR_SUCCESS, XR_ERROR_SESSION_RUNNING, XR_ERROR_CALL_ORDER_INVALID,
      XR_ERROR_CALL_ORDER_INVALID, XR_SUCCESS, XR_SUCCESS, XR_SUCCESS, XR_FRAME_DISCARDED,
      XR_SUCCESS, XR_ERROR_CALL_ORDER_INVALID, XR_ERROR_SESSION_NOT_STOPPING};
  static_assert(std::size(steps) == std::size(expected));
  for (size_t i = 0; i < std::size(steps); ++i) {
    EXPECT_EQ(steps[i].second(), expected[i]) << steps[i].first;
  }
}

TEST_F(XrClient, SwapchainImagesFollowAcquireWaitRelease) {
  CreateInstance();
  CreateSession();
  const XrSpace stage = ReferenceSpace(XR_REFERENCE_SPACE_TYPE_STAGE);
  const XrSwapchain swapchain = Swapchain();
  XrSwapchainImageWaitInfo waitInfo{XR_TYPE_SWAPCHAIN_IMAGE_WAIT_INFO};
  uint32_t index = 0;
  EXPECT_EQ(xrWaitSwapchainImage(swapchain, &waitInfo), XR_ERROR_CALL_ORDER_INVALID);
  EXPECT_EQ(xrReleaseSwapchainImage(swapchain, nullptr), XR_ERROR_CALL_ORDER_INVALID);
  for (uint32_t i = 0; i < 3; ++i) {
    ASSERT_EQ(xrAcquireSwapchainImage(swapchain, nullptr, &index), XR_SUCCESS);
    EXPECT_EQ(index, i);
  }
  EXPECT_EQ(xrAcquireSwapchainImage(swapchain, nullptr, &index), XR_ERROR_CALL_ORDER_INVALID)
      << "all three images are out";
  EXPECT_EQ(xrReleaseSwapchainImage(swapchain, nullptr), XR_ERROR_CALL_ORDER_INVALID)
      << "release before wait";
  EXPECT_EQ(xrWaitSwapchainImage(swapchain, &waitInfo), XR_SUCCESS);
  EXPECT_EQ(xrWaitSwapchainImage(swapchain, &waitInfo), XR_ERROR_CALL_ORDER_INVALID);

  XrSwapchainCreateInfo bad{XR_TYPE_SWAPCHAIN_CREATE_INFO};
  bad.format = GL_RGBA8;
  bad.sampleCount = bad.faceCount = bad.arraySize = bad.mipCount = 1;
  bad.width = bad.height = 16;
  XrSwapchain unused = XR_NULL_HANDLE;
  const std::pair<std::function<void(XrSwapchainCreateInfo*)>, XrResult> creates[] = {
      {[](XrSwapchainCreateInfo* i) { i->format = GL_RGB565; }, XR_ERROR_SWAPCHAIN_FORMAT_UNSUPPORTED},
      {[](XrSwapchainCreateInfo* i) { i->arraySize = 2; }, XR_ERROR_FEATURE_UNSUPPORTED},
      {[](XrSwapchainCreateInfo* i) { i->width = 0; }, XR_ERROR_VALIDATION_FAILURE},
      {[](XrSwapchainCreateInfo* i) { i->mipCount = 6; }, XR_ERROR_VALIDATION_FAILURE},
  };
  for (const auto& [spoil, expected] : creates) {
    XrSwapchainCreateInfo info = bad;
    spoil(&info);
    EXPECT_EQ(xrCreateSwapchain(session_, &info, &unused), expected);
  }

  // A layer may only show released images, inside their bounds.
  Begin();
  const XrSwapchain fresh = Swapchain();
  XrCompositionLayerProjectionView views[2] = {{XR_TYPE_COMPOSITION_LAYER_PROJECTION_VIEW},
                                               {XR_TYPE_COMPOSITION_LAYER_PROJECTION_VIEW}};
  for (auto& v : views) {
    v.pose.orientation.w = 1.0f;
    v.subImage.swapchain = fresh;
    v.subImage.imageRect.extent = {64, 48};
  }
  XrCompositionLayerProjection layer{XR_TYPE_COMPOSITION_LAYER_PROJECTION};
  layer.space = stage;
  layer.viewCount = 2;
  layer.views = views;
  const std::vector<const XrCompositionLayerBaseHeader*> layers = {
      reinterpret_cast<const XrCompositionLayerBaseHeader*>(&layer)};
  EXPECT_EQ(Frame(layers), XR_ERROR_LAYER_INVALID) << "never released";
  XrFrameEndInfo end{XR_TYPE_FRAME_END_INFO};
  end.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
  end.displayTime = lastDisplayTime_;
  RenderImage(fresh, [] {});
  views[1].subImage.imageRect.offset = {1, 0};
  end.layerCount = 1;
  end.layers = layers.data();
  EXPECT_EQ(xrEndFrame(session_, &end), XR_ERROR_SWAPCHAIN_RECT_INVALID);
  views[1].subImage.imageRect.offset = {0, 0};
  layer.viewCount = 1;
  EXPECT_EQ(xrEndFrame(session_, &end), XR_ERROR_VALIDATION_FAILURE) << "one view for two eyes";
  layer.viewCount = 2;
  end.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_ADDITIVE;
  EXPECT_EQ(xrEndFrame(session_, &end), XR_ERROR_ENVIRONMENT_BLEND_MODE_UNSUPPORTED);
  end.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
  EXPECT_EQ(xrEndFrame(session_, &end), XR_SUCCESS);
}

TEST_F(XrClient, PathsAndStrings) {
  CreateInstance();
  XrPath path = XR_NULL_PATH, again = XR_NULL_PATH;
  ASSERT_EQ(xrStringToPath(instance_, "/user/hand/right/input/trigger/value", &path), XR_SUCCESS);
  ASSERT_EQ(xrStringToPath(instance_, "/user/hand/right/input/trigger/value", &again), XR_SUCCESS);
  EXPECT_EQ(path, again);
  for (const char* bad : {"", "/", "user/hand", "/user/", "/user//hand", "/User", "/a/../b",
                          "/a b"}) {
    EXPECT_EQ(xrStringToPath(instance_, bad, &again), XR_ERROR_PATH_FORMAT_INVALID) << bad;
  }
  uint32_t count = 0;
  char text[XR_MAX_PATH_LENGTH];
  EXPECT_EQ(xrPathToString(instance_, path + 1000, sizeof text, &count, text),
            XR_ERROR_PATH_INVALID);
  char name[XR_MAX_RESULT_STRING_SIZE];
  const std::pair<XrResult, const char*> results[] = {
      {XR_ERROR_CALL_ORDER_INVALID, "XR_ERROR_CALL_ORDER_INVALID"},
      {XR_SESSION_LOSS_PENDING, "XR_SESSION_LOSS_PENDING"},
      {XrResult(-999999), "XR_UNKNOWN_FAILURE_-999999"},
      {XrResult(77), "XR_UNKNOWN_SUCCESS_77"}};
  for (const auto& [value, expected] : results) {
    ASSERT_EQ(xrResultToString(instance_, value, name), XR_SUCCESS);
    EXPECT_STREQ(name, expected);
  }
  char type[XR_MAX_STRUCTURE_NAME_SIZE];
  ASSERT_EQ(xrStructureTypeToString(instance_, XR_TYPE_FRAME_END_INFO, type), XR_SUCCESS);
  EXPECT_STREQ(type, "XR_TYPE_FRAME_END_INFO");
  ASSERT_EQ(xrStructureTypeToString(instance_, XrStructureType(123456789), type), XR_SUCCESS);
  EXPECT_STREQ(type, "XR_UNKNOWN_STRUCTURE_TYPE_123456789");
}

TEST_F(XrClient, AnUnusableTimelineRefusesTheInstance) {
  setenv("XR_RUNTIME_JSON", LOOMWORK_XR_SIM_MANIFEST, 1);
  const std::pair<const char*, const char*> timelines[] = {
      {"malformed", "at 2\npose elbow 0 0 0\n"}, {"missing", nullptr}};
  for (const auto& [what, text] : timelines) {
    if (text != nullptr) dir_.WriteFile("bad.txt", text);
    setenv("LOOMWORK_VR_TIMELINE", dir_.File(text != nullptr ? "bad.txt" : "absent.txt").c_str(),
           1);
    XrInstanceCreateInfo info{XR_TYPE_INSTANCE_CREATE_INFO};
    std::snprintf(info.applicationInfo.applicationName, XR_MAX_APPLICATION_NAME_SIZE, "client");
    info.applicationInfo.apiVersion = XR_MAKE_VERSION(1, 0, 0);
    XrInstance instance = XR_NULL_HANDLE;
    EXPECT_EQ(xrCreateInstance(&info, &instance), XR_ERROR_INITIALIZATION_FAILED) << what;
  }
  unsetenv("LOOMWORK_VR_TIMELINE");
}

// --------------------------------------------------------------------- behaviour

TEST_F(XrClient, LifecycleRunsToFocusedAndExitsEitherWay) {
  for (const bool byTimeline : {false, true}) {
    SCOPED_TRACE(byTimeline ? "the timeline's quit" : "xrRequestExitSession");
    if (instance_ != XR_NULL_HANDLE) {
      ASSERT_EQ(xrDestroyInstance(instance_), XR_SUCCESS);
      instance_ = XR_NULL_HANDLE;
    }
    CreateInstance(byTimeline ? "at 3\nquit\n" : "");
    CreateSession();
    EXPECT_EQ(States(), (std::vector<XrSessionState>{XR_SESSION_STATE_IDLE,
                                                     XR_SESSION_STATE_READY}));
    Begin();
    EXPECT_EQ(Frame(), XR_SUCCESS);
    EXPECT_EQ(States(), (std::vector<XrSessionState>{XR_SESSION_STATE_SYNCHRONIZED,
                                                     XR_SESSION_STATE_VISIBLE,
                                                     XR_SESSION_STATE_FOCUSED}));
    EXPECT_EQ(Frame(), XR_SUCCESS);
    if (byTimeline) {
      EXPECT_TRUE(States().empty());
      EXPECT_EQ(Frame(), XR_SUCCESS);  // frame 3
    } else {
      EXPECT_EQ(xrRequestExitSession(session_), XR_SUCCESS);
    }
    EXPECT_EQ(States(), (std::vector<XrSessionState>{XR_SESSION_STATE_VISIBLE,
                                                     XR_SESSION_STATE_SYNCHRONIZED,
                                                     XR_SESSION_STATE_STOPPING}));
    EXPECT_EQ(xrEndSession(session_), XR_SUCCESS);
    EXPECT_EQ(States(), (std::vector<XrSessionState>{XR_SESSION_STATE_IDLE,
                                                     XR_SESSION_STATE_EXITING}));
    XrFrameState state{XR_TYPE_FRAME_STATE};
    EXPECT_EQ(xrWaitFrame(session_, nullptr, &state), XR_ERROR_SESSION_NOT_RUNNING);
    EXPECT_EQ(xrRequestExitSession(session_), XR_ERROR_SESSION_NOT_RUNNING);
  }
}

// Without a timeline the runtime opens its own window, where the mouse and keyboard drive the
// controllers; closing it ends the session.
TEST_F(XrClient, CompanionWindowDrivesTheRightHandAndClosingItEndsTheSession) {
  CreateInstance();
  CreateSession();
  const XrSpace stage = ReferenceSpace(XR_REFERENCE_SPACE_TYPE_STAGE);
  XrPath right = XR_NULL_PATH, vive = XR_NULL_PATH, gripPath = XR_NULL_PATH,
         menuPath = XR_NULL_PATH;
  ASSERT_EQ(xrStringToPath(instance_, "/user/hand/right", &right), XR_SUCCESS);
  ASSERT_EQ(xrStringToPath(instance_, "/interaction_profiles/htc/vive_controller", &vive),
            XR_SUCCESS);
  ASSERT_EQ(xrStringToPath(instance_, "/user/hand/right/input/grip/pose", &gripPath), XR_SUCCESS);
  ASSERT_EQ(xrStringToPath(instance_, "/user/hand/right/input/menu/click", &menuPath), XR_SUCCESS);
  XrActionSetCreateInfo setInfo{XR_TYPE_ACTION_SET_CREATE_INFO};
  std::snprintf(setInfo.actionSetName, sizeof setInfo.actionSetName, "hands");
  std::snprintf(setInfo.localizedActionSetName, sizeof setInfo.localizedActionSetName, "Hands");
  XrActionSet set = XR_NULL_HANDLE;
  ASSERT_EQ(xrCreateActionSet(instance_, &setInfo, &set), XR_SUCCESS);
  XrAction pose = XR_NULL_HANDLE, menu = XR_NULL_HANDLE;
  XrActionCreateInfo info{XR_TYPE_ACTION_CREATE_INFO};
  std::snprintf(info.actionName, sizeof info.actionName, "pose");
  std::snprintf(info.localizedActionName, sizeof info.localizedActionName, "Pose");
  info.actionType = XR_ACTION_TYPE_POSE_INPUT;
  ASSERT_EQ(xrCreateAction(set, &info, &pose), XR_SUCCESS);
  std::snprintf(info.actionName, sizeof info.actionName, "menu");
  std::snprintf(info.localizedActionName, sizeof info.localizedActionName, "Menu");
  info.actionType = XR_ACTION_TYPE_BOOLEAN_INPUT;
  ASSERT_EQ(xrCreateAction(set, &info, &menu), XR_SUCCESS);
  const XrActionSuggestedBinding bindings[] = {{pose, gripPath}, {menu, menuPath}};
  XrInteractionProfileSuggestedBinding suggested{XR_TYPE_INTERACTION_PROFILE_SUGGESTED_BINDING};
  suggested.interactionProfile = vive;
  suggested.countSuggestedBindings = 2;
  suggested.suggestedBindings = bindings;
  ASSERT_EQ(xrSuggestInteractionProfileBindings(instance_, &suggested), XR_SUCCESS);
  XrSessionActionSetsAttachInfo attach{XR_TYPE_SESSION_ACTION_SETS_ATTACH_INFO};
  attach.countActionSets = 1;
  attach.actionSets = &set;
  ASSERT_EQ(xrAttachSessionActionSets(session_, &attach), XR_SUCCESS);
  XrActionSpaceCreateInfo spaceInfo{XR_TYPE_ACTION_SPACE_CREATE_INFO};
  spaceInfo.action = pose;
  spaceInfo.poseInActionSpace.orientation.w = 1.0f;
  XrSpace hand = XR_NULL_HANDLE;
  ASSERT_EQ(xrCreateActionSpace(session_, &spaceInfo, &hand), XR_SUCCESS);
  Begin();
  Frame();
  States();

  // The window, found by its title through a connection of the test's own.
  Display* display = OpenDisplay();
  ASSERT_NE(display, nullptr);
  Window root = DefaultRootWindow(display), parent, *children = nullptr, window = 0;
  unsigned int count = 0;
  XQueryTree(display, root, &root, &parent, &children, &count);
  for (unsigned int i = 0; i < count && window == 0; ++i) {
    char* name = nullptr;
    if (XFetchName(display, children[i], &name) && name != nullptr) {
      if (std::string(name) == "loomwork-xr-sim") window = children[i];
      XFree(name);
    }
  }
  if (children != nullptr) XFree(children);
  ASSERT_NE(window, 0u) << "no loomwork-xr-sim window";

  XrActiveActionSet active{set, XR_NULL_PATH};
  XrActionsSyncInfo sync{XR_TYPE_ACTIONS_SYNC_INFO};
  sync.countActiveActionSets = 1;
  sync.activeActionSets = &active;
  // The hand where the mouse points over the left eye's half of the window.
  const auto handAt = [&](int x, int y) {
    XWarpPointer(display, None, window, 0, 0, 0, 0, x, y);
    XSync(display, False);
    Frame();
    EXPECT_EQ(xrSyncActions(session_, &sync), XR_SUCCESS);
    XrSpaceLocation location{XR_TYPE_SPACE_LOCATION};
    EXPECT_EQ(xrLocateSpace(hand, stage, lastDisplayTime_, &location), XR_SUCCESS);
    EXPECT_TRUE(location.locationFlags & XR_SPACE_LOCATION_POSITION_VALID_BIT);
    return location.pose.position;
  };
  const XrVector3f left = handAt(60, 180), rightOfIt = handAt(260, 180), up = handAt(260, 40);
  EXPECT_GT(rightOfIt.x, left.x + 0.5f) << "the hand follows the mouse to the right";
  EXPECT_GT(up.y, rightOfIt.y + 0.3f) << "and up";

  // Space is the right menu button.
  XKeyEvent key{};
  key.type = KeyPress;
  key.display = display;
  key.window = window;
  key.root = root;
  key.keycode = XKeysymToKeycode(display, XK_space);
  key.same_screen = True;
  XSendEvent(display, window, True, KeyPressMask, reinterpret_cast<XEvent*>(&key));
  XSync(display, False);
  Frame();
  ASSERT_EQ(xrSyncActions(session_, &sync), XR_SUCCESS);
  XrActionStateGetInfo get{XR_TYPE_ACTION_STATE_GET_INFO};
  get.action = menu;
  XrActionStateBoolean button{XR_TYPE_ACTION_STATE_BOOLEAN};
  ASSERT_EQ(xrGetActionStateBoolean(session_, &get, &button), XR_SUCCESS);
  EXPECT_TRUE(button.currentState);

  XEvent close{};
  close.xclient.type = ClientMessage;
  close.xclient.window = window;
  close.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  close.xclient.format = 32;
  close.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
  XSendEvent(display, window, False, NoEventMask, &close);
  XSync(display, False);
  XCloseDisplay(display);
  Frame();
  EXPECT_EQ(States(), (std::vector<XrSessionState>{XR_SESSION_STATE_VISIBLE,
                                                   XR_SESSION_STATE_SYNCHRONIZED,
                                                   XR_SESSION_STATE_STOPPING}));
}

TEST_F(XrClient, ActionsFollowTheTimelineThroughTheViveProfile) {
  CreateInstance(
      "at 2\n"
      "trigger right 0.75\n"
      "press right dpad_right\n"
      "press left menu\n"
      "pose right 0.5 1 0.5\n"
      "at 3\n"
      "release right dpad_right\n"
      "invalid right\n");
  CreateSession();
  const XrSpace stage = ReferenceSpace(XR_REFERENCE_SPACE_TYPE_STAGE);
  XrPath hands[2], vive, simple, unknown;
  ASSERT_EQ(xrStringToPath(instance_, "/user/hand/left", &hands[0]), XR_SUCCESS);
  ASSERT_EQ(xrStringToPath(instance_, "/user/hand/right", &hands[1]), XR_SUCCESS);
  ASSERT_EQ(xrStringToPath(instance_, "/interaction_profiles/htc/vive_controller", &vive),
            XR_SUCCESS);
  ASSERT_EQ(xrStringToPath(instance_, "/interaction_profiles/khr/simple_controller", &simple),
            XR_SUCCESS);
  ASSERT_EQ(xrStringToPath(instance_, "/interaction_profiles/acme/wand", &unknown), XR_SUCCESS);

  XrActionSetCreateInfo setInfo{XR_TYPE_ACTION_SET_CREATE_INFO};
  std::snprintf(setInfo.actionSetName, sizeof setInfo.actionSetName, "sculpt");
  std::snprintf(setInfo.localizedActionSetName, sizeof setInfo.localizedActionSetName, "Sculpt");
  XrActionSet set = XR_NULL_HANDLE;
  ASSERT_EQ(xrCreateActionSet(instance_, &setInfo, &set), XR_SUCCESS);
  EXPECT_EQ(xrCreateActionSet(instance_, &setInfo, &set), XR_ERROR_NAME_DUPLICATED);
  const auto makeAction = [&](const char* name, XrActionType type) {
    XrActionCreateInfo info{XR_TYPE_ACTION_CREATE_INFO};
    std::snprintf(info.actionName, sizeof info.actionName, "%s", name);
    std::snprintf(info.localizedActionName, sizeof info.localizedActionName, "%s", name);
    info.actionType = type;
    info.countSubactionPaths = 2;
    info.subactionPaths = hands;
    XrAction action = XR_NULL_HANDLE;
    EXPECT_EQ(xrCreateAction(set, &info, &action), XR_SUCCESS) << name;
    return action;
  };
  const XrAction trigger = makeAction("trigger", XR_ACTION_TYPE_FLOAT_INPUT);
  const XrAction menu = makeAction("menu", XR_ACTION_TYPE_BOOLEAN_INPUT);
  const XrAction pad = makeAction("pad", XR_ACTION_TYPE_VECTOR2F_INPUT);
  const XrAction pose = makeAction("pose", XR_ACTION_TYPE_POSE_INPUT);
  const XrAction buzz = makeAction("buzz", XR_ACTION_TYPE_VIBRATION_OUTPUT);
  std::vector<XrActionSuggestedBinding> bindings;
  const auto bind = [&](XrAction action, const char* path) {
    XrPath p = XR_NULL_PATH;
    ASSERT_EQ(xrStringToPath(instance_, path, &p), XR_SUCCESS) << path;
    bindings.push_back({action, p});
  };
  for (const char* hand : {"/user/hand/left", "/user/hand/right"}) {
    const std::string h(hand);
    bind(trigger, (h + "/input/trigger/value").c_str());
    bind(menu, (h + "/input/menu/click").c_str());
    bind(pad, (h + "/input/trackpad").c_str());
    bind(pose, (h + "/input/grip/pose").c_str());
    bind(buzz, (h + "/output/haptic").c_str());
  }
  XrInteractionProfileSuggestedBinding suggested{XR_TYPE_INTERACTION_PROFILE_SUGGESTED_BINDING};
  suggested.interactionProfile = vive;
  suggested.countSuggestedBindings = uint32_t(bindings.size());
  suggested.suggestedBindings = bindings.data();
  ASSERT_EQ(xrSuggestInteractionProfileBindings(instance_, &suggested), XR_SUCCESS);
  // The simple controller has no trackpad; unknown profiles are refused.
  suggested.interactionProfile = simple;
  EXPECT_EQ(xrSuggestInteractionProfileBindings(instance_, &suggested), XR_ERROR_PATH_UNSUPPORTED);
  suggested.interactionProfile = unknown;
  EXPECT_EQ(xrSuggestInteractionProfileBindings(instance_, &suggested), XR_ERROR_PATH_UNSUPPORTED);

  XrActionSpaceCreateInfo spaceInfo{XR_TYPE_ACTION_SPACE_CREATE_INFO};
  spaceInfo.action = pose;
  spaceInfo.subactionPath = hands[1];
  spaceInfo.poseInActionSpace.orientation.w = 1.0f;
  XrSpace rightHand = XR_NULL_HANDLE;
  ASSERT_EQ(xrCreateActionSpace(session_, &spaceInfo, &rightHand), XR_SUCCESS);

  XrActionStateGetInfo get{XR_TYPE_ACTION_STATE_GET_INFO};
  get.action = trigger;
  XrActionStateFloat value{XR_TYPE_ACTION_STATE_FLOAT};
  EXPECT_EQ(xrGetActionStateFloat(session_, &get, &value), XR_ERROR_ACTIONSET_NOT_ATTACHED);
  XrSessionActionSetsAttachInfo attach{XR_TYPE_SESSION_ACTION_SETS_ATTACH_INFO};
  attach.countActionSets = 1;
  attach.actionSets = &set;
  ASSERT_EQ(xrAttachSessionActionSets(session_, &attach), XR_SUCCESS);
  EXPECT_EQ(xrAttachSessionActionSets(session_, &attach), XR_ERROR_ACTIONSETS_ALREADY_ATTACHED);
  XrActionCreateInfo late{XR_TYPE_ACTION_CREATE_INFO};
  std::snprintf(late.actionName, sizeof late.actionName, "late");
  std::snprintf(late.localizedActionName, sizeof late.localizedActionName, "Late");
  late.actionType = XR_ACTION_TYPE_FLOAT_INPUT;
  XrAction lateAction = XR_NULL_HANDLE;
  EXPECT_EQ(xrCreateAction(set, &late, &lateAction), XR_ERROR_ACTIONSETS_ALREADY_ATTACHED);

  XrEventDataBuffer event{XR_TYPE_EVENT_DATA_BUFFER};
  bool profileChanged = false;
  while (xrPollEvent(instance_, &event) == XR_SUCCESS) {
    profileChanged |= event.type == XR_TYPE_EVENT_DATA_INTERACTION_PROFILE_CHANGED;
    event = {XR_TYPE_EVENT_DATA_BUFFER};
  }
  EXPECT_TRUE(profileChanged);
  for (XrPath hand : hands) {
    XrInteractionProfileState profile{XR_TYPE_INTERACTION_PROFILE_STATE};
    ASSERT_EQ(xrGetCurrentInteractionProfile(session_, hand, &profile), XR_SUCCESS);
    EXPECT_EQ(profile.interactionProfile, vive);
  }

  Begin();
  Frame();  // frame 1: focused from here on
  Frame();  // frame 2: the timeline's inputs
  XrActiveActionSet active{set, XR_NULL_PATH};
  XrActionsSyncInfo sync{XR_TYPE_ACTIONS_SYNC_INFO};
  sync.countActiveActionSets = 1;
  sync.activeActionSets = &active;
  ASSERT_EQ(xrSyncActions(session_, &sync), XR_SUCCESS);

  const std::pair<XrPath, float> triggers[] = {{hands[0], 0.0f}, {hands[1], 0.75f},
                                               {XR_NULL_PATH, 0.75f}};
  for (const auto& [hand, expected] : triggers) {
    get.subactionPath = hand;
    ASSERT_EQ(xrGetActionStateFloat(session_, &get, &value), XR_SUCCESS);
    EXPECT_TRUE(value.isActive);
    EXPECT_FLOAT_EQ(value.currentState, expected);
  }
  get.action = menu;
  get.subactionPath = hands[0];
  XrActionStateBoolean button{XR_TYPE_ACTION_STATE_BOOLEAN};
  ASSERT_EQ(xrGetActionStateBoolean(session_, &get, &button), XR_SUCCESS);
  EXPECT_TRUE(button.currentState);
  EXPECT_TRUE(button.changedSinceLastSync == XR_FALSE) << "first sync that saw it active";
  get.action = pad;
  get.subactionPath = hands[1];
  XrActionStateVector2f thumb{XR_TYPE_ACTION_STATE_VECTOR2F};
  ASSERT_EQ(xrGetActionStateVector2f(session_, &get, &thumb), XR_SUCCESS);
  EXPECT_FLOAT_EQ(thumb.currentState.x, 0.7f) << "dpad_right is the trackpad's right edge";
  EXPECT_FLOAT_EQ(thumb.currentState.y, 0.0f);
  XrSpaceLocation location{XR_TYPE_SPACE_LOCATION};
  ASSERT_EQ(xrLocateSpace(rightHand, stage, lastDisplayTime_, &location), XR_SUCCESS);
  EXPECT_TRUE(location.locationFlags & XR_SPACE_LOCATION_POSITION_TRACKED_BIT);
  EXPECT_NEAR(location.pose.position.x, 0.5f, 1e-5f);
  EXPECT_NEAR(location.pose.position.y, 1.0f, 1e-5f);
  EXPECT_NEAR(location.pose.position.z, 0.5f, 1e-5f);

  // Wrong type, undeclared subaction path, haptics.
  get.action = trigger;
  EXPECT_EQ(xrGetActionStateBoolean(session_, &get, &button), XR_ERROR_ACTION_TYPE_MISMATCH);
  XrPath head = XR_NULL_PATH;
  ASSERT_EQ(xrStringToPath(instance_, "/user/head", &head), XR_SUCCESS);
  get.subactionPath = head;
  EXPECT_EQ(xrGetActionStateFloat(session_, &get, &value), XR_ERROR_PATH_UNSUPPORTED);
  XrHapticActionInfo haptic{XR_TYPE_HAPTIC_ACTION_INFO};
  haptic.action = buzz;
  haptic.subactionPath = hands[1];
  XrHapticVibration vibration{XR_TYPE_HAPTIC_VIBRATION};
  vibration.amplitude = 0.5f;
  vibration.duration = XR_MIN_HAPTIC_DURATION;
  EXPECT_EQ(xrApplyHapticFeedback(session_, &haptic,
                                  reinterpret_cast<XrHapticBaseHeader*>(&vibration)),
            XR_SUCCESS);
  haptic.action = trigger;
  EXPECT_EQ(xrApplyHapticFeedback(session_, &haptic,
                                  reinterpret_cast<XrHapticBaseHeader*>(&vibration)),
            XR_ERROR_ACTION_TYPE_MISMATCH);

  Frame();  // frame 3: the pad is let go, the right hand loses tracking
  ASSERT_EQ(xrSyncActions(session_, &sync), XR_SUCCESS);
  get.action = pad;
  get.subactionPath = hands[1];
  ASSERT_EQ(xrGetActionStateVector2f(session_, &get, &thumb), XR_SUCCESS);
  EXPECT_FLOAT_EQ(thumb.currentState.x, 0.0f);
  EXPECT_TRUE(thumb.changedSinceLastSync);
  ASSERT_EQ(xrLocateSpace(rightHand, stage, lastDisplayTime_, &location), XR_SUCCESS);
  EXPECT_EQ(location.locationFlags, 0u);
}

TEST_F(XrClient, ViewsAreTheEyesOfTheTimelinesHead) {
  CreateInstance("at 1\npose head 1 1.6 0 90 0 0\n");  // turned to face -x
  CreateSession();
  const XrSpace stage = ReferenceSpace(XR_REFERENCE_SPACE_TYPE_STAGE);
  const XrSpace view = ReferenceSpace(XR_REFERENCE_SPACE_TYPE_VIEW);
  Begin();
  Frame();
  XrViewLocateInfo info{XR_TYPE_VIEW_LOCATE_INFO};
  info.viewConfigurationType = XR_VIEW_CONFIGURATION_TYPE_PRIMARY_STEREO;
  info.displayTime = lastDisplayTime_;
  XrViewState state{XR_TYPE_VIEW_STATE};
  XrView views[2] = {{XR_TYPE_VIEW}, {XR_TYPE_VIEW}};
  uint32_t count = 0;
  info.space = view;
  ASSERT_EQ(xrLocateViews(session_, &info, &state, 2, &count, views), XR_SUCCESS);
  EXPECT_NEAR(views[0].pose.position.x, -0.032f, 1e-6f);
  EXPECT_NEAR(views[1].pose.position.x, 0.032f, 1e-6f);
  EXPECT_NEAR(views[1].fov.angleRight, 50.0f * kPi / 180.0f, 1e-5f);
  EXPECT_NEAR(views[1].fov.angleUp, std::atan(std::tan(50.0f * kPi / 180.0f) * 48.0f / 64.0f),
              1e-5f);
  info.space = stage;
  ASSERT_EQ(xrLocateViews(session_, &info, &state, 2, &count, views), XR_SUCCESS);
  EXPECT_TRUE(state.viewStateFlags & XR_VIEW_STATE_POSITION_TRACKED_BIT);
  // Facing -x, the left eye sits towards +z.
  EXPECT_NEAR(views[0].pose.position.x, 1.0f, 1e-5f);
  EXPECT_NEAR(views[0].pose.position.y, 1.6f, 1e-5f);
  EXPECT_NEAR(views[0].pose.position.z, 0.032f, 1e-5f);
  info.viewConfigurationType = XR_VIEW_CONFIGURATION_TYPE_PRIMARY_MONO;
  EXPECT_EQ(xrLocateViews(session_, &info, &state, 2, &count, views),
            XR_ERROR_VIEW_CONFIGURATION_TYPE_UNSUPPORTED);
}

TEST_F(XrClient, CaptureWritesTheSubmittedImageUpright) {
  CreateInstance("at 1\ncapture left " + dir_.File("left.png") + "\ncapture right " +
                 dir_.File("right.png") + "\n");
  CreateSession();
  const XrSpace stage = ReferenceSpace(XR_REFERENCE_SPACE_TYPE_STAGE);
  const XrSwapchain swapchain = Swapchain(0x8C43 /* GL_SRGB8_ALPHA8 */, 64, 48);
  Begin();
  XrFrameState state{XR_TYPE_FRAME_STATE};
  ASSERT_EQ(xrWaitFrame(session_, nullptr, &state), XR_SUCCESS);
  ASSERT_EQ(xrBeginFrame(session_, nullptr), XR_SUCCESS);
  // OpenGL images start at the bottom: the upper rows (y >= 24) are the top of the picture.
  RenderImage(swapchain, [] {
    glDisable(GL_FRAMEBUFFER_SRGB);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 64, 24);
    glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(0, 24, 64, 24);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glScissor(32, 0, 32, 48);  // the right half of the picture is green
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
  });
  XrCompositionLayerProjectionView views[2] = {{XR_TYPE_COMPOSITION_LAYER_PROJECTION_VIEW},
                                               {XR_TYPE_COMPOSITION_LAYER_PROJECTION_VIEW}};
  for (auto& v : views) {
    v.pose.orientation.w = 1.0f;
    v.subImage.swapchain = swapchain;
    v.subImage.imageRect.extent = {64, 48};
  }
  views[1].subImage.imageRect = {{32, 0}, {32, 48}};  // the right eye shows the right half
  XrCompositionLayerProjection layer{XR_TYPE_COMPOSITION_LAYER_PROJECTION};
  layer.space = stage;
  layer.viewCount = 2;
  layer.views = views;
  const XrCompositionLayerBaseHeader* layers[] = {
      reinterpret_cast<const XrCompositionLayerBaseHeader*>(&layer)};
  XrFrameEndInfo end{XR_TYPE_FRAME_END_INFO};
  end.displayTime = state.predictedDisplayTime;
  end.environmentBlendMode = XR_ENVIRONMENT_BLEND_MODE_OPAQUE;
  end.layerCount = 1;
  end.layers = layers;
  ASSERT_EQ(xrEndFrame(session_, &end), XR_SUCCESS);

  const Image left = LoadPng(dir_.File("left.png"));
  ASSERT_EQ(left.width, 64);
  ASSERT_EQ(left.height, 48);
  const uint8_t* topLeft = left.At(4, 4);
  const uint8_t* bottomLeft = left.At(4, 44);
  const uint8_t* right = left.At(60, 4);
  EXPECT_EQ((std::vector<int>{topLeft[0], topLeft[1], topLeft[2], topLeft[3]}),
            (std::vector<int>{255, 0, 0, 255}));
  EXPECT_EQ((std::vector<int>{bottomLeft[0], bottomLeft[1], bottomLeft[2]}),
            (std::vector<int>{0, 0, 255}));
  EXPECT_EQ((std::vector<int>{right[0], right[1], right[2]}), (std::vector<int>{0, 255, 0}));
  const Image rightEye = LoadPng(dir_.File("right.png"));
  ASSERT_EQ(rightEye.width, 32);
  EXPECT_EQ(rightEye.At(2, 2)[1], 255);
  EXPECT_EQ(rightEye.At(2, 2)[0], 0);
}

}  // namespace

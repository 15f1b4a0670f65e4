#pragma once
// The small OpenXR client the simulated headset's runtime tests share: a real OpenGL context made
// with Xlib and GLX, and a fixture that reaches the runtime through the real Khronos loader
// (XR_RUNTIME_JSON). Include it after every other header: it brings in Xlib's macros.
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

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

namespace vr::xrsim::testing {

// The fixture lives in a named namespace with inline definitions: gtest wants one fixture type for
// the XrClient suite across all the test files, and one display connection kept open per program.

// An X server without -noreset (xvfb-run's) resets when its last client leaves, and refuses
// connections while it does: one connection stays open for the whole program, and a connection
// made while a previous program's reset is under way is tried again.
inline Display* OpenDisplay() {
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

}  // namespace vr::xrsim::testing

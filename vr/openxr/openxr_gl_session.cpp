#include "vr/openxr/openxr_gl_session.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <GL/glx.h>

#define XR_USE_PLATFORM_XLIB
#define XR_USE_GRAPHICS_API_OPENGL
#include <openxr/openxr_platform.h>

#include "vr/openxr/openxr_calls.h"

namespace vr::openxr {
namespace {

// The program draws with OpenGL 4.5.
constexpr XrVersion kOurGlVersion = XR_MAKE_VERSION(4, 5, 0);

bool CurrentGlxBinding(XrGraphicsBindingOpenGLXlibKHR* binding, std::string* why) {
  Display* display = glXGetCurrentDisplay();
  GLXContext context = glXGetCurrentContext();
  if (display == nullptr || context == nullptr) {
    *why = "no GLX context is current on this thread";
    return false;
  }
  int configId = 0, screen = 0;
  if (glXQueryContext(display, context, GLX_FBCONFIG_ID, &configId) != Success ||
      glXQueryContext(display, context, GLX_SCREEN, &screen) != Success) {
    *why = "the GLX context does not tell its FB config";
    return false;
  }
  const int attributes[] = {GLX_FBCONFIG_ID, configId, None};
  int count = 0;
  GLXFBConfig* configs = glXChooseFBConfig(display, screen, attributes, &count);
  if (configs == nullptr || count < 1) {
    if (configs != nullptr) XFree(configs);
    *why = "the GLX context's FB config was not found";
    return false;
  }
  const GLXFBConfig config = configs[0];
  XFree(configs);
  uint32_t visualId = 0;
  if (XVisualInfo* visual = glXGetVisualFromFBConfig(display, config)) {
    visualId = uint32_t(visual->visualid);
    XFree(visual);
  }
  *binding = {XR_TYPE_GRAPHICS_BINDING_OPENGL_XLIB_KHR};
  binding->xDisplay = display;
  binding->visualid = visualId;
  binding->glxFBConfig = config;
  binding->glxDrawable = glXGetCurrentDrawable();
  binding->glxContext = context;
  return true;
}

}  // namespace

XrResult CreateSessionOnCurrentGlx(XrInstance instance, XrSystemId system, XrSession* session,
                                   std::string* why) {
  PFN_xrGetOpenGLGraphicsRequirementsKHR getRequirements = nullptr;
  XrResult result = xrGetInstanceProcAddr(instance, "xrGetOpenGLGraphicsRequirementsKHR",
                                          reinterpret_cast<PFN_xrVoidFunction*>(&getRequirements));
  if (XR_FAILED(result) || getRequirements == nullptr) {
    *why = std::string("the runtime has no xrGetOpenGLGraphicsRequirementsKHR (") +
           ResultName(instance, result) + ")";
    return XR_FAILED(result) ? result : XR_ERROR_FUNCTION_UNSUPPORTED;
  }
  XrGraphicsRequirementsOpenGLKHR requirements{XR_TYPE_GRAPHICS_REQUIREMENTS_OPENGL_KHR};
  result = getRequirements(instance, system, &requirements);
  if (XR_FAILED(result)) {
    *why = std::string("xrGetOpenGLGraphicsRequirementsKHR: ") + ResultName(instance, result);
    return result;
  }
  if (requirements.minApiVersionSupported > kOurGlVersion) {
    *why = "the runtime needs OpenGL " +
           std::to_string(XR_VERSION_MAJOR(requirements.minApiVersionSupported)) + "." +
           std::to_string(XR_VERSION_MINOR(requirements.minApiVersionSupported)) +
           " or newer; Loomwork draws with 4.5";
    return XR_ERROR_GRAPHICS_DEVICE_INVALID;
  }
  XrGraphicsBindingOpenGLXlibKHR binding;
  if (!CurrentGlxBinding(&binding, why)) return XR_ERROR_GRAPHICS_DEVICE_INVALID;
  XrSessionCreateInfo info{XR_TYPE_SESSION_CREATE_INFO};
  info.next = &binding;
  info.systemId = system;
  result = xrCreateSession(instance, &info, session);
  if (XR_FAILED(result)) {
    *why = std::string("xrCreateSession: ") + ResultName(instance, result);
  }
  return result;
}

}  // namespace vr::openxr

#pragma once
// The OpenXR session on the program's own OpenGL context: the Xlib/GLX binding is read from the
// context current on the calling thread (SDL's GLX context: display, drawable, context, and the
// FB config and visual it was made with).
#include <openxr/openxr.h>

#include <string>

namespace vr::openxr {

// Asks the runtime for its OpenGL requirements (which OpenXR demands before a session) and
// creates the session. On failure returns the result (XR_ERROR_GRAPHICS_DEVICE_INVALID when no
// GLX context is current) and says why in *why.
XrResult CreateSessionOnCurrentGlx(XrInstance instance, XrSystemId system, XrSession* session,
                                   std::string* why);

}  // namespace vr::openxr

#pragma once
// The frame loop of the plain desktop window, run on the application thread.
#include <atomic>

#include "application/application.h"
#include "base/math_types.h"

namespace Draw {
class OpenGLContext;
}

// Creates the GL context on this thread, initialises the application, then runs frames until
// quit is set (by the main thread when the window closes, or by this loop itself when presenting
// fails or the application wants to quit), and shuts the application and the context down.
// When no GL context can be made, logs an error and returns false without calling the
// application.
bool RunDesktopLoop(Application* application, Draw::OpenGLContext* context, AudioStreamer* audio,
                    Controls* controls, std::atomic<bool>* quit);

// Perspective for the desktop camera looking down -z: 90 degrees horizontally, near 0.1, far
// 800, depth mapped to -1..1; aspect is width over height.
Matrix4x4 DesktopProjection(float aspect);

// The desktop bindTarget: the window's back buffer, cleared (colour, depth, stencil) with
// clearColour, viewport over the whole back buffer of the Draw::DrawContext in
// info->targetUserData.
void BindDesktopTarget(int view, const FrameInfo* info, const float clearColour[4]);

#pragma once
// The frame loop of the headset display modes: brings up the VR host (retrying quietly, then
// asking the user) and drives input, the application's frame, the companion window and the
// wait for the next poses.
#include <atomic>

#include "application/application.h"

class AudioStreamer;
class Controls;
namespace Draw {
class OpenGLContext;
}

// The question asked from the fourth failed start on.
extern const char* const kNoVRQuestion;

// Runs on the application thread until quit is set or the user gives up. The application's Init
// runs once per successful start (inside the host's start-up); its Shutdown when the loop ends.
// False when VR never started: no GL context, or the user declined to try again.
bool RunVRLoop(Application* application, Draw::OpenGLContext* context, AudioStreamer* audio,
               Controls* controls, std::atomic<bool>* quit, DisplayMode displayMode);

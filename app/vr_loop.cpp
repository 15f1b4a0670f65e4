#include "app/vr_loop.h"

#include <memory>

#include "app/controls.h"
#include "base/ask_user.h"
#include "base/log.h"
#include "base/timing.h"
#include "gfx/opengl_context.h"
#include "vr/openvr_app_host.h"

namespace {

// A runtime that is still starting often answers after a moment: the first failures are retried
// without bothering the user.
constexpr int kSilentAttempts = 3;
constexpr uint32_t kRetryDelayMs = 800;

}  // namespace

const char* const kNoVRQuestion =
    "This program requires VR. No VR system detected through OpenVR. Try again?\n\n"
    "(To bypass for testing, pass --novr on the command line)";

bool RunVRLoop(Application* application, Draw::OpenGLContext* context, AudioStreamer* audio,
               Controls* controls, std::atomic<bool>* quit, DisplayMode displayMode) {
  if (!context->Init()) {
    Log(LogLevel::Error, "No OpenGL context for the VR companion window; VR cannot start");
    context->Shutdown();
    return false;
  }

  std::unique_ptr<OpenVRAppHost> host;
  int attempts = 0;
  for (;;) {
    host = std::make_unique<OpenVRAppHost>(context, audio, application);
    if (host->Init(displayMode == DisplayMode::MonoView)) {
      break;
    }
    SleepMs(kRetryDelayMs);
    ++attempts;
    bool retry = true;
    if (attempts > kSilentAttempts) {
      retry = AskUser("Error", kNoVRQuestion, AskUserButtons::YesNo) == AskUserAnswer::Yes;
    }
    host.reset();
    if (!retry || quit->load(std::memory_order_relaxed)) {
      context->Shutdown();
      return false;
    }
  }

  while (!quit->load(std::memory_order_relaxed)) {
    controls->Update();
    bool vrInput = false;
    host->PollInput(controls, &vrInput);
    application->ProcessSystemKeys(controls, &vrInput);
    application->ProcessControls(controls, &vrInput);
    context->BeginFrame();
    host->RenderFrame();
    const bool presented = context->Present();
    if (!presented || application->WantsQuit()) {
      quit->store(true, std::memory_order_relaxed);
    }
    host->EndFrame();
  }

  host->Shutdown();
  context->Shutdown();
  host.reset();
  return true;
}

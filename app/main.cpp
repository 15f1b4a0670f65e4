// The program: flags, data roots, the sculpting application and the host that runs it.
#include <algorithm>
#include <cstdlib>
#include <memory>

#include "app/flags.h"
#include "app/run_application.h"
#include "app/sculpt_app.h"
#include "base/log.h"

namespace {

constexpr const char* kWindowTitle = "Loomwork";

// Unattended runs (tests, captures): LOOMWORK_EXIT_AFTER_FRAMES=n closes the program after n
// frames; LOOMWORK_CAPTURE_PNG=path writes the last of those frames (or frame 5) as a PNG.
void ApplyRunSwitches(SculptApplication& application) {
  if (const char* frames = std::getenv("LOOMWORK_EXIT_AFTER_FRAMES")) {
    application.quitAfterFrames = std::max(0, std::atoi(frames));
  }
  if (const char* path = std::getenv("LOOMWORK_CAPTURE_PNG"); path != nullptr && *path != 0) {
    application.capturePath = path;
    application.captureFrame = application.quitAfterFrames > 0 ? application.quitAfterFrames : 5;
  }
}

}  // namespace

int main(int argc, char** argv) {
  ParseCommandLine(&argc, &argv);
  const DataRoots dataRoots = BuildDataRoots(FLAGS_dataroot);
  const DisplayMode displayMode = DisplayModeFromFlags(FLAGS_vr, FLAGS_monoview);
  if (displayMode != DisplayMode::Desktop) {
    // The host registers the log output; without a host run, register it here.
    AddLogSink(&DebugOutputSink, nullptr);
    Log(LogLevel::Error, "VR is not available yet; start with --novr for the desktop window");
    return 1;
  }
  auto application = std::make_unique<SculptApplication>(&dataRoots);
  ApplyRunSwitches(*application);
  const int result = RunApplication(application.get(), kWindowTitle, displayMode, FLAGS_fullscreen);
  application.reset();
  return result;
}

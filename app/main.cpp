// The program: flags, data roots, the sculpting application and the host that runs it.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include <SDL.h>
#include <unistd.h>

#include "app/flags.h"
#include "app/run_application.h"
#include "app/sculpt_app.h"
#include "app/sculpture_folder.h"
#include "base/ask_user.h"
#include "base/log.h"
#include "file/installed_data_root.h"
#include "file/user_folder.h"

namespace {

constexpr const char* kWindowTitle = "Loomwork";

// Unattended runs (tests, captures): LOOMWORK_EXIT_AFTER_FRAMES=n closes the program after n
// frames; LOOMWORK_CAPTURE_PNG=path writes the last of those frames as a PNG (without a frame
// count: the last frame drawn before the window closed);
// LOOMWORK_UNATTENDED=1 answers every question in the log instead of a message box (declining).
void ApplyRunSwitches(SculptApplication& application) {
  if (const char* unattended = std::getenv("LOOMWORK_UNATTENDED");
      unattended != nullptr && std::strcmp(unattended, "1") == 0) {
    SetAskUserHandler(&AskUserByLog);
    application.unattended = true;
  }
  if (const char* frames = std::getenv("LOOMWORK_EXIT_AFTER_FRAMES")) {
    application.quitAfterFrames = std::max(0, std::atoi(frames));
  }
  if (const char* path = std::getenv("LOOMWORK_CAPTURE_PNG"); path != nullptr && *path != 0) {
    application.capturePath = path;
    application.captureFrame = application.quitAfterFrames;
  }
}

// The one line a quiet terminal shows when all is well.
void SayStart(DisplayMode displayMode, const SculptureFolder& sculptures) {
  const char* where = displayMode == DisplayMode::Desktop ? "desktop window" : "headset";
  const std::string line =
      std::string("Loomwork (") + where + "): sculptures in " +
      (sculptures.folder.empty() ? std::string("no folder") : sculptures.folder) +
      (FLAGS_verbose ? "\n" : "; --verbose shows more\n");
  LogRaw(line);
}

// The first sculpture named on the command line (as a file manager opens one), loaded once the
// application has started and its log is open. A relative name means the working directory, not
// the data roots. A file that does not load is named in the log and the program starts with an
// empty grid.
void OpenSculptureFromCommandLine(int argc, char** argv, SculptApplication& application) {
  if (argc < 2) return;
  std::string path = argv[1];
  if (path.empty() || path[0] != '/') {
    if (char* folder = getcwd(nullptr, 0)) {
      path = std::string(folder) + "/" + path;
      std::free(folder);
    }
  }
  application.sculptureAtStart = path;
}

}  // namespace

int main(int argc, char** argv) {
  ParseCommandLine(&argc, &argv);
  SetTerminalVerbose(FLAGS_verbose);
  LogToTerminal();
  // The data tree relative to the program: where installing puts it, and where the build does.
  const DataRoots dataRoots = BuildDataRoots(EffectiveDataRoot(
      FLAGS_dataroot, {LOOMWORK_DATA_FROM_PROGRAM, LOOMWORK_BUILT_DATA_FROM_PROGRAM}));
  // Without shaders, scripts and textures nothing could be drawn: say so instead of failing later.
  if (std::none_of(dataRoots.begin(), dataRoots.end(), HoldsDataTree)) {
    Log(LogLevel::Error,
        "No data tree found: neither %s nor %s holds script/sculpt.lua. Start Loomwork from its "
        "data folder or name that folder with --dataroot=FOLDER.",
        FLAGS_dataroot.empty() ? "the working directory" : FLAGS_dataroot.c_str(),
        FLAGS_dataroot.empty() ? "the program's folder" : "the working directory");
    return 1;
  }
  const DisplayMode displayMode = DisplayModeFromFlags(FLAGS_vr, FLAGS_monoview);
  const SculptureFolder sculptures = PrepareSculptureFolder(dataRoots);
  SayStart(displayMode, sculptures);
  auto application = std::make_unique<SculptApplication>(&dataRoots, &sculptures.roots);
  ApplyRunSwitches(*application);
  OpenSculptureFromCommandLine(argc, argv, *application);
  application->autosaveFolder = UserStateFolder();
  const int result = RunApplication(application.get(), kWindowTitle, displayMode, FLAGS_fullscreen);
  application.reset();
  // The subsystems were shut down by their owners; SDL keeps a little state of its own until this.
  SDL_Quit();
  return result;
}

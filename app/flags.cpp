#include "app/flags.h"

#include <gflags/gflags.h>

// Defined here, beside ParseCommandLine: whoever parses the command line links this file, so
// the flags are registered even though they live in a static library.
DEFINE_bool(vr, true, "Enable VR mode");
DEFINE_bool(monoview, false, "Mono view (suitable for video capture)");
DEFINE_bool(fullscreen, false, "Fullscreen");
DEFINE_string(dataroot, "", "From where to dynamically load data through the pipeline");
DEFINE_bool(verbose, false, "Write information and debug lines to the terminal too");

void ParseCommandLine(int* argc, char*** argv) {
  gflags::SetUsageMessage(
      "[--novr] [--monoview] [--fullscreen] [--dataroot=DIRECTORY] [--verbose] [FILE.sculpt]");
  gflags::ParseCommandLineFlags(argc, argv, /*remove_flags=*/true);
}

DisplayMode DisplayModeFromFlags(bool vr, bool monoview) {
  if (!vr) {
    return DisplayMode::Desktop;
  }
  return monoview ? DisplayMode::MonoView : DisplayMode::Stereo;
}

DataRoots BuildDataRoots(const std::string& dataroot) {
  DataRoots roots;
  AddDataRoot(roots, dataroot);
  AddDataRoot(roots, "");
  return roots;
}

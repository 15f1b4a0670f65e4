#include "app/flags.h"

#include <gflags/gflags.h>

#include <cstdio>
#include <cstdlib>
#include <string>

// Defined here, beside ParseCommandLine: whoever parses the command line links this file, so
// the flags are registered even though they live in a static library.
DEFINE_bool(vr, true, "Enable VR mode");
DEFINE_bool(monoview, false, "Mono view (suitable for video capture)");
DEFINE_bool(fullscreen, false, "Fullscreen");
DEFINE_string(dataroot, "", "From where to dynamically load data through the pipeline");
DEFINE_bool(verbose, false, "Write information and debug lines to the terminal too");

// gflags' own.
DECLARE_bool(help);
DECLARE_bool(helpshort);

namespace {

constexpr const char* kUsage =
    "[--novr] [--monoview] [--fullscreen] [--dataroot=DIRECTORY] [--verbose] [FILE.sculpt]";

// The program's own flags, with the descriptions they were defined with.
std::string ProgramHelp() {
  std::string text = std::string("Usage: loomwork ") + kUsage +
                     "\n\nSculpt and paint a voxel sculpture in a headset or a desktop window. "
                     "FILE.sculpt is\nopened at start-up.\n\n";
  for (const char* name : {"vr", "monoview", "fullscreen", "dataroot", "verbose"}) {
    gflags::CommandLineFlagInfo info;
    if (!gflags::GetCommandLineFlagInfo(name, &info)) continue;
    const std::string shown = info.type == "string" ? info.name + "=DIRECTORY"
                              : info.type == "bool" && info.default_value == "true"
                                  ? info.name + ", --no" + info.name
                                  : info.name;
    char line[256];
    std::snprintf(line, sizeof line, "  --%-20s %s\n", shown.c_str(), info.description.c_str());
    text += line;
  }
  text +=
      "\n--novr opens a desktop window instead of the headset. The environment switches and\n"
      "files are in the manual page (man loomwork); --helpfull lists every flag, gflags' own\n"
      "(--flagfile, --fromenv, ...) too.\n";
  return text;
}

}  // namespace

void ParseCommandLine(int* argc, char*** argv) {
  gflags::SetUsageMessage(kUsage);
  gflags::ParseCommandLineNonHelpFlags(argc, argv, /*remove_flags=*/true);
  // gflags' --help lists the flags of every library linked in; a person asking wants these.
  if (FLAGS_help || FLAGS_helpshort) {
    std::fputs(ProgramHelp().c_str(), stdout);
    std::exit(0);
  }
  gflags::HandleCommandLineHelpFlags();
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

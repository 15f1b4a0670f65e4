#pragma once
// The program's command-line flags and what start-up derives from them.
//
// The flags are gflags flags: --flagfile, --fromenv, --tryfromenv and the other built-in flags
// come with them, and the negated form of a bool flag (--novr) works. --help lists the program's
// own flags; --helpfull lists them all.
#include <string>

#include <gflags/gflags_declare.h>

#include "application/application.h"
#include "file/file_util.h"

DECLARE_bool(vr);          // true: headset; --novr gives the desktop window
DECLARE_bool(monoview);    // with vr: square window showing the left eye only
DECLARE_bool(fullscreen);  // switches the display to 1280x720 while the program runs
DECLARE_string(dataroot);  // searched for data files before the working directory
DECLARE_bool(verbose);     // information and debug lines on the terminal too

// Parses the command line and removes the flags it consumed from argc / argv; what remains is
// the program name and the other arguments. Flag errors (unknown flags, malformed values) are
// reported by gflags, which then ends the process with exit code 1; --help ends it with 0 after
// printing the program's flags.
void ParseCommandLine(int* argc, char*** argv);

// Desktop when vr is false (monoview has no effect then), otherwise Stereo or MonoView.
DisplayMode DisplayModeFromFlags(bool vr, bool monoview);

// dataroot (with a separator appended when it is not empty), then the working directory ("").
DataRoots BuildDataRoots(const std::string& dataroot);

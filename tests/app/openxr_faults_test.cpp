// The program on the simulated headset's OpenXR runtime when that runtime misbehaves: every fault
// is said in the log and ends in a retry or a clean stop, never a crash.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/run_process.h"
#include "tests/support/temp_directory.h"
#include "tests/support/text_count.h"

namespace {

TEST(OpenXRFaultsTest, EachFaultIsLoggedAndEndsInARetryOrACleanStop) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') GTEST_SKIP() << "no X display";
  struct Case {
    const char* fault;
    const char* logged;  // once per attempt when retried
    bool retried;        // refused at start: three quiet retries, then the question
  };
  const Case cases[] = {
      {"refuse-gl-session", "OpenXR: no session on the program's OpenGL context", true},
      {"no-rgba-formats", "offers neither GL_SRGB8_ALPHA8 nor GL_RGBA8", true},
      {"lose-session-at=20", "Closing: the OpenXR session was lost", false},
      {"bad-right-pose", "at an unusable pose; it counts as untracked", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fault);
    TempDirectory temp;
    // The right hand strokes inside the grid from frame 2 (an untracked hand never strokes: the
    // application's own tests hold that).
    temp.WriteFile("t.timeline",
                   "at 0\npose right 0 1.0 0.3 0 0 0\nat 2\ntrigger right 1\nat 60\nquit\n");
    ProcessOptions options;
    options.workingDirectory = LOOMWORK_DATA_DIR;
    options.extraEnvironment = {"LOOMWORK_VR_RUNTIME=openxr",
                                "XR_RUNTIME_JSON=" LOOMWORK_XR_SIM_MANIFEST,
                                "LOOMWORK_XR_SIM_FAULT=" + std::string(c.fault),
                                "LOOMWORK_VR_TIMELINE=" + temp.File("t.timeline"),
                                "LOOMWORK_VR_UNPACED=1", "LOOMWORK_VR_EYE_SIZE=216x240",
                                "LOOMWORK_UNATTENDED=1", "XDG_DATA_HOME=" + temp.Path()};
    const ProcessResult result = RunProcess(LOOMWORK_PATH, {"--verbose", "--dataroot=" + temp.Path()}, options);
    const std::string log = result.err + result.out;
    // Refused at start and declined, the program ends by itself with a failure.
    EXPECT_EQ(result.exitCode, c.retried ? 1 : 0) << result.Describe();
    if (c.retried) {
      EXPECT_EQ(Occurrences(log, c.logged), 4) << log;
      EXPECT_EQ(Occurrences(log, "Try again?"), 1) << log;
      EXPECT_EQ(log.find("Tess time"), std::string::npos) << "the application started\n" << log;
    } else {
      EXPECT_EQ(Occurrences(log, c.logged), 1) << log;
      EXPECT_EQ(log.find("Try again?"), std::string::npos) << log;
    }
  }
}

}  // namespace

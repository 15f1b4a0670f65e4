// The real program in a real window, driven by real X input events (xdotool): F5 reloads the
// panel script, a right click hides the panel. Runs alone on the display (see the build file):
// other windows would take the events' place.
#include <gtest/gtest.h>
#include <stb_image.h>

#include <chrono>
#include <string>
#include <vector>

#include "tests/support/run_process.h"
#include "tests/support/temp_directory.h"

namespace {

int CountGreen(const std::string& path) {
  int width = 0, height = 0, channels = 0;
  uint8_t* pixels = stbi_load(path.c_str(), &width, &height, &channels, 4);
  if (pixels == nullptr) return -1;
  int count = 0;
  for (int i = 0; i < width * height; ++i) {
    const uint8_t* p = pixels + size_t(i) * 4;
    if (p[1] > 200 && p[0] < 60 && p[2] < 60) ++count;
  }
  stbi_image_free(pixels);
  return count;
}

// Counts its runs of init and draws one big green rectangle as the panel.
constexpr const char* kInputScript = R"(
function init()
  runs = (runs or 0) + 1
  print("init run " .. runs .. "\n")
  floorsize = 4.0; light_env = 1
end
function processUI()
  if not shown then print("panel shown\n"); shown = true end
  beginPanel(-19, -31, 38, 62)
  rect(-19, -31, 38, 62, 0, 1, 0, 1)
end
function renderEye(eye) end
)";

// Real X input events into the window of process pid, through xdotool. Other tests' windows may
// be open on the same display, above this one and holding the focus, so the events are sent to
// the window itself (the actions name it as %1).
void SendToWindow(int pid, const std::string& actions) {
  ProcessOptions options;
  options.hangLimit = std::chrono::seconds(30);
  const ProcessResult result = RunProcess(
      "/bin/sh",
      {"-c", "xdotool search --sync --onlyvisible --pid " + std::to_string(pid) +
                 " --name '^Loomwork$' " + actions},
      options);
  EXPECT_EQ(result.exitCode, 0) << result.Describe();
}

TEST(SculptAppInputTest, F5ReloadsTheScriptAndRightClickHidesThePanel) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') GTEST_SKIP() << "no X display";
  TempDirectory temp_;
  temp_.MakeDirectory("script");
  temp_.WriteFile("script/sculpt.lua", kInputScript);
  const std::string shot = temp_.File("shot.png");
  ProcessOptions options;
  options.workingDirectory = LOOMWORK_DATA_DIR;
  options.extraEnvironment = {"LOOMWORK_CAPTURE_PNG=" + shot};
  options.triggers = {
      // Held for a while: the controls sample the keys once per frame, so a tap shorter than a
      // frame would not be seen.
      {"panel shown", [](int pid) { SendToWindow(pid, "keydown --window %1 F5 sleep 1 keyup --window %1 F5"); }},
      {"init run 2",
       [](int pid) {
         SendToWindow(pid, "mousedown --window %1 3 sleep 1 mouseup --window %1 3 sleep 1.5");
         CloseProcess(pid);  // the last frame drawn is captured as the window closes
       }},
  };
  const ProcessResult result =
      RunProcess(LOOMWORK_PATH, {"--novr", "--dataroot=" + temp_.Path()}, options);
  const std::string log = result.err + result.out;
  ASSERT_EQ(result.exitCode, 0) << result.Describe();
  EXPECT_NE(log.find("init run 2"), std::string::npos) << "F5 did not reload the script\n" << log;
  EXPECT_NE(log.find("panel shown"), std::string::npos) << log;

  const int green = CountGreen(shot);
  ASSERT_GE(green, 0) << "no image was captured\n" << log;
  EXPECT_EQ(green, 0) << "the panel is still shown after the right click\n" << log;
}

}  // namespace

// The real program in a real window, driven by real X input events (xdotool): F5 reloads the
// panel script, a right click hides the panel, Q lowers the camera. Runs alone on the display (see the build file):
// other windows would take the events' place.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/png_image.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_directory.h"
#include "tests/support/x_input.h"

namespace {

constexpr const char* kWindow = "Loomwork";

// Pixels of rows [y0, y1) (fractions of the height) that pass the test.
template <class Test>
int Count(const Image& image, float y0, float y1, Test test) {
  int count = 0;
  for (int y = int(y0 * image.height); y < int(y1 * image.height); ++y) {
    for (int x = 0; x < image.width; ++x) {
      const uint8_t* p = image.At(x, y);
      if (test(int(p[0]), int(p[1]), int(p[2]))) ++count;
    }
  }
  return count;
}

bool PanelGreen(int r, int g, int b) { return g > 200 && r < 60 && b < 60; }
// The floor's checker greys (with a little blue from the day sky).
bool FloorGrey(int r, int g, int b) {
  return r > 25 && r < 200 && std::abs(r - g) < 20 && b >= g - 5 && b - g < 40;
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


TEST(SculptAppInputTest, F5ReloadsRightClickHidesThePanelAndQLowersTheCamera) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') GTEST_SKIP() << "no X display";
  TempDirectory temp_;
  temp_.MakeDirectory("script");
  temp_.WriteFile("script/sculpt.lua", kInputScript);
  const std::string shot = temp_.File("shot.png");
  ProcessOptions options;
  options.workingDirectory = LOOMWORK_DATA_DIR;
  options.extraEnvironment = {"LOOMWORK_CAPTURE_PNG=" + shot, "XDG_DATA_HOME=" + temp_.Path()};
  options.triggers = {
      // Held for a while, as a person reloading would.
      {"panel shown",
       [](int pid) { SendToWindow(pid, kWindow, "keydown --window %1 F5 sleep 1 keyup --window %1 F5"); }},
      {"init run 2",
       [](int pid) {
         SendToWindow(pid, kWindow, "mousedown --window %1 3 sleep 1 mouseup --window %1 3");
         // Q lowers the camera 10 cm a frame: held long enough it sinks below the floor.
         SendToWindow(pid, kWindow, "keydown --window %1 q sleep 2 keyup --window %1 q sleep 1");
         CloseProcess(pid);  // the last frame drawn is captured as the window closes
       }},
  };

  const ProcessResult result =
      RunProcess(LOOMWORK_PATH, {"--novr", "--verbose", "--dataroot=" + temp_.Path()}, options);
  const std::string log = result.err + result.out;
  ASSERT_EQ(result.exitCode, 0) << result.Describe();
  EXPECT_NE(log.find("init run 2"), std::string::npos) << "F5 did not reload the script\n" << log;
  EXPECT_NE(log.find("panel shown"), std::string::npos) << log;

  const Image image = LoadPng(shot);
  ASSERT_EQ(image.width, 1280) << "no image was captured\n" << log;
  EXPECT_EQ(Count(image, 0.0f, 1.0f, PanelGreen), 0)
      << "the panel is still shown after the right click\n" << log;
  // Below the floor, looking level: the floor faces away and is not drawn.
  EXPECT_LT(Count(image, 0.75f, 1.0f, FloorGrey), image.width * image.height / 100)
      << "Q did not lower the camera below the floor";
}

}  // namespace

namespace {

// Escape asks and a second Escape quits; Ctrl+Q quits at once; both end as closing the window
// does (exit code 0), in the desktop window and on the simulated headset's window.
TEST(SculptAppInputTest, EscapeTwiceOrCtrlQQuits) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') GTEST_SKIP() << "no X display";
  struct Case {
    const char* name;
    std::vector<std::string> args;
    std::string runtime;
    const char* keys;
    bool asks;
  };
  const Case cases[] = {
      {"desktop, Escape twice", {"--novr"}, "", "key --window %1 Escape sleep 0.5 key --window %1 Escape", true},
      {"desktop, Ctrl+Q", {"--novr"}, "", "key --window %1 ctrl+q", false},
      {"headset, Escape twice", {}, "simulated", "key --window %1 Escape sleep 0.5 key --window %1 Escape", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDirectory temp;
    ProcessOptions options;
    options.workingDirectory = LOOMWORK_DATA_DIR;
    options.extraEnvironment = {"XDG_DATA_HOME=" + temp.Path(), "LOOMWORK_VR_RUNTIME=" + c.runtime,
                                "LOOMWORK_VR_EYE_SIZE=320x360"};
    const std::string keys = c.keys;
    options.triggers = {{"Tess time", [&](int pid) { SendToWindow(pid, kWindow, keys); }}};
    std::vector<std::string> args = c.args;
    args.push_back("--verbose");
    const ProcessResult result = RunProcess(LOOMWORK_PATH, args, options);
    const std::string log = result.err + result.out;
    EXPECT_EQ(result.exitCode, 0) << result.Describe();
    EXPECT_EQ(log.find("Press Escape again to quit") != std::string::npos, c.asks) << log;
  }
}

}  // namespace

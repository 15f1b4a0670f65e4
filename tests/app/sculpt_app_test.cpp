// The real program (loomwork) in a real window on the current X display, run from the real data
// tree for a few frames; the image it presents is read back and checked.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/support/png_image.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_directory.h"
#include "tests/ui/fanout_font.h"

namespace {

// Enough frames for the tessellation budget to mesh every block of a fresh grid on llvmpipe.
constexpr int kFrames = 30;

struct ProgramRun {
  int exitCode = -1;  // minus the signal number when the process was killed
  std::string log;    // standard error, then standard output
  std::string Describe() const { return "exit " + std::to_string(exitCode) + "\n" + log; }
};

// The program runs from the data tree, as `make run` starts it.
ProgramRun RunLoomwork(const std::vector<std::string>& args,
                       const std::vector<std::string>& extraEnvironment) {
  ProcessOptions options;
  options.extraEnvironment = extraEnvironment;
  options.workingDirectory = LOOMWORK_DATA_DIR;
  std::vector<std::string> verboseArgs = {"--verbose"};  // the tests read information lines
  verboseArgs.insert(verboseArgs.end(), args.begin(), args.end());
  const ProcessResult result = RunProcess(LOOMWORK_PATH, verboseArgs, options);
  return {result.exitCode, result.err + result.out};
}

// Pixels of rows [y0, y1) that pass the test.
template <class Test>
int CountPixels(const Image& image, int y0, int y1, Test test) {
  int count = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = 0; x < image.width; ++x) {
      const uint8_t* p = image.At(x, y);
      if (test(int(p[0]), int(p[1]), int(p[2]))) ++count;
    }
  }
  return count;
}

// The floor's greys pick up a little blue from the day environment.
bool DarkFloor(int r, int g, int b) { return r < 70 && std::abs(r - g) < 15 && b - g < 30; }
bool LightFloor(int r, int g, int b) {
  return r > 80 && r < 200 && std::abs(r - g) < 20 && b >= g - 5 && b - g < 40;
}

// Builds the "default" test scene from the script's init, and shows no panel widgets.
constexpr const char* kDefaultSceneScript = R"(
function init()
  tool = "Add"; toolShape = "Sphere"; drawSize = 0.04
  material_r = 0.85; material_g = 0.65; material_b = 0.47
  material_h = 0.08; material_s = 0.45; material_v = 0.85
  material_metalness = 0.0; material_roughness = 0.5
  floorsize = 4.0; light_env = 1
  testScene("default")
end
function processUI() end
function renderEye(eye) end
)";

class SculptAppRunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') GTEST_SKIP() << "no X display";
  }

  // Runs the desktop program for kFrames frames and loads the image of the last one.
  Image RunAndCapture(const std::vector<std::string>& args, ProgramRun* run) {
    const std::string shot = temp_.File("shot.png");
    *run = RunLoomwork(args,
                       {"LOOMWORK_EXIT_AFTER_FRAMES=" + std::to_string(kFrames),
                        "LOOMWORK_CAPTURE_PNG=" + shot});
    return LoadPng(shot);
  }

  TempDirectory temp_;
};

TEST_F(SculptAppRunTest, DesktopShowsSkyFloorAndPanelUpright) {
  ProgramRun run;
  const Image image = RunAndCapture({"--novr"}, &run);
  ASSERT_EQ(run.exitCode, 0) << run.Describe();
  ASSERT_EQ(image.width, 1280) << run.Describe();
  ASSERT_EQ(image.height, 720);
  const int pixels = image.width * (image.height / 4);

  // Top quarter: the day sky, bright and bluish, not the teal clear colour.
  const int sky = CountPixels(image, 0, image.height / 4, [](int r, int g, int b) {
    return b >= r && r + g + b > 450;
  });
  EXPECT_GT(sky, pixels / 2) << "no bright sky at the top; the image may be upside down";

  // Bottom quarter: the floor's checker, two distinct greys.
  const int darkSquares = CountPixels(image, image.height * 3 / 4, image.height,
                                      DarkFloor);
  const int lightSquares = CountPixels(image, image.height * 3 / 4, image.height, LightFloor);
  EXPECT_GT(darkSquares, pixels / 10);
  EXPECT_GT(lightSquares, pixels / 10);

  // The stock panel script draws its widgets: the "Add" button's green is there.
  const int green = CountPixels(image, 0, image.height, [](int r, int g, int b) {
    return g > r + 30 && g > b + 30;
  });
  EXPECT_GT(green, 200);
  EXPECT_NE(run.log.find("Tess time ("), std::string::npos) << run.log;
}

// Started from a folder without a data tree, the program takes the built one beside itself and
// says on a quiet terminal where sculptures go; a --dataroot with no tree is refused in words.
TEST_F(SculptAppRunTest, FindsTheDataTreeBesideItselfOrSaysThereIsNone) {
  ProcessOptions options;
  options.workingDirectory = temp_.Path();
  options.extraEnvironment = {"LOOMWORK_EXIT_AFTER_FRAMES=3", "XDG_DATA_HOME=" + temp_.Path()};
  const ProcessResult found = RunProcess(LOOMWORK_PATH, {"--novr"}, options);
  EXPECT_EQ(found.exitCode, 0) << found.Describe();
  EXPECT_NE(found.err.find("Loomwork (desktop window): sculptures in " + temp_.Path()),
            std::string::npos)
      << found.Describe();

  const ProcessResult refused =
      RunProcess(LOOMWORK_PATH, {"--novr", "--dataroot=" + temp_.File("nothing")}, options);
  EXPECT_EQ(refused.exitCode, 1) << refused.Describe();
  EXPECT_NE(refused.err.find("No data tree found"), std::string::npos) << refused.Describe();
}

// A panel font that would take stb_truetype days to outline is refused at start-up; the program
// starts, runs and closes normally with a panel without text.
TEST_F(SculptAppRunTest, AFontThatWouldHangStartUpIsRefused) {
  for (const char* tree : {"script", "shaders", "textures"})
    ASSERT_EQ(symlink((std::string(LOOMWORK_DATA_DIR) + "/" + tree).c_str(),
                      temp_.File(tree).c_str()),
              0);
  temp_.MakeDirectory("assets");
  const std::vector<uint8_t> font = fonttest::FanOutFont(8, 64);
  temp_.WriteFile("assets/Comfortaa_Bold.ttf", std::string(font.begin(), font.end()));
  ProcessOptions options;
  options.workingDirectory = temp_.Path();
  options.extraEnvironment = {"LOOMWORK_EXIT_AFTER_FRAMES=3", "XDG_DATA_HOME=" + temp_.Path()};
  const ProcessResult result = RunProcess(LOOMWORK_PATH, {"--novr", "--verbose"}, options);
  const std::string log = result.err + result.out;
  EXPECT_EQ(result.exitCode, 0) << log;
  EXPECT_NE(log.find("expands its parts more than"), std::string::npos) << log;
  EXPECT_NE(log.find("the panel has no text"), std::string::npos) << log;
}

TEST_F(SculptAppRunTest, DefaultSceneSculptureAppearsInBlue) {
  temp_.MakeDirectory("script");
  temp_.WriteFile("script/sculpt.lua", kDefaultSceneScript);
  ProgramRun run;
  const Image image = RunAndCapture({"--novr", "--dataroot=" + temp_.Path()}, &run);
  ASSERT_EQ(run.exitCode, 0) << run.Describe();
  ASSERT_EQ(image.width, 1280) << run.Describe();

  // The blue sphere sits left of the centre at eye height (grid (48, 96, 96): world (-0.5, 1, 0)).
  auto blue = [](int r, int g, int b) { return b > 90 && b > 2 * r && b > 2 * g; };
  const int leftHalfBlue = [&] {
    int count = 0;
    for (int y = image.height / 4; y < image.height * 3 / 4; ++y)
      for (int x = 0; x < image.width / 2; ++x) {
        const uint8_t* p = image.At(x, y);
        if (blue(p[0], p[1], p[2])) ++count;
      }
    return count;
  }();
  EXPECT_GT(leftHalfBlue, 2000) << run.log;
  // The floor is still there beneath it.
  EXPECT_GT(CountPixels(image, image.height * 7 / 8, image.height, DarkFloor), 1000);
}

TEST_F(SculptAppRunTest, WithoutVrRuntimeRetriesThriceThenAsksAndNoEndsTheProgram) {
  ProcessOptions options;
  options.workingDirectory = LOOMWORK_DATA_DIR;
  // No runtime named: the installed OpenXR runtime, and the loader finds none.
  options.extraEnvironment = {"LOOMWORK_VR_RUNTIME=", "LOOMWORK_UNATTENDED=1",
                              "XR_RUNTIME_JSON=/nonexistent/openxr_runtime.json"};
  // Declined, the program ends by itself: nobody may be there to close its empty window.
  const ProcessResult result = RunProcess(LOOMWORK_PATH, {"--verbose"}, options);
  const std::string log = result.err + result.out;
  EXPECT_EQ(result.exitCode, 1) << result.Describe();
  EXPECT_NE(log.find("Loomwork ends: VR could not start"), std::string::npos) << log;

  auto count = [&](const std::string& text) {
    int n = 0;
    for (size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) ++n;
    return n;
  };
  // Three quiet failures, then the fourth asks; the declining answer ends the attempts.
  EXPECT_EQ(count("Unable to init VR runtime: Installation Not Found (100)"), 4) << log;
  EXPECT_EQ(count("This program requires VR. No VR system detected through OpenVR. Try again?"),
            1) << log;
  EXPECT_NE(log.find("(To bypass for testing, pass --novr on the command line)"),
            std::string::npos);
  EXPECT_LT(log.rfind("Unable to init VR runtime"), log.find("Try again?"));
  // The application was never started.
  EXPECT_EQ(log.find("Tess time"), std::string::npos) << log;
}

// A timeline that is not a regular file (a FIFO nobody writes would block its open for ever) is
// refused like a missing one: declined, the program ends by itself; a signal while it is still
// starting ends it too.
TEST_F(SculptAppRunTest, TimelinesThatAreNoRegularFilesAreRefusedAndASignalEndsStartUp) {
  TempDirectory temp;
  ASSERT_EQ(mkfifo(temp.File("fifo.timeline").c_str(), 0600), 0);
  temp.MakeDirectory("folder.timeline");
  for (const char* name : {"fifo.timeline", "folder.timeline"}) {
    for (const bool signalled : {false, true}) {
      SCOPED_TRACE(std::string(name) + (signalled ? ", signalled" : ""));
      ProcessOptions options;
      options.workingDirectory = LOOMWORK_DATA_DIR;
      options.extraEnvironment = {"LOOMWORK_VR_RUNTIME=simulated", "LOOMWORK_UNATTENDED=1",
                                  "LOOMWORK_VR_TIMELINE=" + temp.File(name),
                                  "XDG_DATA_HOME=" + temp.Path()};
      if (signalled) options.triggers = {{"it is not a regular file", CloseProcess}};
      const ProcessResult result = RunProcess(LOOMWORK_PATH, {"--verbose"}, options);
      const std::string log = result.err + result.out;
      const std::string refused = ":0: cannot read the timeline: it is not a regular file";
      EXPECT_NE(log.find(temp.File(name) + refused), std::string::npos) << log;
      EXPECT_EQ(log.find("Tess time"), std::string::npos) << "the application started\n" << log;
      if (signalled) {
        EXPECT_EQ(result.exitCode, 0) << result.Describe();
        EXPECT_EQ(log.find("Try again?"), std::string::npos) << log;
      } else {
        EXPECT_EQ(result.exitCode, 1) << result.Describe();
        EXPECT_NE(log.find("Loomwork ends: VR could not start"), std::string::npos) << log;
      }
    }
  }
}

}  // namespace

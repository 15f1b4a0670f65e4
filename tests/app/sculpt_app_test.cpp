// The real program (loomwork) in a real window on the current X display, run from the real data
// tree for a few frames; the image it presents is read back and checked.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <stb_image.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_directory.h"

extern char** environ;

namespace {

// A hung program would otherwise hang the whole suite; this is far beyond any normal run.
constexpr auto kHangLimit = std::chrono::seconds(120);
// Enough frames for the tessellation budget to mesh every block of a fresh grid on llvmpipe.
constexpr int kFrames = 30;

struct ProgramRun {
  int exitCode = -1;  // minus the signal number when the process was killed
  std::string log;
  std::string Describe() const { return "exit " + std::to_string(exitCode) + "\n" + log; }
};

std::string Slurp(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream contents;
  contents << file.rdbuf();
  return contents.str();
}

ProgramRun RunLoomwork(const std::vector<std::string>& args,
                       const std::vector<std::string>& extraEnvironment,
                       const std::string& logPath) {
  std::vector<std::string> argStrings = {LOOMWORK_PATH};
  argStrings.insert(argStrings.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : argStrings) argv.push_back(arg.data());
  argv.push_back(nullptr);
  std::vector<std::string> envStrings;
  for (char** entry = environ; *entry != nullptr; ++entry) envStrings.emplace_back(*entry);
  envStrings.insert(envStrings.end(), extraEnvironment.begin(), extraEnvironment.end());
  std::vector<char*> envp;
  for (std::string& entry : envStrings) envp.push_back(entry.data());
  envp.push_back(nullptr);

  ProgramRun run;
  const pid_t pid = fork();
  if (pid < 0) {
    ADD_FAILURE() << "fork failed";
    return run;
  }
  if (pid == 0) {
    // Only async-signal-safe calls between fork and exec.
    const int log = open(logPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (log < 0 || chdir(LOOMWORK_DATA_DIR) != 0) _exit(127);
    dup2(log, 1);
    dup2(log, 2);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  const auto deadline = std::chrono::steady_clock::now() + kHangLimit;
  int status = 0;
  for (;;) {
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid) break;
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << "loomwork did not end; killed";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  run.log = Slurp(logPath);
  return run;
}

struct Image {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;
  const uint8_t* At(int x, int y) const { return rgba.data() + (size_t(y) * width + x) * 4; }
};

Image LoadPng(const std::string& path) {
  Image image;
  int channels = 0;
  uint8_t* pixels = stbi_load(path.c_str(), &image.width, &image.height, &channels, 4);
  if (pixels != nullptr) {
    image.rgba.assign(pixels, pixels + size_t(image.width) * image.height * 4);
    stbi_image_free(pixels);
  }
  return image;
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
                        "LOOMWORK_CAPTURE_PNG=" + shot},
                       temp_.File("log.txt"));
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

TEST_F(SculptAppRunTest, VrStartReportsThatVrIsNotAvailable) {
  const ProgramRun run = RunLoomwork({}, {}, temp_.File("log.txt"));
  EXPECT_NE(run.exitCode, 0);
  EXPECT_NE(run.log.find("VR is not available"), std::string::npos) << run.log;
}

}  // namespace

// Khronos' hello_xr (Debian's libopenxr-utils), a real OpenXR application, on the simulated
// headset's OpenXR runtime through the real loader, with and without the core validation layer.
// hello_xr needs the XFree86-VidMode extension, which Xvfb lacks, so it runs on an Xorg server
// with the dummy driver. It quits when its standard input ends: the pipe stays open and the
// timeline ends the session.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/dummy_x_server.h"
#include "tests/support/png_image.h"
#include "tests/support/temp_directory.h"

namespace {

constexpr const char* kHelloXr = "/usr/bin/hello_xr";
constexpr int kEyeWidth = 432, kEyeHeight = 480;

struct HelloXrRun {
  int exitCode = -1;  // minus the signal when killed
  std::string output;
};

// hello_xr with its standard input an open pipe, output to a file; killed past a generous bound.
HelloXrRun RunHelloXr(const std::string& display, const std::vector<std::string>& environment,
               const TempDirectory& dir) {
  HelloXrRun run;
  int input[2];
  if (pipe(input) != 0) return run;
  const std::string outputPath = dir.File("hello_xr.txt");
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(input[0], 0);
    close(input[1]);
    const int out = open(outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    dup2(out, 1);
    dup2(out, 2);
    setenv("DISPLAY", display.c_str(), 1);
    for (const std::string& entry : environment) putenv(const_cast<char*>(entry.c_str()));
    execl(kHelloXr, kHelloXr, "-g", "OpenGL", "-v", static_cast<char*>(nullptr));
    _exit(127);
  }
  close(input[0]);
  int status = 0;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
  while (waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      kill(pid, SIGKILL);
      waitpid(pid, &status, 0);
      ADD_FAILURE() << "hello_xr did not end within 120 s";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  close(input[1]);
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
  run.output = dir.ReadFile("hello_xr.txt");
  return run;
}

// Where a point straight ahead of the left eye lands in its image: the head stands at
// (0, 1.5, 2) looking along -z, the eye 3.2 cm to its left, 100 degrees across.
void Project(float x, float y, float z, int* u, int* v) {
  const float tanHalfWidth = std::tan(50.0f * 3.14159265f / 180.0f);
  const float tanHalfHeight = tanHalfWidth * float(kEyeHeight) / float(kEyeWidth);
  const float ahead = 2.0f - z;
  *u = int(kEyeWidth * 0.5f * (1.0f + (x + 0.032f) / ahead / tanHalfWidth));
  *v = int(kEyeHeight * 0.5f * (1.0f - (y - 1.5f) / ahead / tanHalfHeight));
}

bool SameColour(const Image& image, int x, int y, const uint8_t* colour) {
  const uint8_t* p = image.At(x, y);
  return std::abs(p[0] - colour[0]) < 8 && std::abs(p[1] - colour[1]) < 8 &&
         std::abs(p[2] - colour[2]) < 8;
}

struct Case {
  const char* name;
  bool validationLayer;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

class HelloXrTest : public ::testing::TestWithParam<Case> {};

TEST_P(HelloXrTest, RendersFollowsTheTimelineAndEndsOnQuit) {
  ASSERT_EQ(access(kHelloXr, X_OK), 0) << kHelloXr << " is missing (libopenxr-utils)";
  DummyXServer server;
  ASSERT_FALSE(server.Display().empty()) << server.Error();
  TempDirectory dir;
  const std::string first = dir.File("first.png"), second = dir.File("second.png"),
                    secondRight = dir.File("second_right.png");
  // The right hand's cube moves from the upper right to the left of the view; the left hand is
  // untracked, so hello_xr draws no cube for it.
  dir.WriteFile("timeline.txt",
                "at 1\n"
                "pose head 0 1.5 2\n"
                "invalid left\n"
                "pose right 0.4 1.75 1\n"
                "at 100\n"
                "capture left " + first + "\n"
                "at 101\n"
                "pose right -0.4 1.6 1\n"
                "at 200\n"
                "capture left " + second + "\n"
                "capture right " + secondRight + "\n"
                "at 300\n"
                "quit\n");
  std::vector<std::string> environment = {
      "XR_RUNTIME_JSON=" LOOMWORK_XR_SIM_MANIFEST, "LOOMWORK_VR_TIMELINE=" + dir.File("timeline.txt"),
      "LOOMWORK_VR_UNPACED=1", "LOOMWORK_VR_EYE_SIZE=432x480"};
  if (GetParam().validationLayer) {
    environment.push_back("XR_ENABLE_API_LAYERS=XR_APILAYER_LUNARG_core_validation");
  }
  const HelloXrRun run = RunHelloXr(server.Display(), environment, dir);
  ASSERT_EQ(run.exitCode, 0) << run.output;
  EXPECT_NE(run.output.find("Loomwork simulated headset"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("->XR_SESSION_STATE_FOCUSED"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("->XR_SESSION_STATE_EXITING"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("stopping the session in frame 300"), std::string::npos)
      << run.output;
  if (GetParam().validationLayer) {
    EXPECT_NE(run.output.find("Core Validation"), std::string::npos) << "layer not loaded";
    EXPECT_EQ(run.output.find("VUID"), std::string::npos) << run.output;
    EXPECT_EQ(run.output.find("Error ["), std::string::npos) << run.output;
  }

  const Image a = LoadPng(first), b = LoadPng(second), right = LoadPng(secondRight);
  ASSERT_EQ(a.width, kEyeWidth);
  ASSERT_EQ(a.height, kEyeHeight);
  ASSERT_EQ(b.width, kEyeWidth);
  ASSERT_EQ(right.width, kEyeWidth);
  const uint8_t* background = a.At(2, 2);  // hello_xr's clear colour
  int ua, va, ub, vb;
  Project(0.4f, 1.75f, 1.0f, &ua, &va);
  Project(-0.4f, 1.6f, 1.0f, &ub, &vb);
  EXPECT_FALSE(SameColour(a, ua, va, background)) << "no cube where the hand was";
  EXPECT_TRUE(SameColour(b, ua, va, background)) << "the cube stayed after the hand left";
  EXPECT_FALSE(SameColour(b, ub, vb, background)) << "no cube where the hand went";
  EXPECT_TRUE(SameColour(a, ub, vb, background)) << "a cube before the hand came";
  // The right eye sees the cube too, shifted by the eyes' distance only.
  EXPECT_FALSE(SameColour(right, ub - 5, vb, background));
  // The floor cube lies well below the middle of the picture, nothing sits high above it: the
  // image is upright (OpenGL images have their first row at the bottom).
  int low = 0, high = 0;
  for (int y = 0; y < kEyeHeight; ++y) {
    for (int x = 0; x < kEyeWidth; ++x) {
      if (SameColour(b, x, y, background)) continue;
      if (y > 340) ++low;
      if (y < 140) ++high;
    }
  }
  EXPECT_GT(low, 0);
  EXPECT_EQ(high, 0);
}

INSTANTIATE_TEST_SUITE_P(Runs, HelloXrTest,
                         ::testing::Values(Case{"Plain", false}, Case{"CoreValidation", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(OpenXrRuntimeList, ListsTheSimulatedHeadset) {
  TempDirectory dir;
  const std::string command = "XR_RUNTIME_JSON=" LOOMWORK_XR_SIM_MANIFEST
                              " openxr_runtime_list > " + dir.File("list.txt") + " 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << dir.ReadFile("list.txt");
  const std::string list = dir.ReadFile("list.txt");
  EXPECT_NE(list.find("name: 'Loomwork simulated headset'"), std::string::npos) << list;
  EXPECT_NE(list.find("XR_KHR_opengl_enable"), std::string::npos) << list;
}

}  // namespace

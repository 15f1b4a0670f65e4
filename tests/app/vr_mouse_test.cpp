// Sculpting with the mouse on the simulated headset, as `make run` offers it: real X input events
// (xdotool) into the program's companion window stroke into the sculpture and press the panel's
// Save button. Runs alone on the display (see the build file): other windows would take the
// pointer's place.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "sim_headset/sim_devices.h"
#include "tests/support/run_process.h"
#include "tests/support/saved_sculpture.h"
#include "tests/support/temp_directory.h"
#include "tests/support/x_input.h"
#include "tests/vr/runtime_test_util.h"
#include "vr/simulated/simulated_headset.h"

namespace {

constexpr const char* kWindow = "Loomwork";

constexpr int kEyeWidth = 640;  // each eye fills its half of the 1280 x 720 window
constexpr int kEyeHeight = 720;

struct Pixel {
  int x, y;
};

// Where a world point appears in the window's left half, from the simulated headset's own
// optics and default poses.
Pixel LeftEyePixel(Vec3 world) {
  vr::sim::SimulatedHeadsetOptions options;
  options.eyeWidth = kEyeWidth;
  options.eyeHeight = kEyeHeight;
  vr::sim::SimulatedHeadset headset(options);
  const vr::HmdMatrix34_t head = vr::sim::ToMatrix34(vr::sim::DefaultHeadPose());
  const Vec4 clip = vr::sim::testing::ProjectToClip(
      world, head, headset.GetEyeToHeadTransform(vr::Eye_Left),
      headset.GetProjectionMatrix(vr::Eye_Left, 0.1f, 1000.0f));
  const float x = clip.x / clip.w;
  const float y = clip.y / clip.w;
  return {int((x + 1.0f) * 0.5f * kEyeWidth), int((1.0f - y) * 0.5f * kEyeHeight)};
}

// The world point of panel point (u, v) (centimetres, v downwards) on the resting left hand.
Vec3 PanelPoint(float u, float v) {
  const vr::sim::SimPose hand = vr::sim::DefaultLeftHandPose();
  const Vec3 local = {0.01f * u, 0.05f, 0.01f * v};  // after the panel's turn about x
  return hand.position + hand.x * local.x + hand.y * local.y + hand.z * local.z;
}


TEST(VrMouseTest, TheMouseStrokesAndPressesTheSaveButton) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') GTEST_SKIP() << "no X display";
  TempDirectory temp;

  // The middle of the left eye looks at the sculpture's centre; Save sits at (13.5, 17).
  const Pixel save = LeftEyePixel(PanelPoint(13.5f, 17.0f));
  ASSERT_GT(save.x, 0);
  ASSERT_LT(save.x, kEyeWidth);
  const std::string stroke = "mousemove --window %1 " + std::to_string(kEyeWidth / 2) + " " +
                             std::to_string(kEyeHeight / 2) +
                             " sleep 0.5 mousedown --window %1 1 sleep 1.5 mouseup --window %1 1";
  const std::string press = "mousemove --window %1 " + std::to_string(save.x) + " " +
                            std::to_string(save.y) +
                            " sleep 0.5 mousedown --window %1 1 sleep 1 mouseup --window %1 1";

  ProcessOptions options;
  options.workingDirectory = LOOMWORK_DATA_DIR;
  options.extraEnvironment = {"LOOMWORK_VR_RUNTIME=simulated", "XDG_DATA_HOME=" + temp.Path(),
                              "LOOMWORK_VR_EYE_SIZE=" + std::to_string(kEyeWidth) + "x" +
                                  std::to_string(kEyeHeight)};
  options.triggers = {
      {"Tess time", [&](int pid) { SendToWindow(pid, kWindow, stroke + " sleep 0.5 " + press); }},
      {"Saved sculptures/slot1.sculpt", [](int pid) { CloseProcess(pid); }},
  };
  const ProcessResult result = RunProcess(LOOMWORK_PATH, {"--verbose", "--dataroot=" + temp.Path()}, options);
  const std::string log = result.err + result.out;
  ASSERT_EQ(result.exitCode, 0) << result.Describe();

  std::vector<SculptOp> records;
  std::string error;
  ASSERT_TRUE(
      ReadSculptureRecords(temp.File("loomwork/sculptures/slot1.sculpt"), &records, &error))
      << error << "\n" << log;
  ASSERT_GT(records.size(), 0u) << "holding the button made no strokes\n" << log;
  for (const SculptOp& op : records) {
    EXPECT_EQ(op.type, kOpSphere);
    EXPECT_EQ(op.mode, 2);
    // In front of the user, inside the grid.
    EXPECT_GT(op.matrix.m[14], 96.0f);
    EXPECT_LT(op.matrix.m[14], 192.0f);
  }
}

}  // namespace

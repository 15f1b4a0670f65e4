// Mouse mode wired to SDL: with a current GL window, each frame puts the right hand where the
// mouse mapping says, and a hand taken over by a test stays where the test put it.
#include <SDL.h>
#include <gtest/gtest.h>

#include "sim_headset/sim_devices.h"
#include "sim_headset/sim_pointer_mapping.h"
#include "tests/gfx/gl_test_context.h"
#include "tests/vr/runtime_test_util.h"

namespace vr::sim::testing {
namespace {

TEST(SimulatedDesktopInput, TheRightHandFollowsTheMouseInTheCurrentWindow) {
  GLTestContext gl(300, 100);  // wider than 1.5 x its height: both eyes side by side
  REQUIRE_GL(gl);
  SDL_Window* window = SDL_GL_GetCurrentWindow();
  ASSERT_NE(window, nullptr);
  SimulatedSession session;
  ASSERT_EQ(session.error, VRInitError_None);
  IVRSystem* system = session.System();
  EXPECT_FALSE(session.Headset()->TimelineActive());

  const EyeOptics eyes[2] = {
      {system->GetProjectionMatrix(Eye_Left, 0.1f, 100.0f), system->GetEyeToHeadTransform(Eye_Left)},
      {system->GetProjectionMatrix(Eye_Right, 0.1f, 100.0f),
       system->GetEyeToHeadTransform(Eye_Right)}};
  for (int x : {240, 60}) {
    SCOPED_TRACE(x);
    SDL_WarpMouseInWindow(window, x, 50);  // may not reach a hidden window; the check reads back
    SDL_PumpEvents();
    TrackedDevicePose_t poses[k_unMaxTrackedDeviceCount];
    session.NextFrame(poses);
    int mouseX = 0, mouseY = 0;
    SDL_GetMouseState(&mouseX, &mouseY);
    HandPlacement expected;
    ASSERT_TRUE(RightHandFromPointer({float(mouseX) + 0.5f, float(mouseY) + 0.5f, 300, 100},
                                     poses[0].mDeviceToAbsoluteTracking, eyes, kDefaultReach,
                                     poses[1].mDeviceToAbsoluteTracking, &expected));
    const HmdMatrix34_t& right = poses[2].mDeviceToAbsoluteTracking;
    EXPECT_TRUE(Near(Position(right), Position(expected.pose), 1e-5f));
    EXPECT_TRUE(Near(Forward(right), Forward(expected.pose), 1e-5f));
    // Head and left hand keep their standing pose in mouse mode.
    EXPECT_TRUE(Near(Position(poses[0].mDeviceToAbsoluteTracking), DefaultHeadPose().position,
                     1e-6f));
    EXPECT_TRUE(Near(Position(poses[1].mDeviceToAbsoluteTracking),
                     DefaultLeftHandPose().position, 1e-6f));
  }

  SimPose held;
  held.position = {0.3f, 1.1f, 1.7f};
  session.Headset()->SetDevicePose(2, ToMatrix34(held));
  TrackedDevicePose_t poses[k_unMaxTrackedDeviceCount];
  session.NextFrame(poses);
  EXPECT_TRUE(Near(Position(poses[2].mDeviceToAbsoluteTracking), held.position, 1e-6f));
}

}  // namespace
}  // namespace vr::sim::testing

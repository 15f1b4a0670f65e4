// The pure pieces of the OpenXR host: fields of view to projections, poses to matrices, the
// D-pad read from a pad, and the swapchain format.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include <glad/gl.h>

#include "sim_headset/quaternion_pose.h"
#include "sim_headset/sim_pose.h"
#include "vr/openxr/openxr_controller_input.h"
#include "vr/openxr/openxr_eye_swapchains.h"
#include "vr/openxr/openxr_views.h"

namespace vr::openxr {
namespace {

// Where the projection puts a point of the eye's space, in normalised device coordinates.
void Project(const HmdMatrix44_t& m, float x, float y, float z, float* ndcX, float* ndcY,
             float* ndcZ) {
  const float p[4] = {x, y, z, 1.0f};
  float clip[4] = {};
  for (int row = 0; row < 4; ++row) {
    for (int k = 0; k < 4; ++k) clip[row] += m.m[row][k] * p[k];
  }
  *ndcX = clip[0] / clip[3];
  *ndcY = clip[1] / clip[3];
  *ndcZ = clip[2] / clip[3];
}

TEST(OpenXRViews, AsymmetricFieldOfViewMapsItsEdgesToTheClipEdges) {
  const XrFovf fov{-0.9f, 0.7f, 0.8f, -0.95f};  // left, right, up, down
  const HmdMatrix44_t m = ProjectionFromFov(fov, 0.1f, 100.0f);
  struct Case {
    float x, y, z;  // a point in the eye's space
    float ndcX, ndcY, ndcZ;
  };
  const float d = 2.0f;  // distance in front of the eye
  const Case cases[] = {
      {d * std::tan(-0.9f), 0.0f, -d, -1.0f, NAN, NAN},   // on the left edge
      {d * std::tan(0.7f), 0.0f, -d, 1.0f, NAN, NAN},     // right edge
      {0.0f, d * std::tan(0.8f), -d, NAN, 1.0f, NAN},     // top edge
      {0.0f, d * std::tan(-0.95f), -d, NAN, -1.0f, NAN},  // bottom edge
      {0.0f, 0.0f, -0.1f, NAN, NAN, -1.0f},               // near plane
      {0.0f, 0.0f, -100.0f, NAN, NAN, 1.0f},              // far plane
  };
  for (const Case& c : cases) {
    float x, y, z;
    Project(m, c.x, c.y, c.z, &x, &y, &z);
    if (!std::isnan(c.ndcX)) {
      EXPECT_NEAR(x, c.ndcX, 1e-5f);
    }
    if (!std::isnan(c.ndcY)) {
      EXPECT_NEAR(y, c.ndcY, 1e-5f);
    }
    if (!std::isnan(c.ndcZ)) {
      EXPECT_NEAR(z, c.ndcZ, 1e-4f);
    }
  }
}

TEST(OpenXRViews, UnusableFieldsOfViewAndClipRangesFallBack) {
  const HmdMatrix44_t fallback =
      ProjectionFromFov({-0.8726646f, 0.8726646f, 0.8726646f, -0.8726646f}, 0.05f, 100.0f);
  const XrFovf broken[] = {{0, 0, 0, 0}, {0.5f, -0.5f, 0.5f, -0.5f}, {NAN, 0.5f, 0.5f, -0.5f}};
  for (const XrFovf& fov : broken) {
    const HmdMatrix44_t m = ProjectionFromFov(fov, 0.05f, 100.0f);
    EXPECT_EQ(std::memcmp(&m, &fallback, sizeof m), 0);
  }
  const XrFovf fov{-0.5f, 0.5f, 0.5f, -0.5f};
  const HmdMatrix44_t good = ProjectionFromFov(fov, 0.05f, 100.0f);
  for (const auto& range : {std::pair{0.0f, 10.0f}, std::pair{1.0f, 1.0f}, std::pair{NAN, 1.0f}}) {
    const HmdMatrix44_t m = ProjectionFromFov(fov, range.first, range.second);
    EXPECT_EQ(std::memcmp(&m, &good, sizeof m), 0);
  }
}

TEST(OpenXRViews, PosesBecomeTheInProcessHeadsetsMatricesBitForBit) {
  // What the in-process headset hands out for a pose, and what arrives through OpenXR's
  // quaternion after composing with the identity spaces (whose zeros may carry a sign).
  const sim::SimPose poses[] = {sim::PoseFromAngles({0.1f, 1.2f, 1.5f}, 30, 0, 0),
                                sim::PoseFromAngles({-0.55f, 1.35f, 1.5f}, 0, 90, 0),
                                sim::PoseFromAngles({0.3f, 1.0f, 0.3f}, -170, 20, 45),
                                sim::SimPose{}};
  for (const sim::SimPose& pose : poses) {
    const QuaternionPose q = QuaternionPoseFromAxes(pose);
    const HmdMatrix34_t inProcess = Matrix34FromQuaternionPose(q);
    XrPosef xr;
    xr.orientation = {q.qx == 0.0f ? -0.0f : q.qx, q.qy, q.qz == 0.0f ? -0.0f : q.qz, q.qw};
    xr.position = {q.position.x, q.position.y, q.position.z};
    const HmdMatrix34_t throughXr = Matrix34FromPose(xr);
    EXPECT_EQ(std::memcmp(&inProcess, &throughXr, sizeof inProcess), 0);
    // And it is the pose: the forward axis and position survive the quaternion.
    const HmdMatrix34_t exact = sim::ToMatrix34(pose);
    for (int r = 0; r < 3; ++r) {
      for (int c = 0; c < 4; ++c) EXPECT_NEAR(throughXr.m[r][c], exact.m[r][c], 1e-6f);
    }
  }
  EXPECT_TRUE(UsablePose({{0, 0, 0, 1}, {0, 1, 0}}));
  EXPECT_FALSE(UsablePose({{0, 0, 0, 0}, {0, 1, 0}}));
  EXPECT_FALSE(UsablePose({{0, 0, 0, 1}, {NAN, 1, 0}}));
  EXPECT_FALSE(UsablePose({{0, 0, 0.5f, 1}, {0, 1, 0}}));
}

TEST(OpenXRControllerInput, DPadFromThePad) {
  const uint64_t left = ButtonMaskFromId(k_EButton_DPad_Left);
  const uint64_t right = ButtonMaskFromId(k_EButton_DPad_Right);
  const uint64_t up = ButtonMaskFromId(k_EButton_DPad_Up);
  const uint64_t down = ButtonMaskFromId(k_EButton_DPad_Down);
  struct Case {
    float x, y;
    bool clicked, thumbstick;
    uint64_t buttons;
  };
  const Case cases[] = {
      {0.7f, 0.0f, true, false, right},   // the simulated headset's D-pad press
      {-0.7f, 0.0f, true, false, left},   {0.0f, 0.7f, true, false, up},
      {0.1f, -0.9f, true, false, down},   {0.0f, 0.0f, true, false, 0},  // a click in the middle
      {0.3f, 0.2f, true, false, 0},       {0.9f, 0.0f, false, false, 0},  // touched, not clicked
      {0.9f, 0.0f, false, true, right},   // a thumbstick pushed over
      {0.0f, -0.75f, false, true, down},  {0.6f, 0.0f, false, true, 0},
      {NAN, 0.0f, true, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x << ", " << c.y << (c.clicked ? " clicked" : "")
                                    << (c.thumbstick ? " thumbstick" : ""));
    EXPECT_EQ(DPadButtons(c.x, c.y, c.clicked, c.thumbstick), c.buttons);
  }
}

TEST(OpenXREyeSwapchains, PrefersSrgbAndRefusesWhatItCannotFill) {
  bool mismatch = true;
  EXPECT_EQ(ChooseSwapchainFormat({GL_RGBA16F, GL_RGBA8, GL_SRGB8_ALPHA8}, &mismatch),
            GL_SRGB8_ALPHA8);
  EXPECT_FALSE(mismatch);
  EXPECT_EQ(ChooseSwapchainFormat({GL_RGBA16F, GL_RGBA8}, &mismatch), GL_RGBA8);
  EXPECT_TRUE(mismatch);
  EXPECT_EQ(ChooseSwapchainFormat({GL_RGBA16F, GL_RGB10_A2}, &mismatch), 0);
  EXPECT_EQ(ChooseSwapchainFormat({}, &mismatch), 0);
}

}  // namespace
}  // namespace vr::openxr

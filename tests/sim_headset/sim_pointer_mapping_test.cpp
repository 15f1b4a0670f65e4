// Mouse mode's mapping from the companion window to the right hand, without SDL.
#include <gtest/gtest.h>

#include <cmath>

#include "sim_headset/sim_devices.h"
#include "sim_headset/sim_pointer_mapping.h"
#include "sim_headset/sim_pose.h"
#include "tests/vr/runtime_test_util.h"

namespace vr::sim::testing {
namespace {

constexpr float kAspect = 864.0f / 960.0f;

class PointerMapping : public ::testing::Test {
 protected:
  PointerMapping() {
    for (EVREye eye : {Eye_Left, Eye_Right}) {
      eyes_[eye].projection = PerspectiveMatrix(100.0f, kAspect, 0.1f, 100.0f);
      eyes_[eye].eyeToHead = IdentityMatrix34();
      eyes_[eye].eyeToHead.m[0][3] = eye == Eye_Left ? -0.032f : 0.032f;
    }
  }

  Vec3 EyePosition(EVREye eye) const {
    return TransformPoint(head_, {eye == Eye_Left ? -0.032f : 0.032f, 0, 0});
  }

  // Where a world point shows in the window (inverse of the mapping under test).
  DesktopPointer PointerAt(Vec3 world, EVREye eye, int width, int height) const {
    const Vec4 clip = ProjectToClip(world, head_, eyes_[eye].eyeToHead, eyes_[eye].projection);
    const bool sideBySide = width > 1.5f * height;
    const float eyeWidth = sideBySide ? 0.5f * width : float(width);
    DesktopPointer pointer;
    pointer.windowWidth = width;
    pointer.windowHeight = height;
    pointer.x = (eye == Eye_Right ? eyeWidth : 0.0f) + (clip.x / clip.w + 1.0f) * 0.5f * eyeWidth;
    pointer.y = (1.0f - clip.y / clip.w) * 0.5f * float(height);
    return pointer;
  }

  HmdMatrix34_t head_ = ToMatrix34(DefaultHeadPose());
  HmdMatrix34_t leftHand_ = ToMatrix34(DefaultLeftHandPose());
  EyeOptics eyes_[2];
};

TEST_F(PointerMapping, WindowCentresLookStraightAheadFromTheirEye) {
  struct Case {
    int width, height;
    float x, y;
    EVREye eye;
  };
  const Case cases[] = {
      {2000, 1000, 500, 500, Eye_Left},    // side by side: centre of the left half
      {2000, 1000, 1500, 500, Eye_Right},  // ... and of the right half
      {1000, 1000, 500, 500, Eye_Left},    // one eye over the whole window
      {1400, 1000, 700, 500, Eye_Left},    // not wider than 1.5 x height
  };
  const Vec3 forward = Forward(head_);
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.width << "x" << c.height << " at " << c.x);
    const DesktopPointer pointer{c.x, c.y, c.width, c.height};
    PointerRay ray;
    ASSERT_TRUE(PointerRayFromWindow(pointer, head_, eyes_, &ray));
    EXPECT_EQ(ray.eye, c.eye);
    EXPECT_TRUE(Near(ray.origin, EyePosition(c.eye), 1e-6f));
    EXPECT_TRUE(Near(ray.direction, forward, 1e-6f));

    HandPlacement hand;
    ASSERT_TRUE(RightHandFromPointer(pointer, head_, eyes_, kDefaultReach, leftHand_, &hand));
    EXPECT_FALSE(hand.atPanel);
    EXPECT_TRUE(Near(Position(hand.pose), EyePosition(c.eye) + forward * kDefaultReach, 1e-5f));
    EXPECT_TRUE(Near(Forward(hand.pose), forward, 1e-6f));
    EXPECT_NEAR(Column(hand.pose, 0).y, 0.0f, 1e-6f);  // x stays level
    EXPECT_GT(Column(hand.pose, 1).y, 0.9f);           // y up
  }
}

TEST_F(PointerMapping, WindowEdgesAreTheEdgesOfTheFieldOfView) {
  const float tanHalf = std::tan(50.0f * 3.14159265f / 180.0f);
  struct Case {
    float x, y;
    EVREye eye;
    Vec3 view;  // expected direction in head space (before normalising)
  };
  // Side by side 2000 x 1000: the left eye spans x 0..1000, the right eye 1000..2000.
  const Case cases[] = {
      {0, 500, Eye_Left, {-tanHalf, 0, -1}},
      {1000, 500, Eye_Right, {-tanHalf, 0, -1}},  // the right half starts with its left edge
      {2000, 500, Eye_Right, {tanHalf, 0, -1}},
      {500, 0, Eye_Left, {0, tanHalf / kAspect, -1}},  // the top row looks up
      {500, 1000, Eye_Left, {0, -tanHalf / kAspect, -1}},
      {-50, -50, Eye_Left, {-tanHalf, tanHalf / kAspect, -1}},  // outside: clamped to the corner
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.x << ", " << c.y);
    PointerRay ray;
    ASSERT_TRUE(PointerRayFromWindow({c.x, c.y, 2000, 1000}, head_, eyes_, &ray));
    EXPECT_EQ(ray.eye, c.eye);
    EXPECT_TRUE(Near(ray.direction, Normalized(TransformDirection(head_, c.view)), 1e-5f));
  }
}

TEST_F(PointerMapping, ReachIsClampedAndEmptyWindowsAreRefused) {
  const DesktopPointer centre{500, 500, 1000, 1000};
  const Vec3 eye = EyePosition(Eye_Left);
  for (auto [reach, expected] : {std::pair{10.0f, kMaxReach}, std::pair{0.0f, kMinReach},
                                 std::pair{-1.0f, kMinReach}, std::pair{1.0f, 1.0f}}) {
    HandPlacement hand;
    ASSERT_TRUE(RightHandFromPointer(centre, head_, eyes_, reach, leftHand_, &hand));
    EXPECT_NEAR(Length(Position(hand.pose) - eye), expected, 1e-5f) << reach;
  }
  HandPlacement hand;
  PointerRay ray;
  EXPECT_FALSE(RightHandFromPointer({1, 1, 0, 100}, head_, eyes_, 1.0f, leftHand_, &hand));
  EXPECT_FALSE(PointerRayFromWindow({1, 1, 100, 0}, head_, eyes_, &ray));
  EXPECT_FALSE(PointerRayFromWindow({NAN, 1, 100, 100}, head_, eyes_, &ray));
}

TEST_F(PointerMapping, TheHandStopsInFrontOfThePanel) {
  const Vec3 panelNormal = Column(leftHand_, 1);
  const Vec3 panelCentre = Position(leftHand_) + panelNormal * kPanelOffset;
  struct Case {
    const char* name;
    Vec3 target;  // where the mouse points
    float reach;
    bool atPanel;
  };
  const Case cases[] = {
      {"panel centre", panelCentre, kDefaultReach, true},
      {"panel corner", panelCentre + Vec3{0.17f, -0.29f, 0}, kDefaultReach, true},
      {"beside the panel", panelCentre + Vec3{0.5f, 0, 0}, kDefaultReach, false},
      {"reach short of the panel", panelCentre, 0.3f, false},
      {"sculpture", {0, 1, 0}, kDefaultReach, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (auto [width, eye] : {std::pair{2000, Eye_Left}, std::pair{1000, Eye_Left}}) {
      const DesktopPointer pointer = PointerAt(c.target, eye, width, 1000);
      HandPlacement hand;
      ASSERT_TRUE(RightHandFromPointer(pointer, head_, eyes_, c.reach, leftHand_, &hand));
      EXPECT_EQ(hand.atPanel, c.atPanel);
      const Vec3 origin = EyePosition(eye);
      const Vec3 along = Normalized(c.target - origin);
      EXPECT_TRUE(Near(Forward(hand.pose), along, 1e-4f));
      if (c.atPanel) {
        // 10 cm in front of the panel, so the hand's pointer ray meets it at the target.
        EXPECT_TRUE(Near(Position(hand.pose), c.target - along * kPanelStandOff, 1e-4f));
        EXPECT_GT(Dot(Position(hand.pose) - panelCentre, panelNormal), 0.0f);
      } else {
        EXPECT_NEAR(Length(Position(hand.pose) - origin), c.reach, 1e-4f);
      }
    }
  }
}

}  // namespace
}  // namespace vr::sim::testing

namespace vr::sim::testing {
namespace {

TEST(SimReach, MovesAtItsSpeedBetweenThePanelAndTheFarSideOfTheVolume) {
  const HmdMatrix34_t head = ToMatrix34(DefaultHeadPose());          // (0, 1.45, 2.3)
  const HmdMatrix34_t leftHand = ToMatrix34(DefaultLeftHandPose());  // about 0.98 m away
  const float panel = 0.976f, far = 3.33f;  // the far side: (0, 1, -1)
  struct Case {
    float reach;
    int steps;
    float seconds;
    float expected;
  };
  const Case cases[] = {
      {1.9f, 1, 0.02f, 1.9f + 0.015f},  // R for a 50 Hz frame
      {1.9f, -1, 0.05f, 1.9f - 0.0375f},
      {1.9f, 1, 5.0f, 1.9f + 0.075f},   // a stalled frame moves it a tenth of a second's worth
      {1.9f, 0, 0.02f, 1.9f},
      {1.0f, -1, 0.1f, panel},          // never nearer than the panel
      {3.3f, 1, 0.1f, far},             // never beyond the far side
      {1.9f, 1, NAN, 1.9f},
  };
  for (const Case& c : cases) {
    EXPECT_NEAR(NextReach(c.reach, c.steps, c.seconds, head, leftHand), c.expected, 2e-3f)
        << c.reach << " " << c.steps << " " << c.seconds;
  }
}

}  // namespace
}  // namespace vr::sim::testing

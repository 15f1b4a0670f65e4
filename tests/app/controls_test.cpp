#include "app/controls.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(ControlsTest, StickDeadZone) {
  const float diagonal = 1.0f / std::sqrt(2.0f);
  const struct {
    float x, y;
    float expectedX, expectedY;
  } cases[] = {
      {0.3f, 0.3f, 0.0f, 0.0f},            // length 0.42: centred
      {0.0f, 0.0f, 0.0f, 0.0f},
      {-0.49f, 0.0f, 0.0f, 0.0f},
      {0.5f, 0.0f, 0.5f, 0.0f},            // the edge of the dead zone passes
      {0.6f, 0.0f, 0.6f, 0.0f},
      {0.0f, -0.75f, 0.0f, -0.75f},
      {1.0f, 0.0f, 1.0f, 0.0f},
      {1.0f, 1.0f, diagonal, diagonal},    // length 1.41: back onto the unit circle
      {-1.0f, 1.0f, -diagonal, diagonal},
      {-1.00003f, 0.0f, -1.0f, 0.0f},      // -32768 / 32767
      {NAN, 0.0f, 0.0f, 0.0f},
  };
  for (const auto& c : cases) {
    const StickPosition result = ApplyStickDeadZone(c.x, c.y);
    EXPECT_NEAR(result.x, c.expectedX, 1e-6f) << "stick (" << c.x << ", " << c.y << ")";
    EXPECT_NEAR(result.y, c.expectedY, 1e-6f) << "stick (" << c.x << ", " << c.y << ")";
  }
}

TEST(ControlsTest, TriggerThreshold) {
  const struct {
    float value;
    float expected;
  } cases[] = {
      {0.0f, 0.0f},
      {38.0f / 255.0f, 0.0f},  // 0.149: still resting
      {0.15f, 0.0f},
      {0.575f, 0.5f},
      {1.0f, 1.0f},
      {-0.5f, 0.0f},
      {NAN, 0.0f},
  };
  for (const auto& c : cases) {
    EXPECT_NEAR(ApplyTriggerThreshold(c.value), c.expected, 1e-6f) << "trigger " << c.value;
  }
}

TEST(ControlsTest, StickDirectionBits) {
  const struct {
    StickPosition left, right;
    uint32_t expected;
  } cases[] = {
      {{0.0f, 0.0f}, {0.0f, 0.0f}, 0},
      {{0.8f, -0.8f}, {-0.8f, 0.8f}, 0},  // the threshold itself is not beyond it
      {{-0.9f, 0.0f}, {}, Controls::kPadLeftStickLeft},
      {{0.9f, 0.0f}, {}, Controls::kPadLeftStickRight},
      {{0.0f, -0.9f}, {}, Controls::kPadLeftStickDown},
      {{0.0f, 0.9f}, {}, Controls::kPadLeftStickUp},
      {{}, {-0.9f, 0.0f}, Controls::kPadRightStickLeft},
      {{}, {0.9f, 0.0f}, Controls::kPadRightStickRight},
      {{}, {0.0f, -0.9f}, Controls::kPadRightStickDown},
      {{}, {0.0f, 0.9f}, Controls::kPadRightStickUp},
      {{0.85f, 0.85f}, {-0.85f, -0.85f},
       Controls::kPadLeftStickRight | Controls::kPadLeftStickUp | Controls::kPadRightStickLeft |
           Controls::kPadRightStickDown},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PadStickBits(c.left, c.right), c.expected)
        << "left (" << c.left.x << ", " << c.left.y << ") right (" << c.right.x << ", "
        << c.right.y << ")";
  }
}

}  // namespace

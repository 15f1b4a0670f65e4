#include "app/controls.h"

#include <cmath>

StickPosition ApplyStickDeadZone(float x, float y) {
  const float length = std::sqrt(x * x + y * y);
  if (!(length >= 0.5f)) {  // also catches NaN
    return {};
  }
  if (length > 1.0f) {
    return {x / length, y / length};
  }
  return {x, y};
}

float ApplyTriggerThreshold(float value) {
  if (!(value >= 0.15f)) {
    return 0.0f;
  }
  return (value - 0.15f) / 0.85f;
}

uint32_t PadStickBits(StickPosition left, StickPosition right) {
  const float threshold = Controls::kPadStickButtonThreshold;
  uint32_t bits = 0;
  if (left.x < -threshold) bits |= Controls::kPadLeftStickLeft;
  if (left.x > threshold) bits |= Controls::kPadLeftStickRight;
  if (left.y < -threshold) bits |= Controls::kPadLeftStickDown;
  if (left.y > threshold) bits |= Controls::kPadLeftStickUp;
  if (right.x < -threshold) bits |= Controls::kPadRightStickLeft;
  if (right.x > threshold) bits |= Controls::kPadRightStickRight;
  if (right.y < -threshold) bits |= Controls::kPadRightStickDown;
  if (right.y > threshold) bits |= Controls::kPadRightStickUp;
  return bits;
}

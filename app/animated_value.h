#pragma once
#include <cstdint>

// A float that eases from one value to another; the change lasts 1/rate seconds from startTime.
struct AnimatedValue {
  float from = 1.0f;
  float to = 1.0f;
  double startTime = 0.0;
  double rate = 1.0;
  int32_t easing = 0;  // 0 linear, 1 smoothstep, 2 smootherstep

  float ValueAt(double time) const {
    double a = (time - startTime) * rate;
    if (a < 0.0) return from;
    if (a > 1.0) return to;
    switch (easing) {
      case 0: break;
      case 1: a = (3.0 - 2.0 * a) * a * a; break;
      case 2: a = ((6.0 * a - 15.0) * a + 10.0) * a * a * a; break;
      default: a = 0.0; break;
    }
    return from + (to - from) * static_cast<float>(a);
  }
};

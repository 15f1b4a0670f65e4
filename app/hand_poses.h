#pragma once
// The hands as a frame's input left them: the left hand carries the panel, the right hand is the
// brush, and the pointer points at the panel (the right hand in a headset, the mouse's ray on the
// desktop). Poses are in world space; an invalid one is not tracked this frame.
#include "base/math_types.h"

struct HandPoses {
  Matrix4x4 left;
  bool leftValid = false;
  Matrix4x4 right;
  bool rightValid = false;
  float rightTrigger = 0.0f;
  Matrix4x4 pointer;
  bool pointerValid = false;
  float pointerTrigger = 0.0f;
};

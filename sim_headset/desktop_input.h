#pragma once
// What the mouse and keyboard ask of the simulated controllers in one frame; the in-process
// headset reads it from SDL, the OpenXR runtime's companion window from X11.
#include <cstdint>

#include "sim_headset/sim_pointer_mapping.h"

namespace vr::sim {

struct DesktopInput {
  bool hasPointer = false;  // false without a current window
  DesktopPointer pointer;
  float rightTrigger = 0.0f;
  uint64_t rightButtons = 0;  // ButtonMaskFromId bits
  uint64_t leftButtons = 0;
  int reachSteps = 0;  // +1, -1 or 0
};

}  // namespace vr::sim

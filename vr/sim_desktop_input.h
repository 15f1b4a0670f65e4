#pragma once
// Mouse and keyboard read straight from SDL, once per frame on the rendering thread. The
// companion window is the SDL window whose OpenGL context is current.
//
//   mouse                 right hand position and direction (sim_pointer_mapping.h)
//   left mouse button     right trigger
//   arrow keys            right D-pad
//   Space                 right menu button
//   M or Tab              left menu button (the application toggles its panel with it)
//   R / F                 brush reach out / in (sim_pointer_mapping.h: NextReach)
#include <cstdint>

#include "vr/sim_pointer_mapping.h"

namespace vr::sim {

struct DesktopInput {
  bool hasPointer = false;  // false without a current window
  DesktopPointer pointer;
  float rightTrigger = 0.0f;
  uint64_t rightButtons = 0;  // ButtonMaskFromId bits
  uint64_t leftButtons = 0;
  int reachSteps = 0;  // +1, -1 or 0
};

DesktopInput ReadDesktopInput();

}  // namespace vr::sim

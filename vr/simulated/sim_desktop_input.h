#pragma once
// Mouse and keyboard read straight from SDL, once per frame on the rendering thread. The
// companion window is the SDL window whose OpenGL context is current.
//
//   mouse                 right hand position and direction (sim_headset/sim_pointer_mapping.h)
//   left mouse button     right trigger
//   arrow keys            right D-pad
//   Space                 right menu button
//   M or Tab              left menu button (the application toggles its panel with it)
//   R / F                 brush reach out / in (sim_headset/sim_pointer_mapping.h: NextReach)
#include "sim_headset/desktop_input.h"

namespace vr::sim {

DesktopInput ReadDesktopInput();

}  // namespace vr::sim

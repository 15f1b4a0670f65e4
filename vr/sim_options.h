#pragma once
// Where the simulated headset's options come from at start: a test's override, else the
// environment.
#include <string_view>

#include "vr/simulated_headset.h"

namespace vr::sim {

SimulatedHeadsetOptions OptionsForStart();

// "WxH" with both sides in 16..16384; false (out untouched) for anything else.
bool ParseEyeSize(std::string_view text, uint32_t* width, uint32_t* height);

}  // namespace vr::sim

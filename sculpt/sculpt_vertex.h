#pragma once
#include <cstdint>

// The 32-byte vertex of the sculpture's block buffers.
struct SculptVertex {
  float position[3];  // grid coordinates in samples
  float normal[3];    // interpolated density gradient, pointing out of the material, not normalised
  uint8_t colour[4];  // red, green, blue, 0
  uint8_t material[4];  // metalness, roughness, 0, 0
};
static_assert(sizeof(SculptVertex) == 32);

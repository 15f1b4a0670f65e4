#pragma once
#include "base/math_types.h"

class VoxelGrid;

// Writes one channel inside a sphere (centre in grid samples, radius in samples) and reports the
// scanned box to the block index.
void StampSphere(VoxelGrid& grid, Vec3 centre, float radius, int channel, int mode, float value);

#pragma once
// Where a ray from the desktop camera meets the sculpture: the first grid sample along it that
// is solid, walked in half-sample steps through the grid's box.
#include "base/math_types.h"

class VoxelGrid;

// origin and direction in grid samples (direction need not be unit); true with the point (in
// grid samples, just inside the surface) when the ray meets a solid sample.
bool FirstSolidAlongRay(const VoxelGrid& grid, Vec3 origin, Vec3 direction, Vec3* hit);

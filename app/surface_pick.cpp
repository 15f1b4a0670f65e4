#include "app/surface_pick.h"

#include <algorithm>
#include <cmath>

#include "sculpt/voxel_grid.h"

bool FirstSolidAlongRay(const VoxelGrid& grid, Vec3 origin, Vec3 direction, Vec3* hit) {
  const float length = Length(direction);
  if (!(length > 0.0f) || !std::isfinite(length)) return false;
  const Vec3 d = direction * (1.0f / length);
  // The part of the ray inside the grid's box (slab test).
  const float size = float(grid.size - 1);
  float enter = 0.0f, leave = INFINITY;
  const float o[3] = {origin.x, origin.y, origin.z};
  const float v[3] = {d.x, d.y, d.z};
  for (int axis = 0; axis < 3; ++axis) {
    if (std::fabs(v[axis]) < 1e-12f) {
      if (o[axis] < 0.0f || o[axis] > size) return false;
      continue;
    }
    float t0 = (0.0f - o[axis]) / v[axis];
    float t1 = (size - o[axis]) / v[axis];
    if (t0 > t1) std::swap(t0, t1);
    enter = std::max(enter, t0);
    leave = std::min(leave, t1);
  }
  if (!(enter <= leave)) return false;
  constexpr float kStep = 0.5f;
  for (float t = enter; t <= leave; t += kStep) {
    const Vec3 p = origin + d * t;
    if (grid.SampleAt(p, 0) > 0) {
      *hit = p;
      return true;
    }
  }
  return false;
}

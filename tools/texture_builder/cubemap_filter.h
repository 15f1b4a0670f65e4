#pragma once
// Cube maps of radiance rendered from a function of direction, and their mip chains pre-filtered
// for glossy reflections: level 0 is the sharp image, level k the image convolved with the GGX
// lobe of roughness k / (levels - 1), so a shader picks the level as roughness x (levels - 1).
//
// Faces follow the OpenGL cube-map convention: order +X, -X, +Y, -Y, +Z, -Z; in a face image s
// runs along rows and t down them, with the direction for (s, t) in [0, 1]^2 as OpenGL maps it.
// World up is +Y, so the sky's zenith is the centre of face 2.
#include <cstdint>
#include <functional>
#include <vector>

#include "base/math_types.h"
#include "gfx/ktx.h"

using RadianceFunction = std::function<Vec3(Vec3 unitDirection)>;

struct CubeLevel {
  int size = 0;
  std::vector<Vec3> texels;  // 6 faces one after another, each size x size, rows in order of t
  Vec3& At(int face, int x, int y) { return texels[(static_cast<size_t>(face) * size + y) * size + x]; }
  const Vec3& At(int face, int x, int y) const {
    return texels[(static_cast<size_t>(face) * size + y) * size + x];
  }
};

// The unit direction through (s, t) of a face.
Vec3 CubeFaceDirection(int face, float s, float t);

// Each texel is the average of supersample x supersample evaluations spread over it.
CubeLevel RenderCube(const RadianceFunction& radiance, int size, int supersample);

// The full chain down to 1 x 1, level 0 being base itself; sampleCount GGX samples per texel.
std::vector<CubeLevel> PrefilterGGX(const CubeLevel& base, int sampleCount);

// RGB16F cube map with all levels.
Ktx::Image ToKtxImage(const std::vector<CubeLevel>& levels);

// Bilinear lookup within a level (clamped at face edges).
Vec3 SampleCube(const CubeLevel& level, Vec3 direction);

#pragma once
// Where the grid stands in the room: 96 samples a metre, x and z from -1 to 1 m, y from 0 to 2 m
// (on the floor, in the middle).
#include "base/math_types.h"

inline constexpr float kSamplesPerMetre = 96.0f;

inline Matrix4x4 GridToWorld() {
  return Matrix4x4::Scale({1.0f / kSamplesPerMetre, 1.0f / kSamplesPerMetre,
                           1.0f / kSamplesPerMetre}) *
         Matrix4x4::Translation({-1.0f, 0.0f, -1.0f});
}

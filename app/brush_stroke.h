#pragma once
// What one frame of a held trigger makes: the operation record of a brush stamp, and the colour
// conversion of the dropper.
#include <array>
#include <string_view>

#include "base/math_types.h"
#include "sculpt/sculpt_op.h"

// The record of one stamp: shape from shapeName, mode and channels by tool, the brush matrix
// (unit shape to grid space), radius in samples and the material (r, g, b, roughness,
// metalness). Bytes the record does not describe are zero.
SculptOp BrushRecord(std::string_view toolName, std::string_view shapeName,
                     const Matrix4x4& brushMatrix, float radius,
                     const std::array<float, 5>& material);

// Hue (in turns), saturation and value of a colour with channels 0..1.
std::array<float, 3> RgbToHsv(float r, float g, float b);

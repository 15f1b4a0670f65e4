#include "app/brush_stroke.h"

#include <algorithm>
#include <cmath>
#include <utility>

SculptOp BrushRecord(std::string_view toolName, std::string_view shapeName,
                     const Matrix4x4& brushMatrix, float radius,
                     const std::array<float, 5>& material) {
  SculptOp op;
  op.type = ShapeTypeFromName(shapeName);
  op.matrix = brushMatrix;
  switch (ToolIndexFromName(toolName)) {
    case kToolSubtract:
      op.mode = 3;
      op.channelMask = 1;
      break;
    case kToolPaint:
      op.mode = 1;
      op.channelMask = 62;
      break;
    case kToolBuff:
      op.mode = 5;
      op.channelMask = 63;
      break;
    case kToolSandpaper:
      op.mode = 4;
      op.channelMask = 63;
      break;
    default:
      op.mode = 2;
      op.channelMask = 63;
      break;
  }
  op.radius = radius;
  op.red = material[0];
  op.green = material[1];
  op.blue = material[2];
  op.roughness = material[3];
  op.metalness = material[4];
  return op;
}

std::array<float, 3> RgbToHsv(float r, float g, float b) {
  constexpr float kEpsilon = 1e-10f;
  float k = 0.0f;
  if (g < b) {
    std::swap(g, b);
    k = -1.0f;
  }
  if (r < g) {
    std::swap(r, g);
    k = -1.0f / 3.0f - k;
  }
  const float chroma = r - std::min(g, b);
  const float hue = std::fabs(k + (g - b) / (6.0f * chroma + kEpsilon));
  const float saturation = chroma / (r + kEpsilon);
  return {hue, saturation, r};
}

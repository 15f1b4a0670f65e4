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
  // Stamp mode and channel mask by tool index; the dropper makes no record and never gets here.
  struct ToolRecord {
    int32_t mode;
    uint32_t channelMask;
  };
  static constexpr ToolRecord kByTool[] = {
      {2, 63},  // Add (and any unknown name)
      {3, 1},   // Subtract: the shape only
      {1, 62},  // Paint: colour and material only
      {2, 63},  // Dropper
      {5, 63},  // Buff
      {4, 63},  // Sandpaper
  };
  const ToolRecord& record = kByTool[ToolIndexFromName(toolName)];
  op.mode = record.mode;
  op.channelMask = record.channelMask;
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

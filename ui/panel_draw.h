#pragma once
// The two shapes every panel widget is made of, written as immediate SimpleVertex records in the
// panel plane (z = 0, y growing downwards). Neither binds a pipeline or a texture: the widget
// that calls them has already chosen both.
#include <cstdint>

#include "base/math_types.h"
#include "gfx/draw_context.h"

// A rectangle in panel coordinates: upper-left corner, width and height.
struct PanelRect {
  float x = 0, y = 0, w = 0, h = 0;
};

// Four vertices as a triangle strip: upper left, upper right, lower left, lower right, with
// (uMin, vMin) at the upper left and (uMax, vMax) at the lower right.
void DrawQuad(Draw::DrawContext* context, const PanelRect& rect, float uMin, float vMin,
              float uMax, float vMax, uint32_t color);

// One segment between two panel-space points, both ends sampling (u, v).
void DrawLine(Draw::DrawContext* context, Vec3 from, Vec3 to, float u, float v, uint32_t color);

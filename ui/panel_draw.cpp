#include "ui/panel_draw.h"

#include "gfx/simple_vertex.h"

namespace {

// Quads and lines carry the normal (0, 0, -1); the panel's shaders are unlit and do not read it.
SimpleVertex PanelVertex(float x, float y, float z, float u, float v, uint32_t color) {
  return {{x, y, z}, {0.0f, 0.0f, -1.0f}, {u, v}, color};
}

}  // namespace

void DrawQuad(Draw::DrawContext* context, const PanelRect& rect, float uMin, float vMin,
              float uMax, float vMax, uint32_t color) {
  auto* v = static_cast<SimpleVertex*>(context->AllocateImmediateVertices(4, sizeof(SimpleVertex)));
  if (v == nullptr) {
    return;  // frame memory is used up; the context has reported it
  }
  const float x1 = rect.x + rect.w;
  const float y1 = rect.y + rect.h;
  v[0] = PanelVertex(rect.x, rect.y, 0.0f, uMin, vMin, color);
  v[1] = PanelVertex(x1, rect.y, 0.0f, uMax, vMin, color);
  v[2] = PanelVertex(rect.x, y1, 0.0f, uMin, vMax, color);
  v[3] = PanelVertex(x1, y1, 0.0f, uMax, vMax, color);
  context->DrawImmediate(Draw::Primitive::TRIANGLE_STRIP);
}

void DrawLine(Draw::DrawContext* context, Vec3 from, Vec3 to, float u, float v, uint32_t color) {
  auto* line =
      static_cast<SimpleVertex*>(context->AllocateImmediateVertices(2, sizeof(SimpleVertex)));
  if (line == nullptr) {
    return;
  }
  line[0] = PanelVertex(from.x, from.y, from.z, u, v, color);
  line[1] = PanelVertex(to.x, to.y, to.z, u, v, color);
  context->DrawImmediate(Draw::Primitive::LINE_LIST);
}

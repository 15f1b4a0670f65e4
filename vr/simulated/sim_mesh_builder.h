#pragma once
// Triangle meshes made of simple parametric parts, for the generated render models.
#include <cstdint>
#include <functional>
#include <vector>

#include "base/math_types.h"
#include "vr_api/openvr_api.h"

namespace vr::sim {

// A rectangle of the texture, in uv.
struct UvRect {
  float u0, v0, u1, v1;
  Vec2 At(float s, float t) const { return {u0 + (u1 - u0) * s, v0 + (v1 - v0) * t}; }
};

struct SurfacePoint {
  Vec3 position;
  Vec3 normal;  // outward; need not be unit length
};

class MeshBuilder {
 public:
  // A grid of (columns + 1) x (rows + 1) samples of surface(s, t), s and t in 0..1; uv spans the
  // rectangle. Triangles are wound counter-clockwise as seen from the side the normals point
  // to; degenerate ones (at poles) are left out.
  void AddSurface(int columns, int rows, const std::function<SurfacePoint(float, float)>& surface,
                  UvRect uv);
  // Like AddSurface, but uv comes from the function too.
  void AddSurfaceUv(int columns, int rows,
                    const std::function<SurfacePoint(float, float)>& surface,
                    const std::function<Vec2(float, float)>& uv);
  void AddEllipsoid(Vec3 centre, Vec3 radii, UvRect uv);
  // Axis-aligned box; the -z face gets its own uv rectangle.
  void AddBox(Vec3 min, Vec3 max, UvRect sides, UvRect front);
  // Ring around the axis (unit), tube radius minor.
  void AddTorus(Vec3 centre, Vec3 axis, float major, float minor, UvRect uv);
  // A tube along z from z0 (radius r0) to z1 (radius r1), open ends.
  void AddTube(Vec3 centre, float z0, float r0, float z1, float r1, UvRect uv);
  // A flat disc facing normal (unit); uv maps the disc onto the inscribed circle of the rect.
  void AddDisc(Vec3 centre, Vec3 normal, float radius, UvRect uv);

  std::vector<RenderModel_Vertex_t> vertices;
  std::vector<uint16_t> indices;

 private:
  uint32_t AddVertex(Vec3 position, Vec3 normal, Vec2 uv);
  void AddTriangle(uint32_t a, uint32_t b, uint32_t c);
};

}  // namespace vr::sim

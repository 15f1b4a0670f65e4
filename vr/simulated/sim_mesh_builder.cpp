#include "vr/simulated/sim_mesh_builder.h"

#include <cmath>
#include <numbers>
#include <utility>

#include "base/log.h"

namespace vr::sim {
namespace {

constexpr float kTwoPi = 2.0f * std::numbers::pi_v<float>;

Vec3 Unit(Vec3 v) {
  const float length = Length(v);
  return length > 0.0f ? v * (1.0f / length) : v;
}

// Two unit vectors that make a right-handed frame with the unit axis.
void Tangents(Vec3 axis, Vec3* t1, Vec3* t2) {
  const Vec3 helper = std::fabs(axis.y) < 0.9f ? Vec3{0, 1, 0} : Vec3{1, 0, 0};
  *t1 = Unit(Cross(helper, axis));
  *t2 = Cross(axis, *t1);
}

Vec3 Load(const HmdVector3_t& v) { return {v.v[0], v.v[1], v.v[2]}; }

}  // namespace

uint32_t MeshBuilder::AddVertex(Vec3 position, Vec3 normal, Vec2 uv) {
  const Vec3 n = Unit(normal);
  RenderModel_Vertex_t vertex{};
  vertex.vPosition = {{position.x, position.y, position.z}};
  vertex.vNormal = {{n.x, n.y, n.z}};
  vertex.rfTextureCoord[0] = uv.x;
  vertex.rfTextureCoord[1] = uv.y;
  vertices.push_back(vertex);
  return static_cast<uint32_t>(vertices.size() - 1);
}

void MeshBuilder::AddTriangle(uint32_t a, uint32_t b, uint32_t c) {
  if (a > 0xFFFF || b > 0xFFFF || c > 0xFFFF) {
    Log(LogLevel::Error, "Render model has more vertices than 16-bit indices reach");
    return;
  }
  const Vec3 pa = Load(vertices[a].vPosition);
  const Vec3 face = Cross(Load(vertices[b].vPosition) - pa, Load(vertices[c].vPosition) - pa);
  if (Length(face) < 1e-10f) {
    return;  // collapsed at a pole or a disc's centre
  }
  const Vec3 normals =
      Load(vertices[a].vNormal) + Load(vertices[b].vNormal) + Load(vertices[c].vNormal);
  if (Dot(face, normals) < 0.0f) {
    std::swap(b, c);
  }
  indices.push_back(static_cast<uint16_t>(a));
  indices.push_back(static_cast<uint16_t>(b));
  indices.push_back(static_cast<uint16_t>(c));
}

void MeshBuilder::AddSurfaceUv(int columns, int rows,
                               const std::function<SurfacePoint(float, float)>& surface,
                               const std::function<Vec2(float, float)>& uv) {
  const uint32_t first = static_cast<uint32_t>(vertices.size());
  for (int j = 0; j <= rows; ++j) {
    for (int i = 0; i <= columns; ++i) {
      const float s = float(i) / float(columns);
      const float t = float(j) / float(rows);
      const SurfacePoint point = surface(s, t);
      AddVertex(point.position, point.normal, uv(s, t));
    }
  }
  const uint32_t stride = uint32_t(columns) + 1;
  for (int j = 0; j < rows; ++j) {
    for (int i = 0; i < columns; ++i) {
      const uint32_t v00 = first + uint32_t(j) * stride + uint32_t(i);
      const uint32_t v10 = v00 + 1, v01 = v00 + stride, v11 = v01 + 1;
      AddTriangle(v00, v10, v11);
      AddTriangle(v00, v11, v01);
    }
  }
}

void MeshBuilder::AddSurface(int columns, int rows,
                             const std::function<SurfacePoint(float, float)>& surface,
                             UvRect uv) {
  AddSurfaceUv(columns, rows, surface, [&uv](float s, float t) { return uv.At(s, t); });
}

void MeshBuilder::AddEllipsoid(Vec3 centre, Vec3 radii, UvRect uv) {
  AddSurface(
      24, 14,
      [=](float s, float t) {
        const float phi = kTwoPi * s, theta = std::numbers::pi_v<float> * t;
        const Vec3 d{std::sin(theta) * std::cos(phi), std::cos(theta),
                     std::sin(theta) * std::sin(phi)};
        return SurfacePoint{centre + Vec3{d.x * radii.x, d.y * radii.y, d.z * radii.z},
                            {d.x / radii.x, d.y / radii.y, d.z / radii.z}};
      },
      uv);
}

void MeshBuilder::AddBox(Vec3 min, Vec3 max, UvRect sides, UvRect front) {
  struct Face {
    Vec3 origin, edgeS, edgeT, normal;
    bool front;
  };
  const Vec3 size = max - min;
  const Vec3 dx{size.x, 0, 0}, dy{0, size.y, 0}, dz{0, 0, size.z};
  // s runs left to right and t top to bottom as each face is seen from outside.
  const Face faces[6] = {
      {Vec3{min.x, max.y, min.z} + dx, dx * -1.0f, dy * -1.0f, {0, 0, -1}, true},  // -z
      {Vec3{min.x, max.y, max.z}, dx, dy * -1.0f, {0, 0, 1}, false},               // +z
      {Vec3{max.x, max.y, max.z}, dz * -1.0f, dy * -1.0f, {1, 0, 0}, false},       // +x
      {Vec3{min.x, max.y, min.z}, dz, dy * -1.0f, {-1, 0, 0}, false},              // -x
      {Vec3{min.x, max.y, min.z}, dx, dz, {0, 1, 0}, false},                       // +y
      {Vec3{min.x, min.y, max.z}, dx, dz * -1.0f, {0, -1, 0}, false},              // -y
  };
  for (const Face& face : faces) {
    const UvRect& rect = face.front ? front : sides;
    AddSurface(
        1, 1, [&face](float s, float t) {
          return SurfacePoint{face.origin + face.edgeS * s + face.edgeT * t, face.normal};
        },
        rect);
  }
}

void MeshBuilder::AddTorus(Vec3 centre, Vec3 axis, float major, float minor, UvRect uv) {
  Vec3 t1, t2;
  const Vec3 a = Unit(axis);
  Tangents(a, &t1, &t2);
  AddSurface(
      32, 10,
      [=](float s, float t) {
        const float phi = kTwoPi * s, theta = kTwoPi * t;
        const Vec3 radial = t1 * std::cos(phi) + t2 * std::sin(phi);
        const Vec3 normal = radial * std::cos(theta) + a * std::sin(theta);
        return SurfacePoint{centre + radial * major + normal * minor, normal};
      },
      uv);
}

void MeshBuilder::AddTube(Vec3 centre, float z0, float r0, float z1, float r1, UvRect uv) {
  const float slope = (r1 - r0) / (z1 - z0);
  AddSurface(
      20, 3,
      [=](float s, float t) {
        const float phi = kTwoPi * s;
        const float r = r0 + (r1 - r0) * t;
        const Vec3 radial{std::cos(phi), std::sin(phi), 0.0f};
        return SurfacePoint{centre + radial * r + Vec3{0, 0, z0 + (z1 - z0) * t},
                            radial + Vec3{0, 0, -slope}};
      },
      uv);
}

void MeshBuilder::AddDisc(Vec3 centre, Vec3 normal, float radius, UvRect uv) {
  Vec3 t1, t2;
  const Vec3 n = Unit(normal);
  Tangents(n, &t1, &t2);
  AddSurfaceUv(
      24, 2,
      [=](float s, float t) {
        const float phi = kTwoPi * s;
        return SurfacePoint{centre + (t1 * std::cos(phi) + t2 * std::sin(phi)) * (radius * t), n};
      },
      [=](float s, float t) {
        const float phi = kTwoPi * s;
        return uv.At(0.5f + 0.5f * t * std::cos(phi), 0.5f + 0.5f * t * std::sin(phi));
      });
}

}  // namespace vr::sim

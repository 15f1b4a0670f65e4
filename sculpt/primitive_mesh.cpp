#include "sculpt/primitive_mesh.h"

#include <cmath>
#include <cstring>

namespace {

constexpr float kPi = 3.1415927f;
constexpr float kHalfPi = 1.5707964f;
constexpr uint32_t kOpaqueWhite = 0xFFFFFFFF;

Vec3 Normalize(Vec3 v) {
  float length = std::sqrt(Dot(v, v));
  return length > 0.0f ? v * (1.0f / length) : v;
}

void SetPosition(SimpleVertex& v, Vec3 p) {
  v.position[0] = p.x, v.position[1] = p.y, v.position[2] = p.z;
}

void SetNormal(SimpleVertex& v, Vec3 n) { v.normal[0] = n.x, v.normal[1] = n.y, v.normal[2] = n.z; }

Matrix4x4 RotationX(float a) {
  Matrix4x4 m = Matrix4x4::Identity();
  m.m[5] = m.m[10] = std::cos(a);
  m.m[6] = std::sin(a);
  m.m[9] = -std::sin(a);
  return m;
}

Matrix4x4 RotationY(float b) {
  Matrix4x4 m = Matrix4x4::Identity();
  m.m[0] = m.m[10] = std::cos(b);
  m.m[2] = -std::sin(b);
  m.m[8] = std::sin(b);
  return m;
}

Matrix4x4 RotationZ(float c) {
  Matrix4x4 m = Matrix4x4::Identity();
  m.m[0] = m.m[5] = std::cos(c);
  m.m[1] = std::sin(c);
  m.m[4] = -std::sin(c);
  return m;
}

}  // namespace

void GenerateGridIndices(uint32_t* out, uint32_t base, int columns, int rows) {
  const uint32_t w = uint32_t(columns) + 1;
  for (int i = 0; i < rows; ++i)
    for (int j = 0; j < columns; ++j) {
      const uint32_t a = base + uint32_t(i) * w + uint32_t(j), b = a + 1, c = a + w + 1, d = a + w;
      const uint32_t quad[6] = {a, b, c, a, c, d};
      std::memcpy(out, quad, sizeof(quad));
      out += 6;
    }
}

void GenerateGridVertices(SimpleVertex* out, int columns, int rows, float size, float height,
                          const Matrix4x4* transform, bool wrap) {
  // Flat faces share one normal; the transforms in use are rotations.
  const Vec3 flatNormal = transform ? TransformPoint(*transform, {0, 1, 0}) : Vec3{0, 1, 0};
  for (int i = 0; i <= rows; ++i) {
    const float v = float(i) / float(rows);
    for (int k = 0; k <= columns; ++k, ++out) {
      const float u = float(k) / float(columns);
      Vec3 position, normal;
      if (wrap) {
        const float a = u * 2.0f * kPi;
        position = {std::cos(a) * size, (v - 0.5f) * 2.0f * size, std::sin(a) * size};
        normal = Normalize(position);
      } else {
        position = {(u - 0.5f) * 2.0f * size, height, ((1.0f - v) - 0.5f) * 2.0f * size};
        normal = flatNormal;
      }
      if (transform) position = TransformPoint(*transform, position);
      SetPosition(*out, position);
      SetNormal(*out, normal);
      out->uv[0] = 1.0f - u;
      out->uv[1] = v;
      out->color = kOpaqueWhite;
    }
  }
}

void GenerateCapVertices(SimpleVertex* out, int segments, float y, bool reversed) {
  // Both caps end up with normals facing into the cylinder (-y on top, +y below); the brush
  // previews that use them are drawn translucent and unlit.
  const Vec3 normal = reversed ? Vec3{0, 1, 0} : Vec3{0, -1, 0};
  SetPosition(out[0], {0, y, 0});
  out[0].uv[0] = out[0].uv[1] = 0.5f;
  SetNormal(out[0], normal);
  for (int j = 0; j < segments; ++j) {
    const float a = (float(j) / float(segments)) * 2.0f * kPi;
    SimpleVertex& v = out[reversed ? segments - j : j + 1];
    SetPosition(v, {std::cos(a), y, std::sin(a)});
    v.uv[0] = std::cos(a) * 0.5f + 0.5f;
    v.uv[1] = std::sin(a) * 0.5f + 0.5f;
    SetNormal(v, normal);
  }
}

void GenerateCapIndices(uint32_t* out, uint32_t centre, int segments) {
  for (int i = 1; i <= segments; ++i, out += 3) {
    out[0] = centre + uint32_t(i);
    out[1] = centre + uint32_t(i % segments) + 1;
    out[2] = centre;
  }
}

void GenerateCube(std::vector<SimpleVertex>& vertices, std::vector<uint32_t>& indices, int n) {
  const size_t faceVertices = size_t(n + 1) * size_t(n + 1);
  const size_t faceIndices = size_t(n) * size_t(n) * 6;
  vertices.assign(6 * faceVertices, SimpleVertex{});
  indices.assign(6 * faceIndices, 0);
  // Faces 0-3 stand the top face up on +z, +x, -z, -x; face 4 is the top, face 5 the bottom.
  Matrix4x4 transforms[6];
  for (int k = 0; k < 4; ++k) transforms[k] = RotationX(kHalfPi) * RotationY(float(k) * kHalfPi);
  transforms[5] = RotationZ(kPi);
  for (int f = 0; f < 6; ++f) {
    GenerateGridIndices(indices.data() + f * faceIndices, uint32_t(f * faceVertices), n, n);
    GenerateGridVertices(vertices.data() + f * faceVertices, n, n, 1.0f, 1.0f,
                         f == 4 ? nullptr : &transforms[f], false);
  }
}

void GenerateSphere(std::vector<SimpleVertex>& vertices, std::vector<uint32_t>& indices, int n) {
  GenerateCube(vertices, indices, n);
  for (SimpleVertex& v : vertices) {
    Vec3 p = Normalize({v.position[0], v.position[1], v.position[2]});
    SetPosition(v, p);
    SetNormal(v, Normalize(p));
  }
}

void GenerateCylinder(std::vector<SimpleVertex>& vertices, std::vector<uint32_t>& indices,
                      int around, int along, bool caps) {
  const size_t side = size_t(around + 1) * size_t(along + 1);
  const size_t sideIndices = size_t(around) * size_t(along) * 6;
  vertices.assign(side + (caps ? 2 * size_t(around) + 2 : 0), SimpleVertex{});
  indices.assign(sideIndices + (caps ? 2 * 3 * size_t(around) : 0), 0);
  GenerateGridIndices(indices.data(), 0, around, along);
  GenerateGridVertices(vertices.data(), around, along, 1.0f, 0.25f, nullptr, true);
  for (size_t i = 0; i < side; ++i) vertices[i].uv[0] *= 3.0f;  // the texture repeats 3 times
  if (caps) {
    GenerateCapVertices(vertices.data() + side, around, 1.0f, false);
    GenerateCapVertices(vertices.data() + side + around + 1, around, -1.0f, true);
    GenerateCapIndices(indices.data() + sideIndices, uint32_t(side), around);
    GenerateCapIndices(indices.data() + sideIndices + 3 * size_t(around),
                       uint32_t(side + around + 1), around);
  }
}

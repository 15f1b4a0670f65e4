#include "base/math_types.h"

#include <cmath>
#include <cstdio>

float Length(Vec3 v) { return std::sqrt(Dot(v, v)); }

Matrix4x4 Matrix4x4::Identity() {
  Matrix4x4 r;
  r.m[0] = r.m[5] = r.m[10] = r.m[15] = 1.0f;
  return r;
}

Matrix4x4 Matrix4x4::Translation(Vec3 t) {
  Matrix4x4 r = Identity();
  r.m[12] = t.x;
  r.m[13] = t.y;
  r.m[14] = t.z;
  return r;
}

Matrix4x4 Matrix4x4::Scale(Vec3 s) {
  Matrix4x4 r;
  r.m[0] = s.x;
  r.m[5] = s.y;
  r.m[10] = s.z;
  r.m[15] = 1.0f;
  return r;
}

void Bounds3::Reset() {
  min = {INFINITY, INFINITY, INFINITY};
  max = {-INFINITY, -INFINITY, -INFINITY};
}

void Bounds3::Extend(Vec3 p) {
  min.x = std::fmin(min.x, p.x);
  min.y = std::fmin(min.y, p.y);
  min.z = std::fmin(min.z, p.z);
  max.x = std::fmax(max.x, p.x);
  max.y = std::fmax(max.y, p.y);
  max.z = std::fmax(max.z, p.z);
}

Vec3 TransformPoint(const Matrix4x4& M, Vec3 p) {
  const float* m = M.m;
  return {p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12],
          p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13],
          p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14]};
}

Vec3 TransformVector(const Matrix4x4& M, Vec3 v) {
  const float* m = M.m;
  return {v.x * m[0] + v.y * m[4] + v.z * m[8], v.x * m[1] + v.y * m[5] + v.z * m[9],
          v.x * m[2] + v.y * m[6] + v.z * m[10]};
}

Vec4 TransformVec4(const Matrix4x4& M, Vec3 p) {
  const float* m = M.m;
  return {p.x * m[0] + p.y * m[4] + p.z * m[8] + m[12], p.x * m[1] + p.y * m[5] + p.z * m[9] + m[13],
          p.x * m[2] + p.y * m[6] + p.z * m[10] + m[14],
          p.x * m[3] + p.y * m[7] + p.z * m[11] + m[15]};
}

void MultiplyMatrices(const Matrix4x4& A, const Matrix4x4& B, Matrix4x4& out) {
  for (int r = 0; r < 4; ++r) {
    for (int c = 0; c < 4; ++c) {
      out.m[4 * r + c] = A.m[4 * r + 0] * B.m[c] + A.m[4 * r + 1] * B.m[4 + c] +
                         A.m[4 * r + 2] * B.m[8 + c] + A.m[4 * r + 3] * B.m[12 + c];
    }
  }
}

Matrix4x4 operator*(const Matrix4x4& A, const Matrix4x4& B) {
  Matrix4x4 out;
  MultiplyMatrices(A, B, out);
  return out;
}

bool InvertMatrix(const Matrix4x4& M, Matrix4x4& out) {
  double a[16];
  for (int i = 0; i < 16; ++i) a[i] = M.m[i];
  double inv[16];
  inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] +
           a[9] * a[7] * a[14] + a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
  inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] -
           a[8] * a[7] * a[14] - a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
  inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] +
           a[8] * a[7] * a[13] + a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
  inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] -
            a[8] * a[6] * a[13] - a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
  inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] -
           a[9] * a[3] * a[14] - a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
  inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] +
           a[8] * a[3] * a[14] + a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
  inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] -
           a[8] * a[3] * a[13] - a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
  inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] +
            a[8] * a[2] * a[13] + a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
  inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] +
           a[5] * a[3] * a[14] + a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
  inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] -
           a[4] * a[3] * a[14] - a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
  inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] +
            a[4] * a[3] * a[13] + a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
  inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] -
            a[4] * a[2] * a[13] - a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
  inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] -
           a[5] * a[3] * a[10] - a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
  inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] +
           a[4] * a[3] * a[10] + a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
  inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] -
            a[4] * a[3] * a[9] - a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
  inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] +
            a[4] * a[2] * a[9] + a[8] * a[1] * a[6] - a[8] * a[2] * a[5];
  double det = a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
  if (det == 0.0) return false;
  double invDet = 1.0 / det;
  for (int i = 0; i < 16; ++i) out.m[i] = static_cast<float>(inv[i] * invDet);
  return true;
}

void AppendScaleTranslate(Matrix4x4& M, Vec3 t, Vec3 s) {
  for (int r = 0; r < 4; ++r) {
    float* row = &M.m[4 * r];
    float w = row[3];
    row[0] = row[0] * s.x + w * t.x;
    row[1] = row[1] * s.y + w * t.y;
    row[2] = row[2] * s.z + w * t.z;
  }
}

void SetPerspective(Matrix4x4& out, float nearPlane, float farPlane, float fovDegrees,
                    float ratio) {
  const float pi = 3.1415927f;
  float t = std::tan(fovDegrees * pi / 360.0f);
  out = Matrix4x4{};
  out.m[0] = 1.0f / t;
  out.m[5] = 1.0f / (t * ratio);
  out.m[10] = -(nearPlane + farPlane) / (farPlane - nearPlane);
  out.m[11] = -1.0f;
  out.m[14] = -(2.0f * farPlane * nearPlane) / (farPlane - nearPlane);
}

void SetOrtho(Matrix4x4& out, float left, float right, float bottom, float top, float nearPlane,
              float farPlane) {
  out = Matrix4x4{};
  out.m[0] = 2.0f / (right - left);
  out.m[5] = 2.0f / (top - bottom);
  out.m[10] = 2.0f / (farPlane - nearPlane);
  out.m[12] = -(left + right) / (right - left);
  out.m[13] = -(bottom + top) / (top - bottom);
  out.m[14] = -(nearPlane + farPlane) / (farPlane - nearPlane);
  out.m[15] = 1.0f;
}

void SetLookAt(Matrix4x4& out, Vec3 eye, Vec3 target, Vec3 up) {
  Vec3 f = target - eye;
  float fl = Length(f);
  if (!(fl > 0.0f) || std::isinf(fl)) return;  // no view direction: leave out as it was
  f = f * (1.0f / fl);
  const Vec3 candidates[3] = {up, {0, 1, 0}, {0, 0, 1}};
  Vec3 u;
  bool found = false;
  for (const Vec3& c : candidates) {
    Vec3 o = c - f * Dot(c, f);
    float ol = Length(o);
    if (ol >= 0.000001f) {
      u = o * (1.0f / ol);
      found = true;
      break;
    }
  }
  if (!found) return;
  Vec3 r = Cross(u, f);
  out = Matrix4x4{};
  out.m[0] = r.x, out.m[4] = r.y, out.m[8] = r.z;
  out.m[1] = u.x, out.m[5] = u.y, out.m[9] = u.z;
  out.m[2] = f.x, out.m[6] = f.y, out.m[10] = f.z;
  out.m[12] = -Dot(eye, r);
  out.m[13] = -Dot(eye, u);
  out.m[14] = -Dot(eye, f);
  out.m[15] = 1.0f;
}

void RotationFromAngles(Matrix4x4& out, float a, float b, float c) {
  Matrix4x4 ry = Matrix4x4::Identity();
  ry.m[0] = ry.m[10] = std::cos(b);
  ry.m[2] = -std::sin(b);
  ry.m[8] = std::sin(b);
  Matrix4x4 rx = Matrix4x4::Identity();
  rx.m[5] = rx.m[10] = std::cos(a);
  rx.m[6] = std::sin(a);
  rx.m[9] = -std::sin(a);
  Matrix4x4 rz = Matrix4x4::Identity();
  rz.m[0] = rz.m[5] = std::cos(c);
  rz.m[1] = std::sin(c);
  rz.m[4] = -std::sin(c);
  Matrix4x4 ryx;
  MultiplyMatrices(ry, rx, ryx);
  MultiplyMatrices(ryx, rz, out);
}

void ExtractFrustumPlanes(const Matrix4x4& M, Vec4 planes[6]) {
  auto column = [&](int k) { return Vec4{M.m[k], M.m[4 + k], M.m[8 + k], M.m[12 + k]}; };
  Vec4 c3 = column(3);
  for (int i = 0; i < 6; ++i) {
    Vec4 c = column(i / 2);
    float sign = (i % 2 == 0) ? 1.0f : -1.0f;
    Vec4 p{c3.x + sign * c.x, c3.y + sign * c.y, c3.z + sign * c.z, c3.w + sign * c.w};
    float len = std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z);
    planes[i] = {p.x / len, p.y / len, p.z / len, p.w / len};
  }
}

uint32_t ColorToRGBA8(Vec4 c) {
  auto byte = [](float v) -> uint32_t {
    if (v >= 1.0f) return 255;
    if (v <= 0.0f || !(v == v)) return 0;
    return static_cast<uint32_t>(v * 255.0f);
  };
  return byte(c.x) | byte(c.y) << 8 | byte(c.z) << 16 | byte(c.w) << 24;
}

void MatrixToString(const Matrix4x4& M, char* buffer, size_t length) {
  if (length == 0) return;
  const float* m = M.m;
  snprintf(buffer, length, "%f %f %f %f\n%f %f %f %f\n%f %f %f %f\n%f %f %f %f\n", m[0], m[1],
           m[2], m[3], m[4], m[5], m[6], m[7], m[8], m[9], m[10], m[11], m[12], m[13], m[14], m[15]);
  buffer[length - 1] = 0;
}

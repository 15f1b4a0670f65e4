#pragma once
// Single-precision vector and matrix types. Matrices are row-major and act on row vectors
// (v' = v x M), translation in the fourth row; this is also how they are stored in files.
#include <cstddef>
#include <cstdint>

struct Vec2 {
  float x = 0, y = 0;
};

struct Vec3 {
  float x = 0, y = 0, z = 0;
};

struct Vec4 {
  float x = 0, y = 0, z = 0, w = 0;
};

inline Vec3 operator+(Vec3 a, Vec3 b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Vec3 operator-(Vec3 a, Vec3 b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Vec3 operator*(Vec3 a, float s) { return {a.x * s, a.y * s, a.z * s}; }
inline float Dot(Vec3 a, Vec3 b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Vec3 Cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Length(Vec3 v);

struct Matrix4x4 {
  float m[16] = {};  // m[4 * row + column]

  static Matrix4x4 Identity();
  static Matrix4x4 Translation(Vec3 t);
  static Matrix4x4 Scale(Vec3 s);
};

struct Bounds3 {
  Vec3 min, max;
  void Reset();
  void Extend(Vec3 p);
};

Vec3 TransformPoint(const Matrix4x4& M, Vec3 p);
Vec3 TransformVector(const Matrix4x4& M, Vec3 v);
Vec4 TransformVec4(const Matrix4x4& M, Vec3 p);
// out = A x B (apply A first, then B). out must not alias A or B.
void MultiplyMatrices(const Matrix4x4& A, const Matrix4x4& B, Matrix4x4& out);
Matrix4x4 operator*(const Matrix4x4& A, const Matrix4x4& B);
// General inverse by cofactors in double precision. Returns false and leaves out untouched for a
// singular matrix.
bool InvertMatrix(const Matrix4x4& M, Matrix4x4& out);
// M := M x (scale by s, then translate by t).
void AppendScaleTranslate(Matrix4x4& M, Vec3 translation, Vec3 scale);
void SetPerspective(Matrix4x4& out, float nearPlane, float farPlane, float fovDegrees, float ratio);
void SetOrtho(Matrix4x4& out, float left, float right, float bottom, float top, float nearPlane,
              float farPlane);
void SetLookAt(Matrix4x4& out, Vec3 eye, Vec3 target, Vec3 up);
// Ry(b) x Rx(a) x Rz(c), angles in radians.
void RotationFromAngles(Matrix4x4& out, float a, float b, float c);
void ExtractFrustumPlanes(const Matrix4x4& M, Vec4 planes[6]);
uint32_t ColorToRGBA8(Vec4 c);
void MatrixToString(const Matrix4x4& M, char* buffer, size_t length);

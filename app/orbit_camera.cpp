#include "app/orbit_camera.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr float kRadiansPerPixel = 0.3f * 3.14159265f / 180.0f;
constexpr float kMaxPitch = 1.5f;  // about 86 degrees
constexpr float kMinDistance = 0.3f;
constexpr float kMaxDistance = 30.0f;

Vec3 Normalised(Vec3 v) {
  const float length = Length(v);
  return length > 0.0f ? v * (1.0f / length) : v;
}

Matrix4x4 FromRows(Vec3 right, Vec3 up, Vec3 back, Vec3 position) {
  Matrix4x4 m = Matrix4x4::Identity();
  const Vec3 rows[4] = {right, up, back, position};
  for (int r = 0; r < 4; ++r) {
    m.m[4 * r + 0] = rows[r].x;
    m.m[4 * r + 1] = rows[r].y;
    m.m[4 * r + 2] = rows[r].z;
  }
  return m;
}

}  // namespace

Vec3 OrbitCamera::Eye() const {
  const Matrix4x4 c = CameraToWorld();
  return {c.m[12], c.m[13], c.m[14]};
}

Matrix4x4 OrbitCamera::CameraToWorld() const {
  const float cy = std::cos(yaw), sy = std::sin(yaw);
  const float cp = std::cos(pitch), sp = std::sin(pitch);
  const Vec3 right = {cy, 0.0f, -sy};
  const Vec3 back = {sy * cp, sp, cy * cp};
  const Vec3 up = Cross(back, right);
  return FromRows(right, up, back, target + back * distance);
}

Matrix4x4 OrbitCamera::Rotation() const {
  Matrix4x4 c = CameraToWorld();
  Matrix4x4 r = Matrix4x4::Identity();
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 3; ++col) r.m[4 * row + col] = c.m[4 * col + row];
  }
  return r;
}

void OrbitCamera::Orbit(float dx, float dy) {
  yaw -= dx * kRadiansPerPixel;
  pitch = std::clamp(pitch + dy * kRadiansPerPixel, -kMaxPitch, kMaxPitch);
}

void OrbitCamera::Pan(float dx, float dy, float viewHeight, float verticalScale) {
  if (!(viewHeight > 0.0f) || !(verticalScale > 0.0f)) return;
  // The height of the view at the target's distance, in metres per pixel.
  const float metresPerPixel = 2.0f * distance / (verticalScale * viewHeight);
  const Matrix4x4 c = CameraToWorld();
  const Vec3 right = {c.m[0], c.m[1], c.m[2]};
  const Vec3 up = {c.m[4], c.m[5], c.m[6]};
  target = target - right * (dx * metresPerPixel) + up * (dy * metresPerPixel);
}

void OrbitCamera::Zoom(float notches) {
  if (!std::isfinite(notches)) return;
  distance = std::clamp(distance * std::pow(0.9f, notches), kMinDistance, kMaxDistance);
}

void OrbitCamera::FrameVolume() {
  target = {0.0f, 1.0f, 0.0f};
  yaw = 0.0f;
  pitch = 0.35f;  // 20 degrees above
  distance = 3.4f;
}

void OrbitCamera::Ray(float x, float y, float width, float height, float horizontalScale,
                      float verticalScale, Vec3* origin, Vec3* direction) const {
  const float ndcX = 2.0f * (x + 0.5f) / width - 1.0f;
  const float ndcY = 1.0f - 2.0f * (y + 0.5f) / height;
  const Vec3 inCamera = {ndcX / horizontalScale, ndcY / verticalScale, -1.0f};
  const Matrix4x4 c = CameraToWorld();
  const Vec3 right = {c.m[0], c.m[1], c.m[2]};
  const Vec3 up = {c.m[4], c.m[5], c.m[6]};
  const Vec3 back = {c.m[8], c.m[9], c.m[10]};
  *origin = {c.m[12], c.m[13], c.m[14]};
  *direction = Normalised(right * inCamera.x + up * inCamera.y + back * inCamera.z);
}

Matrix4x4 PoseLookingAlong(Vec3 origin, Vec3 direction) {
  const Vec3 back = Normalised(direction * -1.0f);
  Vec3 right = Cross({0.0f, 1.0f, 0.0f}, back);
  if (Length(right) < 1e-4f) right = {1.0f, 0.0f, 0.0f};  // straight up or down
  right = Normalised(right);
  return FromRows(right, Cross(back, right), back, origin);
}

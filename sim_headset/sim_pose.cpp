#include "sim_headset/sim_pose.h"

#include <cmath>
#include <numbers>

namespace vr::sim {
namespace {

constexpr float kDegrees = std::numbers::pi_v<float> / 180.0f;

bool IsFinite(Vec3 v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

// Row-vector rotation: v' = v x (rows a, b, c) = v.x a + v.y b + v.z c.
Vec3 RotateRow(Vec3 v, Vec3 a, Vec3 b, Vec3 c) { return a * v.x + b * v.y + c * v.z; }

}  // namespace

HmdMatrix34_t ToMatrix34(const SimPose& pose) {
  const Vec3 columns[4] = {pose.x, pose.y, pose.z, pose.position};
  HmdMatrix34_t m{};
  for (int c = 0; c < 4; ++c) {
    m.m[0][c] = columns[c].x;
    m.m[1][c] = columns[c].y;
    m.m[2][c] = columns[c].z;
  }
  return m;
}

SimPose FromMatrix34(const HmdMatrix34_t& m) {
  SimPose pose;
  pose.x = {m.m[0][0], m.m[1][0], m.m[2][0]};
  pose.y = {m.m[0][1], m.m[1][1], m.m[2][1]};
  pose.z = {m.m[0][2], m.m[1][2], m.m[2][2]};
  pose.position = {m.m[0][3], m.m[1][3], m.m[2][3]};
  return pose;
}

HmdMatrix34_t IdentityMatrix34() { return ToMatrix34(SimPose{}); }

SimPose PoseFromAngles(Vec3 position, float yawDegrees, float pitchDegrees, float rollDegrees) {
  const float cy = std::cos(yawDegrees * kDegrees), sy = std::sin(yawDegrees * kDegrees);
  const float cp = std::cos(pitchDegrees * kDegrees), sp = std::sin(pitchDegrees * kDegrees);
  const float cr = std::cos(rollDegrees * kDegrees), sr = std::sin(rollDegrees * kDegrees);
  // Rows of each rotation in the row-vector convention.
  const Vec3 rz[3] = {{cr, sr, 0}, {-sr, cr, 0}, {0, 0, 1}};
  const Vec3 rx[3] = {{1, 0, 0}, {0, cp, sp}, {0, -sp, cp}};
  const Vec3 ry[3] = {{cy, 0, -sy}, {0, 1, 0}, {sy, 0, cy}};
  SimPose pose;
  Vec3* axes[3] = {&pose.x, &pose.y, &pose.z};
  for (int i = 0; i < 3; ++i) {
    const Vec3 afterPitch = RotateRow(rz[i], rx[0], rx[1], rx[2]);
    *axes[i] = RotateRow(afterPitch, ry[0], ry[1], ry[2]);
  }
  pose.position = position;
  return pose;
}

bool PoseLookingAlong(Vec3 position, Vec3 forward, SimPose* out) {
  const float length = Length(forward);
  if (!IsFinite(forward) || !IsFinite(position) || !(length > 1e-6f)) {
    return false;
  }
  const Vec3 f = forward * (1.0f / length);
  Vec3 x = Cross(f, Vec3{0, 1, 0});
  x = Length(x) > 1e-4f ? Normalized(x) : Vec3{1, 0, 0};
  const Vec3 z = f * -1.0f;
  out->x = x;
  out->y = Normalized(Cross(z, x));
  out->z = z;
  out->position = position;
  return true;
}

bool PoseAimedAt(Vec3 position, Vec3 target, SimPose* out) {
  return PoseLookingAlong(position, target - position, out);
}

Vec3 Normalized(Vec3 v) {
  const float length = Length(v);
  return length > 0.0f ? v * (1.0f / length) : v;
}

Vec3 TransformPoint(const HmdMatrix34_t& m, Vec3 p) {
  return TransformDirection(m, p) + Vec3{m.m[0][3], m.m[1][3], m.m[2][3]};
}

Vec3 TransformDirection(const HmdMatrix34_t& m, Vec3 d) {
  return {m.m[0][0] * d.x + m.m[0][1] * d.y + m.m[0][2] * d.z,
          m.m[1][0] * d.x + m.m[1][1] * d.y + m.m[1][2] * d.z,
          m.m[2][0] * d.x + m.m[2][1] * d.y + m.m[2][2] * d.z};
}

HmdMatrix34_t Compose(const HmdMatrix34_t& outer, const HmdMatrix34_t& inner) {
  HmdMatrix34_t r{};
  for (int row = 0; row < 3; ++row) {
    for (int col = 0; col < 4; ++col) {
      float sum = col == 3 ? outer.m[row][3] : 0.0f;
      for (int k = 0; k < 3; ++k) {
        sum += outer.m[row][k] * inner.m[k][col];
      }
      r.m[row][col] = sum;
    }
  }
  return r;
}

HmdMatrix44_t PerspectiveMatrix(float horizontalFovDegrees, float aspect, float nearZ, float farZ) {
  const float right = nearZ * std::tan(0.5f * horizontalFovDegrees * kDegrees);
  const float top = right / aspect;
  HmdMatrix44_t m{};
  m.m[0][0] = nearZ / right;
  m.m[1][1] = nearZ / top;
  m.m[2][2] = -(farZ + nearZ) / (farZ - nearZ);
  m.m[2][3] = -2.0f * farZ * nearZ / (farZ - nearZ);
  m.m[3][2] = -1.0f;
  return m;
}

}  // namespace vr::sim

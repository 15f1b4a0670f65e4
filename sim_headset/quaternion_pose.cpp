#include "sim_headset/quaternion_pose.h"

#include <cmath>

namespace vr {

QuaternionPose QuaternionPoseFromAxes(const sim::SimPose& pose) {
  const float m00 = pose.x.x, m11 = pose.y.y, m22 = pose.z.z;
  const float trace = m00 + m11 + m22;
  float q[4];  // x, y, z, w
  if (trace > 0.0f) {
    const float s = std::sqrt(trace + 1.0f) * 2.0f;
    q[0] = (pose.y.z - pose.z.y) / s;
    q[1] = (pose.z.x - pose.x.z) / s;
    q[2] = (pose.x.y - pose.y.x) / s;
    q[3] = 0.25f * s;
  } else if (m00 > m11 && m00 > m22) {
    const float s = std::sqrt(1.0f + m00 - m11 - m22) * 2.0f;
    q[0] = 0.25f * s;
    q[1] = (pose.y.x + pose.x.y) / s;
    q[2] = (pose.z.x + pose.x.z) / s;
    q[3] = (pose.y.z - pose.z.y) / s;
  } else if (m11 > m22) {
    const float s = std::sqrt(1.0f + m11 - m00 - m22) * 2.0f;
    q[0] = (pose.y.x + pose.x.y) / s;
    q[1] = 0.25f * s;
    q[2] = (pose.z.y + pose.y.z) / s;
    q[3] = (pose.z.x - pose.x.z) / s;
  } else {
    const float s = std::sqrt(1.0f + m22 - m00 - m11) * 2.0f;
    q[0] = (pose.z.x + pose.x.z) / s;
    q[1] = (pose.z.y + pose.y.z) / s;
    q[2] = 0.25f * s;
    q[3] = (pose.x.y - pose.y.x) / s;
  }
  QuaternionPose out;
  const float n = std::sqrt(q[0] * q[0] + q[1] * q[1] + q[2] * q[2] + q[3] * q[3]);
  if (n > 0.0f && std::isfinite(n)) {
    out.qx = q[0] / n;
    out.qy = q[1] / n;
    out.qz = q[2] / n;
    out.qw = q[3] / n;
  }
  out.position = pose.position;
  return out;
}

HmdMatrix34_t Matrix34FromQuaternionPose(const QuaternionPose& pose) {
  // Adding +0 turns -0 into +0 and leaves every other value alone.
  const float x = pose.qx + 0.0f, y = pose.qy + 0.0f, z = pose.qz + 0.0f, w = pose.qw + 0.0f;
  const float xx = x * x, yy = y * y, zz = z * z;
  const float xy = x * y, xz = x * z, yz = y * z;
  const float wx = w * x, wy = w * y, wz = w * z;
  HmdMatrix34_t m{};
  m.m[0][0] = 1.0f - 2.0f * (yy + zz);
  m.m[0][1] = 2.0f * (xy - wz);
  m.m[0][2] = 2.0f * (xz + wy);
  m.m[1][0] = 2.0f * (xy + wz);
  m.m[1][1] = 1.0f - 2.0f * (xx + zz);
  m.m[1][2] = 2.0f * (yz - wx);
  m.m[2][0] = 2.0f * (xz - wy);
  m.m[2][1] = 2.0f * (yz + wx);
  m.m[2][2] = 1.0f - 2.0f * (xx + yy);
  m.m[0][3] = pose.position.x + 0.0f;
  m.m[1][3] = pose.position.y + 0.0f;
  m.m[2][3] = pose.position.z + 0.0f;
  for (auto& row : m.m) {
    for (float& value : row) value += 0.0f;
  }
  return m;
}

}  // namespace vr

#include "vr/openxr/openxr_views.h"

#include <cmath>

#include "sim_headset/quaternion_pose.h"

namespace vr::openxr {

HmdMatrix44_t ProjectionFromFov(const XrFovf& fov, float nearZ, float farZ) {
  float left = std::tan(fov.angleLeft), right = std::tan(fov.angleRight);
  float up = std::tan(fov.angleUp), down = std::tan(fov.angleDown);
  if (!(right - left > 1e-6f) || !(up - down > 1e-6f) || !std::isfinite(right - left) ||
      !std::isfinite(up - down)) {
    const float half = std::tan(0.8726646f);  // 50 degrees
    left = down = -half;
    right = up = half;
  }
  if (!std::isfinite(nearZ) || !std::isfinite(farZ) || !(nearZ > 0.0f) || !(farZ > 0.0f) ||
      nearZ == farZ) {
    nearZ = 0.05f;
    farZ = 100.0f;
  }
  HmdMatrix44_t m{};
  m.m[0][0] = 2.0f / (right - left);
  m.m[0][2] = (right + left) / (right - left);
  m.m[1][1] = 2.0f / (up - down);
  m.m[1][2] = (up + down) / (up - down);
  m.m[2][2] = -(farZ + nearZ) / (farZ - nearZ);
  m.m[2][3] = -2.0f * farZ * nearZ / (farZ - nearZ);
  m.m[3][2] = -1.0f;
  return m;
}

HmdMatrix34_t Matrix34FromPose(const XrPosef& pose) {
  QuaternionPose q;
  q.qx = pose.orientation.x;
  q.qy = pose.orientation.y;
  q.qz = pose.orientation.z;
  q.qw = pose.orientation.w;
  q.position = {pose.position.x, pose.position.y, pose.position.z};
  return Matrix34FromQuaternionPose(q);
}

bool UsablePose(const XrPosef& pose) {
  const XrQuaternionf& q = pose.orientation;
  const float n = q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w;
  return std::isfinite(n) && std::fabs(n - 1.0f) < 0.01f && std::isfinite(pose.position.x) &&
         std::isfinite(pose.position.y) && std::isfinite(pose.position.z);
}

}  // namespace vr::openxr

#pragma once
// Rigid poses of the simulated devices. A pose is kept as the device's axes and position in
// tracking space (metres); the runtime boundary hands them out as HmdMatrix34_t, whose columns
// are those axes and the position.
#include "base/math_types.h"
#include "vr_api/openvr_api.h"

namespace vr::sim {

struct SimPose {
  Vec3 x{1, 0, 0};
  Vec3 y{0, 1, 0};
  Vec3 z{0, 0, 1};  // the device looks along -z
  Vec3 position;
};

HmdMatrix34_t ToMatrix34(const SimPose& pose);
SimPose FromMatrix34(const HmdMatrix34_t& m);
HmdMatrix34_t IdentityMatrix34();

// Rotation Rz(roll), then Rx(pitch), then Ry(yaw), angles in degrees, all right-handed: positive
// pitch lifts the forward axis, positive yaw turns it towards -x (counter-clockwise from above).
SimPose PoseFromAngles(Vec3 position, float yawDegrees, float pitchDegrees, float rollDegrees);
// Forward (-z) along forward, x horizontal so that y is as close to world up as it can be; a
// vertical forward keeps x at world x. False (out untouched) for a zero or non-finite forward.
bool PoseLookingAlong(Vec3 position, Vec3 forward, SimPose* out);
bool PoseAimedAt(Vec3 position, Vec3 target, SimPose* out);

Vec3 Normalized(Vec3 v);  // zero stays zero
Vec3 TransformPoint(const HmdMatrix34_t& m, Vec3 p);
Vec3 TransformDirection(const HmdMatrix34_t& m, Vec3 d);
// outer after inner: a point p maps to outer(inner(p)).
HmdMatrix34_t Compose(const HmdMatrix34_t& outer, const HmdMatrix34_t& inner);

// glFrustum-style perspective (right-handed, looking down -z, clip z in -w..w), symmetric, in
// the boundary's row layout: clip = m * (x, y, z, 1) as a column.
HmdMatrix44_t PerspectiveMatrix(float horizontalFovDegrees, float aspect, float nearZ, float farZ);

}  // namespace vr::sim

#pragma once
// Poses as OpenXR carries them: a unit quaternion and a position. The simulated headset's two
// faces (in-process and OpenXR runtime) and the OpenXR host all convert through these two
// functions, so a pose reaches the application with the same bits whichever way it travels.
#include "sim_headset/sim_pose.h"
#include "vr_api/openvr_api.h"

namespace vr {

struct QuaternionPose {
  float qx = 0.0f, qy = 0.0f, qz = 0.0f, qw = 1.0f;
  Vec3 position;
};

// The rotation of the axes (Shepperd's method), normalised; degenerate axes give the identity.
QuaternionPose QuaternionPoseFromAxes(const sim::SimPose& pose);
// The 3x4 matrix of the boundary (columns: the rotated axes, then the position). Zeros of either
// sign give +0, since composing with identity poses may flip their signs on the way.
HmdMatrix34_t Matrix34FromQuaternionPose(const QuaternionPose& pose);

}  // namespace vr

#pragma once
// OpenXR's views in the boundary's terms: a field of view as the projection matrix the host
// expects, and a pose as a 3x4 device-to-tracking matrix.
#include <openxr/openxr.h>

#include "vr_api/openvr_api.h"

namespace vr::openxr {

// glFrustum-style (right-handed, looking down -z, clip z in -w..w) from the four half-angles,
// which may be asymmetric; a field of view that spans no angle or a bad clip range gives the
// matrix of 100 degrees square and 0.05..100 m instead.
HmdMatrix44_t ProjectionFromFov(const XrFovf& fov, float nearZ, float farZ);
HmdMatrix34_t Matrix34FromPose(const XrPosef& pose);
// A pose OpenXR calls valid: finite and with a quaternion of length 1 within 1 %.
bool UsablePose(const XrPosef& pose);

}  // namespace vr::openxr

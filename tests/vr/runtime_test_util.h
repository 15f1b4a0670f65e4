#pragma once
// Shared pieces of the VR runtime tests: environment changes that undo themselves and a running
// simulated headset that shuts down with the test.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "base/math_types.h"
#include "vr/simulated/simulated_headset.h"
#include "vr/vr_runtime.h"

namespace vr::sim::testing {

// Sets (or, for null, unsets) an environment variable until the end of the scope.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      previous_ = old;
    }
    Apply(value);
  }
  ~ScopedEnvironment() { Apply(previous_ ? previous_->c_str() : nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  void Apply(const char* value) {
    if (value != nullptr) {
      setenv(name_.c_str(), value, 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  std::string name_;
  std::optional<std::string> previous_;
};

inline SimulatedHeadsetOptions Unpaced() {
  SimulatedHeadsetOptions options;
  options.paced = false;
  return options;
}

// VR_InitInternal with LOOMWORK_VR_RUNTIME=simulated and the given options; shuts down and
// restores the environment's options when it goes.
class SimulatedSession {
 public:
  explicit SimulatedSession(const SimulatedHeadsetOptions& options = Unpaced())
      : runtime_("LOOMWORK_VR_RUNTIME", "simulated") {
    SetOptionsOverride(&options);
    token = VR_InitInternal(&error, VRApplication_Scene);
  }
  ~SimulatedSession() {
    VR_ShutdownInternal();
    SetOptionsOverride(nullptr);
  }
  SimulatedSession(const SimulatedSession&) = delete;
  SimulatedSession& operator=(const SimulatedSession&) = delete;

  SimulatedHeadset* Headset() const { return ActiveHeadset(); }
  IVRSystem* System() const {
    EVRInitError e;
    return static_cast<IVRSystem*>(VR_GetGenericInterface(IVRSystem_Version, &e));
  }
  IVRCompositor* Compositor() const {
    EVRInitError e;
    return static_cast<IVRCompositor*>(VR_GetGenericInterface(IVRCompositor_Version, &e));
  }
  IVRRenderModels* RenderModels() const {
    EVRInitError e;
    return static_cast<IVRRenderModels*>(VR_GetGenericInterface(IVRRenderModels_Version, &e));
  }
  // One frame; returns the poses of all 16 slots.
  void NextFrame(TrackedDevicePose_t poses[k_unMaxTrackedDeviceCount]) {
    ASSERT_EQ(Compositor()->WaitGetPoses(poses, k_unMaxTrackedDeviceCount, nullptr, 0),
              VRCompositorError_None);
  }

  EVRInitError error = VRInitError_Unknown;
  uint32_t token = 0;

 private:
  ScopedEnvironment runtime_;
};

inline Vec3 Column(const HmdMatrix34_t& m, int c) { return {m.m[0][c], m.m[1][c], m.m[2][c]}; }
inline Vec3 Forward(const HmdMatrix34_t& m) { return Column(m, 2) * -1.0f; }
inline Vec3 Position(const HmdMatrix34_t& m) { return Column(m, 3); }

inline std::string ToString(Vec3 v) {
  char text[96];
  std::snprintf(text, sizeof(text), "(%.6f, %.6f, %.6f)", double(v.x), double(v.y), double(v.z));
  return text;
}

// EXPECT_TRUE(Near(a, b, tolerance)) with both vectors in the failure message.
inline ::testing::AssertionResult Near(Vec3 actual, Vec3 expected, float tolerance) {
  if (std::fabs(actual.x - expected.x) <= tolerance &&
      std::fabs(actual.y - expected.y) <= tolerance &&
      std::fabs(actual.z - expected.z) <= tolerance) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << ToString(actual) << " is not within " << tolerance
                                       << " of " << ToString(expected);
}

// Clip-space position of a world point seen by eye of a headset at head (column layout).
inline Vec4 ProjectToClip(Vec3 world, const HmdMatrix34_t& head, const HmdMatrix34_t& eyeToHead,
                          const HmdMatrix44_t& projection) {
  // World to eye: both transforms are rigid, so invert them as transposed rotation.
  const Vec3 eyeOrigin{head.m[0][3] + head.m[0][0] * eyeToHead.m[0][3] +
                           head.m[0][1] * eyeToHead.m[1][3] + head.m[0][2] * eyeToHead.m[2][3],
                       head.m[1][3] + head.m[1][0] * eyeToHead.m[0][3] +
                           head.m[1][1] * eyeToHead.m[1][3] + head.m[1][2] * eyeToHead.m[2][3],
                       head.m[2][3] + head.m[2][0] * eyeToHead.m[0][3] +
                           head.m[2][1] * eyeToHead.m[1][3] + head.m[2][2] * eyeToHead.m[2][3]};
  const Vec3 d = world - eyeOrigin;
  // Eye rotation equals the head's (the eye-to-head transforms only translate).
  const Vec3 view{Dot(d, Column(head, 0)), Dot(d, Column(head, 1)), Dot(d, Column(head, 2))};
  const float p[4] = {view.x, view.y, view.z, 1.0f};
  float clip[4];
  for (int r = 0; r < 4; ++r) {
    clip[r] = 0.0f;
    for (int c = 0; c < 4; ++c) {
      clip[r] += projection.m[r][c] * p[c];
    }
  }
  return {clip[0], clip[1], clip[2], clip[3]};
}

}  // namespace vr::sim::testing

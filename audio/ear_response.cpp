#include "audio/ear_response.h"

#include <algorithm>
#include <cmath>

namespace Audio {

namespace {

// A source closer than this is taken to be at the ear. Flooring the distance here keeps
// volume / r^2 and d / r finite for a source exactly at the ear, where neither is defined: d is
// then (nearly) zero, so the direction comes out as 0 and the gain at the cap.
constexpr float kMinDistanceMetres = 1e-6f;

Vec3 Facing(float side) {
  const float norm = 1.0f / std::sqrt(1.04f);  // |(+-1, 0, -0.2)|
  return Vec3{side, 0.0f, -0.2f} * norm;
}

}  // namespace

EarPlacement LeftEarPlacement() { return {Vec3{-0.15f, 0.0f, 0.0f}, Facing(-1.0f)}; }

EarPlacement RightEarPlacement() { return {Vec3{0.15f, 0.0f, 0.0f}, Facing(1.0f)}; }

EarResponse PositionalEarResponse(const EarPlacement& ear, Vec3 headPosition, float volume,
                                  float sampleRate) {
  const Vec3 d = ear.position - headPosition;
  const float distance = Length(d);
  if (!std::isfinite(distance)) {
    // NaN would stick in the filter and reverb state for good; keep such a source silent.
    return {};
  }
  const float r = std::max(distance, kMinDistanceMetres);
  EarResponse response;
  response.gain = std::min(volume / (r * r), kMaxEarGain);
  if (!std::isfinite(response.gain)) {
    response.gain = 0.0f;  // a NaN or huge negative volume
  }
  response.delaySamples = std::max(0.0f, r * kSecondsPerMetre) * sampleRate;
  response.direction = Dot(Vec3{d.x / r, d.y / r, d.z / r}, ear.facing);
  return response;
}

float HeadShadowBlend(float direction) {
  return std::clamp(5.0f * direction + 0.3f, 0.0f, 1.0f);
}

}  // namespace Audio

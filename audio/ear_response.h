#pragma once
// How one ear of the listener's head hears a positional source: the gain, the travel delay and
// the direction that drive the mixer's per-ear ramps and the head-shadow filter.
#include "base/math_types.h"

namespace Audio {

// Sound at 340.29 m/s.
inline constexpr float kSecondsPerMetre = 0.0029386699f;
// Inverse-square loudness is capped here, so a source brushing past an ear cannot blow up.
inline constexpr float kMaxEarGain = 3.0f;

// Head space: x to the right, -z forward, y up.
struct EarPlacement {
  Vec3 position;
  Vec3 facing;  // unit length
};

// The stereo head: ears 0.15 m either side of the centre, each leaning slightly forward.
EarPlacement LeftEarPlacement();
EarPlacement RightEarPlacement();

struct EarResponse {
  float gain = 0.0f;
  float delaySamples = 0.0f;
  // Cosine between the ear's facing and the way the sound travels (source to ear): -1 when it
  // meets the ear head-on, +1 when it comes through the head from the other side.
  float direction = 0.0f;
};

// Targets for a source at headPosition (already in head space) playing at volume.
// Always finite: a source exactly at the ear gets the capped gain, no delay and direction 0;
// a source at a non-finite or overflowing position is silent.
EarResponse PositionalEarResponse(const EarPlacement& ear, Vec3 headPosition, float volume,
                                  float sampleRate);

// Share of the ear's signal taken from the head-shadow low-pass: 0 (dry) for sounds that meet
// the ear (direction -0.06 or less), 1 (fully muffled) from direction 0.14 on, when the head is
// in the way.
float HeadShadowBlend(float direction);

}  // namespace Audio

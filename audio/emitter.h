#pragma once
// Audio::Emitter: one playing instance of a clip inside the mixer.
#include <cstdint>

#include "base/math_types.h"

namespace Audio {

struct Clip;

enum class EmitterType : int32_t {
  Plain = 0,       // no position: straight into both ears
  Positional = 1,  // heard through the two ears from its world position; mono clips only
};

namespace EmitterFlags {
inline constexpr uint32_t AutoRemove = 1u << 0;  // deleted by the mixer once finished
inline constexpr uint32_t Persistent = 1u << 1;  // never finished; silent after its clip ends
}  // namespace EmitterFlags

// What the mixer remembers per ear between blocks, so gain, delay and direction ramp smoothly
// from one block to the next instead of stepping.
struct EmitterEarState {
  float low = 0.0f;   // head-shadow filter state
  float band = 0.0f;
  float previousGain = 0.0f;
  float previousDelay = -1.0f;  // negative: not mixed yet, start at the targets
  float previousDirection = 0.0f;
};

// Owned by the mixer, which hands it out as a plain pointer. Every field is guarded by the
// mixer's lock: change one only through Mixer3D::SetEmitter.
struct Emitter {
  static constexpr int kEars = 2;

  EmitterType type = EmitterType::Plain;
  uint32_t flags = 0;
  int64_t startClock = 0;  // mixer clock at creation: when the clip's first sample is due
  Clip* clip = nullptr;
  Vec3 position;  // world space, positional emitters only
  float volume = 1.0f;
  float rate = 1.0f;  // clip samples per output sample
  bool finished = false;
  EmitterEarState ears[kEars];
};

}  // namespace Audio

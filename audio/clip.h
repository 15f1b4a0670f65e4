#pragma once
// Audio::Clip: a sound held in memory as 16-bit samples, interleaved by channel.
#include <cstdint>
#include <vector>

namespace Audio {

struct Clip {
  Clip() = default;
  // Destroying a clip that emitters still play is a programming error (a failed check): the
  // mixer would read freed samples.
  ~Clip();
  Clip(const Clip&) = delete;
  Clip& operator=(const Clip&) = delete;

  std::vector<int16_t> samples;
  int32_t channels = 1;  // 1 or 2
  // Emitters playing this clip. Changed only by the mixer, under its lock.
  int32_t useCount = 0;
  float sampleRate = 0.0f;  // as recorded in the file; the mixer plays at its own rate
};

}  // namespace Audio

#pragma once
// Audio::CombReverb: six damped feedback comb filters run in parallel over one ear's signal,
// a small room added to the dry sound.
#include <array>
#include <cstdint>
#include <vector>

namespace Audio {

class CombReverb {
 public:
  static constexpr int kLines = 6;
  static constexpr float kDecaySamples = 12000.0f;  // a line loses half its level in this time
  static constexpr float kDamping = 0.6f;           // one-pole low-pass inside each loop
  static constexpr float kWet = 0.05f;

  // Allocates the lines (zeroed) and the scratch for blocks of up to maxFrames.
  CombReverb(const std::array<int32_t, kLines>& lineLengthsSamples, int32_t maxFrames);

  // In place: buffer[k] = input + 0.05 x (sum of the lines' outputs). Frames beyond maxFrames
  // are left as they are. Allocates nothing.
  void Process(float* buffer, int32_t frames);

 private:
  std::array<int32_t, kLines> lengths_{};
  std::array<float, kLines> feedback_{};
  std::array<float, kLines> lowpass_{};
  std::array<int32_t, kLines> writeIndex_{};
  std::vector<float> lines_;  // the six delay lines back to back
  std::vector<float> wet_;    // per-block sum of the line outputs
};

}  // namespace Audio

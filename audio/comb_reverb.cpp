#include "audio/comb_reverb.h"

#include <algorithm>
#include <cmath>

namespace Audio {

namespace {

// Long after a sound has stopped the loops decay into the denormal range, where x86 float
// arithmetic slows down by two orders of magnitude. Anything this small is hundreds of dB
// below the 16-bit output, so it is cut to exact zero.
constexpr float kFlushToZero = 1e-30f;

}  // namespace

CombReverb::CombReverb(const std::array<int32_t, kLines>& lineLengthsSamples, int32_t maxFrames)
    : lengths_(lineLengthsSamples), wet_(static_cast<size_t>(std::max(maxFrames, 0)), 0.0f) {
  int64_t total = 0;
  for (int c = 0; c < kLines; ++c) {
    lengths_[c] = std::max(lengths_[c], 1);
    total += lengths_[c];
    // Halves every kDecaySamples: L samples per round trip give 2^(-L / decay) per trip.
    feedback_[c] = static_cast<float>(std::exp(-lengths_[c] * std::log(2.0) / kDecaySamples));
  }
  lines_.assign(static_cast<size_t>(total), 0.0f);
}

void CombReverb::Process(float* buffer, int32_t frames) {
  const int32_t n = std::min(frames, static_cast<int32_t>(wet_.size()));
  if (buffer == nullptr || n <= 0) {
    return;
  }
  std::fill_n(wet_.data(), n, 0.0f);
  // Line by line rather than frame by frame: each line then streams through its own memory.
  // The wet sums still add the lines in order 0..5 for every frame, the same float result as
  // walking all six lines per frame.
  float* line = lines_.data();
  for (int c = 0; c < kLines; ++c) {
    const int32_t length = lengths_[c];
    const float feedback = feedback_[c];
    float lowpass = lowpass_[c];
    int32_t index = writeIndex_[c];
    for (int32_t k = 0; k < n; ++k) {
      const float y = line[index];
      wet_[k] += y * kWet;
      lowpass = lowpass + (y - lowpass) * kDamping;
      if (std::fabs(lowpass) < kFlushToZero) {
        lowpass = 0.0f;
      }
      line[index] = lowpass * feedback + buffer[k];
      if (++index == length) {
        index = 0;
      }
    }
    lowpass_[c] = lowpass;
    writeIndex_[c] = index;
    line += length;
  }
  for (int32_t k = 0; k < n; ++k) {
    buffer[k] = buffer[k] + wet_[k];
  }
}

}  // namespace Audio

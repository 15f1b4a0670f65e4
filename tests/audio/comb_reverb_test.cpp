#include "audio/comb_reverb.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace Audio {
namespace {

constexpr std::array<int32_t, CombReverb::kLines> kLeftEarLengths = {1693, 1827, 1965,
                                                                     2043, 2175, 2357};

// Runs a unit impulse through the reverb in blocks of 256 and returns `frames` output frames.
std::vector<float> ImpulseResponse(CombReverb& reverb, int32_t frames) {
  std::vector<float> out(static_cast<size_t>(frames), 0.0f);
  out[0] = 1.0f;
  for (int32_t start = 0; start < frames; start += 256) {
    reverb.Process(out.data() + start, std::min(256, frames - start));
  }
  return out;
}

TEST(CombReverbTest, EachLineEchoesTheInputOnceAroundItsLoopAtTheWetLevel) {
  CombReverb reverb(kLeftEarLengths, 2048);
  const std::vector<float> out = ImpulseResponse(reverb, 2400);
  EXPECT_EQ(out[0], 1.0f);  // the dry signal passes unchanged
  for (int32_t k = 1; k < 2400; ++k) {
    const bool echo = std::find(kLeftEarLengths.begin(), kLeftEarLengths.end(), k) !=
                      kLeftEarLengths.end();
    // Before a line comes round again nothing else can reach the output.
    if (echo) {
      EXPECT_FLOAT_EQ(out[k], CombReverb::kWet) << k;
    } else if (k < 2 * 1693) {
      ASSERT_EQ(out[k], 0.0f) << k;
    }
  }
}

TEST(CombReverbTest, TailLosesHalfItsLevelEvery12000Samples) {
  // With every line 1000 samples long the echoes come round together, once per 1000 samples.
  // The loops' low-pass has unit gain at DC, so the sum of each round follows the feedback
  // alone: twelve rounds make 12000 samples and must halve it.
  CombReverb reverb({1000, 1000, 1000, 1000, 1000, 1000}, 2048);
  const std::vector<float> out = ImpulseResponse(reverb, 40000);
  auto round = [&](int32_t r) {
    double sum = 0.0;
    for (int32_t k = r * 1000; k < (r + 1) * 1000; ++k) sum += out[static_cast<size_t>(k)];
    return sum;
  };
  EXPECT_NEAR(round(1), 6 * CombReverb::kWet, 1e-6);
  EXPECT_NEAR(round(13) / round(1), 0.5, 0.002);
  EXPECT_NEAR(round(25) / round(13), 0.5, 0.002);
}

TEST(CombReverbTest, SilenceInSilenceOutAndBlockLengthDoesNotMatter) {
  CombReverb quiet(kLeftEarLengths, 2048);
  std::vector<float> zeros(2048, 0.0f);
  quiet.Process(zeros.data(), 2048);
  for (float v : zeros) ASSERT_EQ(v, 0.0f);

  // The same signal in blocks of 2048 and of 100 frames gives the same bits.
  std::vector<float> signal(8192);
  for (size_t i = 0; i < signal.size(); ++i) signal[i] = std::sin(0.01f * i) * (i < 3000);
  std::vector<float> big = signal, small = signal;
  CombReverb a(kLeftEarLengths, 2048), b(kLeftEarLengths, 2048);
  for (size_t s = 0; s < big.size(); s += 2048) a.Process(big.data() + s, 2048);
  for (size_t s = 0; s < small.size(); s += 100) {
    b.Process(small.data() + s, static_cast<int32_t>(std::min<size_t>(100, small.size() - s)));
  }
  EXPECT_EQ(big, small);
}

}  // namespace
}  // namespace Audio

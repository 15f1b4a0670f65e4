#include "audio/audio_block_puller.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// Writes a running count: left n, right -n, so any frame lost, repeated or reordered on the way
// to the device shows.
struct Ramp {
  int32_t next = 0;
  int calls = 0;
  std::vector<int32_t> framesAsked;
};

void WriteRamp(int16_t* samples, int32_t frames, void* user) {
  auto* ramp = static_cast<Ramp*>(user);
  ++ramp->calls;
  ramp->framesAsked.push_back(frames);
  for (int32_t i = 0; i < frames; ++i) {
    const int16_t value = int16_t(ramp->next++ % 32768);
    samples[2 * i] = value;
    samples[2 * i + 1] = int16_t(-value);
  }
}

void WriteOnes(int16_t* samples, int32_t frames, void* /*user*/) {
  for (int32_t i = 0; i < 2 * frames; ++i) {
    samples[i] = 1;
  }
}

TEST(AudioBlockPullerTest, DeviceBuffersOfAnySizeGetAnUnbrokenStream) {
  const struct {
    std::vector<int32_t> requests;
    const char* what;
  } cases[] = {
      {{256, 256, 256}, "the block size"},
      {{1024, 512}, "whole multiples"},
      {{100, 100, 100, 100, 100, 100}, "smaller than a block"},
      {{300, 300, 300}, "larger than a block"},
      {{1, 255, 257, 511, 7}, "ragged"},
      {{4410}, "one large request"},
  };
  for (const auto& c : cases) {
    AudioBlockPuller puller;
    Ramp ramp;
    puller.SetCallback(&WriteRamp, &ramp);
    int32_t expected = 0;
    for (int32_t frames : c.requests) {
      std::vector<int16_t> samples(size_t(frames) * 2, -1);
      puller.Fill(samples.data(), frames);
      for (int32_t i = 0; i < frames; ++i, ++expected) {
        ASSERT_EQ(samples[2 * i], int16_t(expected % 32768)) << c.what << ", frame " << expected;
        ASSERT_EQ(samples[2 * i + 1], int16_t(-(expected % 32768))) << c.what;
      }
    }
    // Only whole blocks are ever asked for, and only as many as the stream needed.
    EXPECT_EQ(ramp.calls, (expected + 255) / 256) << c.what;
    for (int32_t asked : ramp.framesAsked) {
      EXPECT_EQ(asked, AudioBlockPuller::kBlockFrames) << c.what;
    }
  }
}

TEST(AudioBlockPullerTest, SilenceWithoutCallback) {
  AudioBlockPuller puller;
  std::vector<int16_t> samples(600 * 2, 7);
  puller.Fill(samples.data(), 600);
  for (size_t i = 0; i < samples.size(); ++i) {
    ASSERT_EQ(samples[i], 0) << "value " << i;
  }
}

TEST(AudioBlockPullerTest, SwitchingCallbacksFinishesTheStagedBlockFirst) {
  AudioBlockPuller puller;
  Ramp ramp;
  puller.SetCallback(&WriteRamp, &ramp);
  std::vector<int16_t> samples(512 * 2, -1);
  puller.Fill(samples.data(), 100);
  puller.SetCallback(&WriteOnes, nullptr);
  puller.Fill(samples.data(), 512);
  EXPECT_EQ(samples[0], 100);        // the rest of the ramp's block
  EXPECT_EQ(samples[2 * 155], 255);
  EXPECT_EQ(samples[2 * 156], 1);    // then the new callback's
  EXPECT_EQ(samples[2 * 511 + 1], 1);
  EXPECT_EQ(ramp.calls, 1);

  puller.SetCallback(nullptr, nullptr);
  puller.Fill(samples.data(), 512);
  EXPECT_EQ(samples[2 * 155], 1);    // the 156 frames left of the ones' block
  EXPECT_EQ(samples[2 * 156], 0);    // then silence
  EXPECT_EQ(samples[2 * 511 + 1], 0);
}

TEST(AudioBlockPullerTest, EmptyRequestsPullNothing) {
  AudioBlockPuller puller;
  Ramp ramp;
  puller.SetCallback(&WriteRamp, &ramp);
  int16_t samples[2] = {-1, -1};
  puller.Fill(samples, 0);
  puller.Fill(samples, -5);
  puller.Fill(nullptr, 256);
  EXPECT_EQ(ramp.calls, 0);
  EXPECT_EQ(samples[0], -1);
}

}  // namespace

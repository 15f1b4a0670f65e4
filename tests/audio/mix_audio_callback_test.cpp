#include "audio/mix_audio_callback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/listener_view.h"
#include "audio/mixer3d.h"
#include "audio/sdl_audio_streamer.h"
#include "tests/support/log_capture.h"

namespace Audio {
namespace {

constexpr float kRate = 44100.0f;

std::unique_ptr<Clip> ConstantClip(int32_t length, int16_t value) {
  auto clip = std::make_unique<Clip>();
  clip->samples.assign(static_cast<size_t>(length), value);
  return clip;
}

std::unique_ptr<Clip> ToneClip(int32_t length) {
  auto clip = std::make_unique<Clip>();
  clip->samples.resize(static_cast<size_t>(length));
  for (size_t i = 0; i < clip->samples.size(); ++i) {
    clip->samples[i] = static_cast<int16_t>(12000 * std::sin(0.0627 * i));
  }
  return clip;
}

TEST(MixSampleToInt16Test, ScalesTruncatesAndClamps) {
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  const struct {
    float mix;
    int16_t sample;
  } cases[] = {
      {0.0f, 0},          {0.5f, 16384},    {-0.5f, -16384},       {1.0f, 32767},
      {-1.0f, -32768},    {1.5f, 32767},    {-1.5f, -32768},       {0.99999f, 32767},
      {1e-5f, 0},         {-2e-5f, 0},      {100.0f / 32768, 100}, {-100.9f / 32768, -100},
      {INFINITY, 32767},  {-INFINITY, -32768}, {kNaN, 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MixSampleToInt16(c.mix), c.sample) << c.mix;
  }
}

TEST(MixAudioCallbackTest, FillsLongRequestsCompletelyWithoutWarnings) {
  const auto clip = ConstantClip(20000, 16384);
  Mixer3D mixer(kRate, 2);
  // A plain emitter is fully low-passed; the filter settles on its input within a few dozen
  // frames, so from then on every frame reads 0.5.
  mixer.CreateEmitter(EmitterType::Plain, clip.get(), 0);
  std::vector<int16_t> samples(2 * 5000, -1);
  LogCapture log;
  MixAudioCallback(samples.data(), 5000, &mixer);
  EXPECT_TRUE(log.Messages().empty());
  EXPECT_EQ(mixer.Clock(), 5000);
  // Until the first reverb echo the output is the direct sound alone.
  for (size_t i = 2 * 100; i < 2 * 1693; ++i) ASSERT_NEAR(samples[i], 16384, 1) << i;
  // The reverb then adds to it, up to the end of the request.
  for (size_t i = 2 * 4900; i < samples.size(); ++i) ASSERT_GT(samples[i], 16384) << i;
}

TEST(MixAudioCallbackTest, WithoutAStereoMixerWritesSilence) {
  CheckCapture checks;  // the one-channel mixer's failed assumption
  Mixer3D mono(kRate, 1);
  for (void* user : {static_cast<void*>(nullptr), static_cast<void*>(&mono)}) {
    std::vector<int16_t> samples(2 * 256, 99);
    MixAudioCallback(samples.data(), 256, user);
    for (int16_t s : samples) ASSERT_EQ(s, 0);
  }
  MixAudioCallback(nullptr, 256, &mono);  // nothing to write to: nothing happens
}

// ---------------------------------------------------------------------------------------------
// Driven by the real SDL output (on SDL's dummy driver, which consumes samples at the real
// rate without a sound device).

// Passes every block to MixAudioCallback with the mixer as its user pointer, as the
// application installs it, and keeps a copy of what it wrote.
struct Tap {
  Mixer3D* mixer = nullptr;
  std::mutex mutex;
  std::vector<int16_t> written;
  std::atomic<int> blocks{0};
};

void TapCallback(int16_t* samples, int32_t frames, void* user) {
  auto* tap = static_cast<Tap*>(user);
  MixAudioCallback(samples, frames, tap->mixer);
  {
    std::lock_guard<std::mutex> lock(tap->mutex);
    tap->written.insert(tap->written.end(), samples, samples + 2 * frames);
  }
  tap->blocks.fetch_add(1);
}

template <typename Predicate>
bool WaitUntil(Predicate predicate) {
  // Only guards against a hang; nothing here measures time.
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > giveUp) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class MixerOnSdlOutputTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("SDL_AUDIODRIVER", "dummy", 1); }

  // Runs the output until `blocks` blocks have been mixed and returns what was written.
  std::vector<int16_t> Play(Mixer3D& mixer, int blocks) {
    Tap tap;
    tap.mixer = &mixer;
    SdlAudioStreamer streamer;
    EXPECT_TRUE(streamer.IsOpen());
    streamer.SetCallback(&TapCallback, &tap);
    EXPECT_TRUE(WaitUntil([&] { return tap.blocks.load() >= blocks; }));
    streamer.SetCallback(nullptr, nullptr);  // the callback is not running after this
    return tap.written;
  }
};

TEST_F(MixerOnSdlOutputTest, WithoutEmittersPlaysExactSilence) {
  Mixer3D mixer(kRate, 2);
  SetListenerFromView(mixer, {0, 1, 2}, Matrix4x4::Identity());
  const std::vector<int16_t> written = Play(mixer, 20);
  ASSERT_GE(written.size(), 2u * 256 * 20);
  for (int16_t s : written) ASSERT_EQ(s, 0);
}

TEST_F(MixerOnSdlOutputTest, OneEmitterIsHeard) {
  const auto clip = ToneClip(44100);
  Mixer3D mixer(kRate, 2);
  SetListenerFromView(mixer, {0, 1, 2}, Matrix4x4::Identity());
  Emitter* emitter = mixer.CreateEmitter(EmitterType::Positional, clip.get(), 0);
  ASSERT_TRUE(mixer.SetEmitter(emitter, {-1, 1, 2}, 1.0f, 1.0f));  // 1 m to the left
  const std::vector<int16_t> written = Play(mixer, 20);
  int64_t left = 0, right = 0;
  for (size_t i = 0; i + 1 < written.size(); i += 2) {
    left += std::abs(written[i]);
    right += std::abs(written[i + 1]);
  }
  EXPECT_GT(left, 0);
  EXPECT_GT(right, 0);
  EXPECT_GT(left, right);  // the nearer ear hears more
}

// The frame thread keeps creating, moving and listening while the output thread mixes; the
// auto-removed emitters' stale pointers must stay harmless. Run under ThreadSanitizer to see
// the lock discipline at work.
TEST_F(MixerOnSdlOutputTest, FrameThreadAndOutputThreadShareTheMixer) {
  const auto shortClip = ToneClip(300);
  const auto longClip = ToneClip(44100);
  Mixer3D mixer(kRate, 2);
  Tap tap;
  tap.mixer = &mixer;
  {
    SdlAudioStreamer streamer;
    streamer.SetCallback(&TapCallback, &tap);
    Emitter* moving = mixer.CreateEmitter(EmitterType::Positional, longClip.get(),
                                          EmitterFlags::Persistent);
    std::vector<Emitter*> shortLived;
    const int target = tap.blocks.load() + 30;
    for (int frame = 0; tap.blocks.load() < target && frame < 100000; ++frame) {
      const float t = 0.01f * frame;
      SetListenerFromView(mixer, {std::sin(t), 1, 2}, Matrix4x4::Identity());
      EXPECT_TRUE(mixer.SetEmitter(moving, {std::cos(t), 1, 0}, 1.0f, 1.0f));
      if (frame % 5 == 0) {
        shortLived.push_back(mixer.CreateEmitter(EmitterType::Positional, shortClip.get(),
                                                 EmitterFlags::AutoRemove));
      }
      for (Emitter* e : shortLived) mixer.SetEmitter(e, {0, 1, 1}, 0.5f, 1.0f);
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    streamer.SetCallback(nullptr, nullptr);
  }
  // Let the remaining short emitters play out on this thread, then only the persistent one is left.
  for (int i = 0; i < 4; ++i) {
    float out[2 * 256];
    mixer.Mix(out, 256);
  }
  EXPECT_EQ(mixer.EmitterCount(), 1);
  EXPECT_EQ(shortClip->useCount, 0);
  EXPECT_EQ(longClip->useCount, 1);
  EXPECT_GE(tap.blocks.load(), 30);
}

}  // namespace
}  // namespace Audio

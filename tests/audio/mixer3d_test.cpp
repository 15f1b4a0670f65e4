#include "audio/mixer3d.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <vector>

#include "audio/ear_response.h"
#include "audio/listener_view.h"
#include "base/log.h"
#include "tests/support/log_capture.h"

namespace Audio {
namespace {

constexpr float kRate = 44100.0f;
// The shortest comb line is 1693 samples: until then the reverb adds nothing, so the first
// 1024 frames of a fresh mixer are the emitters' direct sound alone.
constexpr int32_t kDryFrames = 1024;

std::unique_ptr<Clip> MakeClip(std::vector<int16_t> samples, int32_t channels = 1) {
  auto clip = std::make_unique<Clip>();
  clip->samples = std::move(samples);
  clip->channels = channels;
  clip->sampleRate = kRate;
  return clip;
}

// Silence with one sample of value at index `at`.
std::unique_ptr<Clip> ImpulseClip(int32_t length, int32_t at, int16_t value) {
  std::vector<int16_t> samples(static_cast<size_t>(length), 0);
  samples[static_cast<size_t>(at)] = value;
  return MakeClip(std::move(samples));
}

std::vector<float> MixFrames(Mixer3D& mixer, int32_t frames) {
  std::vector<float> out(2 * static_cast<size_t>(frames), 0.0f);
  mixer.Mix(out.data(), frames);
  return out;
}

std::vector<float> Channel(const std::vector<float>& interleaved, int channel) {
  std::vector<float> out;
  for (size_t i = static_cast<size_t>(channel); i < interleaved.size(); i += 2) {
    out.push_back(interleaved[i]);
  }
  return out;
}

double Sum(const std::vector<float>& values) {
  double sum = 0.0;
  for (float v : values) sum += v;
  return sum;
}

// Rotation by 180 degrees about y: the listener turned round, so left and right swap.
Matrix4x4 TurnedRound() {
  Matrix4x4 m = Matrix4x4::Identity();
  m.m[0] = -1.0f;
  m.m[10] = -1.0f;
  return m;
}

// ---------------------------------------------------------------------------------------------
// The ear model.

struct EarCase {
  const char* name;
  EarPlacement ear;
  Vec3 source;  // head space
  float gain, delaySamples, direction, blend;
};

TEST(EarResponseTest, MatchesTheHeadModelFigures) {
  const EarPlacement left = LeftEarPlacement();
  const EarPlacement right = RightEarPlacement();
  const EarCase cases[] = {
      // A source 1 m from the left ear, on its side: loud, early, unfiltered.
      {"left ear 1 m", left, {-1.15f, 0, 0}, 1.0f, 129.6f, -0.98f, 0.0f},
      // The same source 1.3 m from the right ear, behind the head: quieter, later, muffled.
      {"right ear 1.3 m", right, {-1.15f, 0, 0}, 0.592f, 168.5f, 0.98f, 1.0f},
      // 0.1 m away the inverse square would give 100; the cap holds it at 3.
      {"left ear 0.1 m", left, {-0.25f, 0, 0}, 3.0f, 12.96f, -0.98f, 0.0f},
      {"left ear 0.1 m in front", left, {-0.15f, 0, -0.1f}, 3.0f, 12.96f, -0.196f, 0.0f},
  };
  for (const EarCase& c : cases) {
    SCOPED_TRACE(c.name);
    const EarResponse r = PositionalEarResponse(c.ear, c.source, 1.0f, kRate);
    EXPECT_NEAR(r.gain, c.gain, 1e-3f);
    EXPECT_NEAR(r.delaySamples, c.delaySamples, 0.05f);
    EXPECT_NEAR(r.direction, c.direction, 1e-3f);
    EXPECT_FLOAT_EQ(HeadShadowBlend(r.direction), c.blend);
  }
}

TEST(EarResponseTest, StaysFiniteForASourceAtTheEarOrAtNoPlaceAtAll) {
  const EarPlacement left = LeftEarPlacement();
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  const Vec3 positions[] = {left.position, {kNaN, 0, 0}, {1e30f, 1e30f, 0}, {-INFINITY, 0, 0}};
  for (const Vec3& p : positions) {
    for (float volume : {1.0f, 0.0f, -2.0f, kNaN}) {
      const EarResponse r = PositionalEarResponse(left, p, volume, kRate);
      EXPECT_TRUE(std::isfinite(r.gain) && std::isfinite(r.delaySamples) &&
                  std::isfinite(r.direction))
          << p.x << " volume " << volume;
    }
  }
  // Exactly at the ear: capped gain, no delay, and direction 0 (half-way into the shadow).
  const EarResponse atEar = PositionalEarResponse(left, left.position, 1.0f, kRate);
  EXPECT_EQ(atEar.gain, kMaxEarGain);
  EXPECT_LT(atEar.delaySamples, 0.01f);
  EXPECT_EQ(atEar.direction, 0.0f);
}

// ---------------------------------------------------------------------------------------------
// Mixing.

TEST(Mixer3DTest, WithoutEmittersMixesExactZeros) {
  Mixer3D mixer(kRate, 2);
  mixer.SetListener(Matrix4x4::Identity());
  for (int32_t frames : {256, 1, 2048, 1000, 256}) {
    std::vector<float> out(2 * static_cast<size_t>(frames), 1.0f);
    mixer.Mix(out.data(), frames);
    for (float v : out) ASSERT_EQ(v, 0.0f) << frames;
  }
  EXPECT_EQ(mixer.Clock(), 256 + 1 + 2048 + 1000 + 256);
}

TEST(Mixer3DTest, PositionalSourceOneMetreFromTheLeftEar) {
  constexpr int32_t kAt = 10;
  const auto clip = ImpulseClip(64, kAt, 16384);  // 0.5, outliving the mixer that plays it
  Mixer3D mixer(kRate, 2);
  mixer.SetListener(Matrix4x4::Identity());
  Emitter* emitter = mixer.CreateEmitter(EmitterType::Positional, clip.get(), 0);
  ASSERT_NE(emitter, nullptr);
  ASSERT_TRUE(mixer.SetEmitter(emitter, {-1.15f, 0, 0}, 1.0f, 1.0f));
  const std::vector<float> out = MixFrames(mixer, kDryFrames);
  const std::vector<float> left = Channel(out, 0);
  const std::vector<float> right = Channel(out, 1);

  // Left: gain 1 and blend 0, so the impulse arrives unfiltered, 129.6 samples late, split
  // between the two frames around its arrival time.
  const double expectedArrival = kAt + 1.0 * kSecondsPerMetre * kRate;  // 139.595
  double weighted = 0.0;
  for (int32_t k = 0; k < kDryFrames; ++k) {
    if (k == 139 || k == 140) {
      EXPECT_GT(left[k], 0.0f);
      weighted += k * left[k];
    } else {
      ASSERT_EQ(left[k], 0.0f) << k;
    }
  }
  EXPECT_NEAR(Sum(left), 0.5, 1e-5);
  EXPECT_NEAR(weighted / Sum(left), expectedArrival, 1e-3);

  // Right: 1.3 m, so gain 1/1.69, arriving at 10 + 168.5 samples, and fully low-passed: spread
  // over the following frames, with the filter's unit gain at DC keeping the total.
  for (int32_t k = 0; k <= 178; ++k) ASSERT_EQ(right[k], 0.0f) << k;
  EXPECT_NEAR(Sum(right), 0.5 / 1.69, 1e-4);
  int spread = 0;
  for (float v : right) spread += std::fabs(v) > 1e-4f ? 1 : 0;
  EXPECT_GT(spread, 10);
}

TEST(Mixer3DTest, GainIsCappedAtThreeForASourceNearTheEar) {
  const auto clip = ImpulseClip(64, 10, 4096);  // 0.125
  Mixer3D mixer(kRate, 2);
  mixer.SetListener(Matrix4x4::Identity());
  Emitter* emitter = mixer.CreateEmitter(EmitterType::Positional, clip.get(), 0);
  mixer.SetEmitter(emitter, {-0.25f, 0, 0}, 1.0f, 1.0f);  // 0.1 m from the left ear
  const std::vector<float> left = Channel(MixFrames(mixer, kDryFrames), 0);
  EXPECT_NEAR(Sum(left), 3.0 * 0.125, 1e-5);
}

TEST(Mixer3DTest, ListenerTurnedRoundSwapsTheEars) {
  const auto clip = ImpulseClip(64, 10, 16384);
  std::vector<float> facing, turned;
  for (bool turn : {false, true}) {
    Mixer3D mixer(kRate, 2);
    mixer.SetListener(turn ? TurnedRound() : Matrix4x4::Identity());
    Emitter* emitter = mixer.CreateEmitter(EmitterType::Positional, clip.get(), 0);
    mixer.SetEmitter(emitter, {-1.15f, 0, 0}, 1.0f, 1.0f);
    (turn ? turned : facing) = MixFrames(mixer, kDryFrames);
  }
  EXPECT_EQ(Channel(turned, 1), Channel(facing, 0));
  EXPECT_EQ(Channel(turned, 0), Channel(facing, 1));
}

TEST(Mixer3DTest, ListenerFollowsTheFrameView) {
  const auto clip = ImpulseClip(64, 10, 16384);
  Mixer3D reference(kRate, 2);
  reference.SetListener(Matrix4x4::Identity());
  reference.SetEmitter(reference.CreateEmitter(EmitterType::Positional, clip.get(), 0),
                       {-1.15f, 0, 0}, 1.0f, 1.0f);

  // The player stands at (1, 2, 3) turned round: a source 1.15 m to their right in the world
  // (+x), is on their left.
  Mixer3D mixer(kRate, 2);
  const Vec3 cameraOffset{1, 2, 3};
  const Matrix4x4 view = SetListenerFromView(mixer, cameraOffset, TurnedRound());
  const Vec3 cameraInHead = TransformPoint(view, cameraOffset);
  EXPECT_EQ(cameraInHead.x, 0.0f);
  EXPECT_EQ(cameraInHead.z, 0.0f);
  mixer.SetEmitter(mixer.CreateEmitter(EmitterType::Positional, clip.get(), 0),
                   {1 + 1.15f, 2, 3}, 1.0f, 1.0f);

  const std::vector<float> expected = MixFrames(reference, kDryFrames);
  const std::vector<float> actual = MixFrames(mixer, kDryFrames);
  for (size_t i = 0; i < expected.size(); ++i) ASSERT_NEAR(actual[i], expected[i], 1e-4f) << i;
}

TEST(Mixer3DTest, BeforeTheFirstListenerEverySourceIsAtTheCentreOfTheHead) {
  const auto clip = ImpulseClip(64, 10, 16384);
  Mixer3D mixer(kRate, 2);
  mixer.SetEmitter(mixer.CreateEmitter(EmitterType::Positional, clip.get(), 0), {100, 0, -40},
                   1.0f, 1.0f);
  const std::vector<float> out = MixFrames(mixer, kDryFrames);
  EXPECT_EQ(Channel(out, 0), Channel(out, 1));
  EXPECT_NEAR(Sum(Channel(out, 0)), 0.5 * kMaxEarGain, 1e-4);  // 0.15 m from each ear
}

TEST(Mixer3DTest, PlainEmitterStartsAtTheFirstFrameAfterCreation) {
  std::vector<int16_t> samples(600);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(50 * i);
  const auto clip = MakeClip(samples);

  Mixer3D early(kRate, 2);
  early.CreateEmitter(EmitterType::Plain, clip.get(), 0);
  const std::vector<float> fromStart = MixFrames(early, 256);

  Mixer3D late(kRate, 2);
  MixFrames(late, 256);
  late.CreateEmitter(EmitterType::Plain, clip.get(), 0);
  const std::vector<float> afterCreation = MixFrames(late, 256);

  EXPECT_EQ(afterCreation, fromStart);
  EXPECT_NE(Sum(Channel(fromStart, 0)), 0.0);
}

// Blocks of 256 frames; which block marks the emitter finished and what is left afterwards.
struct FinishCase {
  const char* name;
  EmitterType type;
  int32_t clipLength;
  uint32_t flags;
  int finishedInBlock;  // -1: never
  bool removed;
};

TEST(Mixer3DTest, EmittersFinishInTheBlockThatReachesTheirEnd) {
  using namespace EmitterFlags;
  const FinishCase cases[] = {
      {"ends inside block 1", EmitterType::Plain, 300, AutoRemove, 1, true},
      {"ends exactly at block 1's end", EmitterType::Plain, 512, AutoRemove, 1, true},
      {"one sample more", EmitterType::Plain, 513, AutoRemove, 2, true},
      {"ends with block 0", EmitterType::Plain, 256, AutoRemove, 0, true},
      {"kept when finished", EmitterType::Plain, 300, 0, 1, false},
      {"persistent", EmitterType::Plain, 300, Persistent, -1, false},
      {"persistent wins over auto-remove", EmitterType::Plain, 300, Persistent | AutoRemove, -1,
       false},
      // 1 m from the left ear the sound is 129.6 samples late, so it ends later too.
      {"delayed, 300 samples", EmitterType::Positional, 300, AutoRemove, 1, true},
      {"delayed, 400 samples", EmitterType::Positional, 400, AutoRemove, 2, true},
  };
  for (const FinishCase& c : cases) {
    SCOPED_TRACE(c.name);
    const auto clip = MakeClip(std::vector<int16_t>(static_cast<size_t>(c.clipLength), 1000));
    {
      Mixer3D mixer(kRate, 2);
      mixer.SetListener(Matrix4x4::Identity());
      Emitter* emitter = mixer.CreateEmitter(c.type, clip.get(), c.flags);
      ASSERT_TRUE(mixer.SetEmitter(emitter, {-1.15f, 0, 0}, 1.0f, 1.0f));
      EXPECT_EQ(clip->useCount, 1);
      int finishedInBlock = -1;
      for (int block = 0; block < 4; ++block) {
        MixFrames(mixer, 256);
        const bool present = mixer.SetEmitter(emitter, {-1.15f, 0, 0}, 1.0f, 1.0f);
        if (!present) {
          // Removed by the very Mix call that finished it.
          if (finishedInBlock < 0) finishedInBlock = block;
          EXPECT_EQ(mixer.EmitterCount(), 0);
          EXPECT_EQ(clip->useCount, 0);
          continue;
        }
        if (emitter->finished && finishedInBlock < 0) finishedInBlock = block;
      }
      EXPECT_EQ(finishedInBlock, c.finishedInBlock);
      EXPECT_EQ(mixer.EmitterCount(), c.removed ? 0 : 1);
    }
    EXPECT_EQ(clip->useCount, 0);  // the mixer's destruction releases what it kept
  }
}

TEST(Mixer3DTest, StereoClipsPlayOnlyAsPlainEmitters) {
  // Two frames of two channels: a plain emitter reads the four values one after the other.
  const auto stereo = MakeClip({1000, 2000, 3000, 4000}, 2);
  Mixer3D mixer(kRate, 2);
  LogCapture log;
  EXPECT_EQ(mixer.CreateEmitter(EmitterType::Positional, stereo.get(), 0), nullptr);
  EXPECT_TRUE(log.Messages().empty());
  EXPECT_EQ(stereo->useCount, 0);

  Emitter* plain = mixer.CreateEmitter(EmitterType::Plain, stereo.get(), 0);
  ASSERT_NE(plain, nullptr);
  MixFrames(mixer, 2);
  EXPECT_FALSE(plain->finished);
  MixFrames(mixer, 2);
  EXPECT_TRUE(plain->finished);
}

TEST(Mixer3DTest, DistanceChangesShiftThePitch) {
  // A 4410 Hz tone (10 samples per period) on a source moving along the left ear's axis at a
  // tenth of the speed of sound: heard 10% lower going away, 10% higher coming closer.
  std::vector<int16_t> tone(20000);
  for (size_t i = 0; i < tone.size(); ++i) {
    tone[i] = static_cast<int16_t>(16000 * std::sin(2 * std::numbers::pi * (i + 0.25) / 10));
  }
  const auto clip = MakeClip(tone);
  constexpr float kSpeed = 0.1f / kSecondsPerMetre;  // metres per second
  constexpr int32_t kBlock = 256;
  struct DopplerCase {
    float velocity;  // away from the ear
    float pitch;
  } cases[] = {{kSpeed, 0.9f}, {0.0f, 1.0f}, {-kSpeed, 1.1f}};
  for (const DopplerCase& c : cases) {
    SCOPED_TRACE(c.velocity);
    Mixer3D mixer(kRate, 2);
    mixer.SetListener(Matrix4x4::Identity());
    Emitter* emitter = mixer.CreateEmitter(EmitterType::Positional, clip.get(), 0);
    float distance = 2.0f;
    std::vector<float> left;
    // Block 0 starts the ramps; blocks 1 to 5 (all before the first reverb echo) are counted.
    for (int block = 0; block < 6; ++block) {
      mixer.SetEmitter(emitter, {-0.15f - distance, 0, 0}, 1.0f, 1.0f);
      const std::vector<float> out = Channel(MixFrames(mixer, kBlock), 0);
      if (block > 0) left.insert(left.end(), out.begin(), out.end());
      distance += c.velocity * kBlock / kRate;
    }
    int crossings = 0;
    for (size_t k = 1; k < left.size(); ++k) {
      crossings += (left[k - 1] < 0) != (left[k] < 0) ? 1 : 0;
    }
    const float expected = 2.0f * left.size() / 10.0f * c.pitch;
    EXPECT_NEAR(crossings, expected, 3.0f);
  }
}

TEST(Mixer3DTest, SourcesAtTheEarOrNowhereNeverMakeTheOutputNonFinite) {
  std::vector<int16_t> noise(30000);
  uint32_t seed = 1;
  for (int16_t& s : noise) {
    seed = seed * 1664525u + 1013904223u;
    s = static_cast<int16_t>(seed >> 16);
  }
  const auto clip = MakeClip(noise);
  Mixer3D mixer(kRate, 2);
  mixer.SetListener(Matrix4x4::Identity());
  constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
  const Vec3 positions[] = {LeftEarPlacement().position, RightEarPlacement().position,
                            {kNaN, 0, 0}, {1e30f, 0, 1e30f}};
  for (const Vec3& p : positions) {
    for (float volume : {1.0f, 0.0f}) {
      mixer.SetEmitter(mixer.CreateEmitter(EmitterType::Positional, clip.get(), 0), p, volume,
                       1.0f);
    }
  }
  // Plus a normal source, which must still be heard next to them.
  mixer.SetEmitter(mixer.CreateEmitter(EmitterType::Positional, clip.get(), 0), {0, 0, -2},
                   1.0f, 1.0f);
  double energy = 0.0;
  for (int block = 0; block < 40; ++block) {  // long enough for the reverb to feed back
    for (float v : MixFrames(mixer, 256)) {
      ASSERT_TRUE(std::isfinite(v)) << "block " << block;
      energy += double(v) * v;
    }
  }
  EXPECT_GT(energy, 0.0);
}

TEST(Mixer3DTest, OversizedRequestsAreCutTo2048Frames) {
  Mixer3D mixer(kRate, 2);
  constexpr float kUntouched = 12345.0f;
  std::vector<float> out(2 * 3000, kUntouched);
  LogCapture log;
  mixer.Mix(out.data(), 3000);
  ASSERT_EQ(log.Messages().size(), 1u);
  EXPECT_EQ(log.Messages()[0].first, static_cast<int>(LogLevel::Warning));
  EXPECT_EQ(log.Messages()[0].second, "Too big frame requested: 3000");
  for (size_t i = 0; i < out.size(); ++i) {
    ASSERT_EQ(out[i], i < 2 * 2048 ? 0.0f : kUntouched) << i;
  }
  EXPECT_EQ(mixer.Clock(), 2048);
}

TEST(Mixer3DTest, MisuseIsReportedAsFailedChecks) {
  {
    CheckCapture checks;
    Mixer3D mixer(kRate, 2);
    EXPECT_EQ(mixer.CreateEmitter(EmitterType::Plain, nullptr, 0), nullptr);
    ASSERT_EQ(checks.Count(), 1);
    EXPECT_NE(checks.Messages()[0].find("Audio::Mixer3D::CreateEmitter"), std::string::npos);
  }
  {
    CheckCapture checks;
    auto clip = MakeClip({1, 2, 3});
    clip->useCount = 1;  // as if an emitter still played it
    clip.reset();
    ASSERT_EQ(checks.Count(), 1);
    EXPECT_NE(checks.Messages()[0].find("Audio::Clip::~Clip"), std::string::npos);
  }
  {
    CheckCapture checks;
    LogCapture log;
    const auto clip = MakeClip({1000, 1000});
    Mixer3D mono(kRate, 1);
    EXPECT_EQ(checks.Count(), 1);
    EXPECT_TRUE(log.Contains("Assumption failed"));
    // Without ears it mixes nothing, and says so by leaving the buffer alone.
    mono.CreateEmitter(EmitterType::Plain, clip.get(), EmitterFlags::AutoRemove);
    std::vector<float> out(512, 7.0f);
    mono.Mix(out.data(), 256);
    for (float v : out) ASSERT_EQ(v, 7.0f);
  }
}

}  // namespace
}  // namespace Audio

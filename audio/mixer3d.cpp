#include "audio/mixer3d.h"

#include <algorithm>
#include <cmath>

#include "base/check.h"
#include "base/log.h"

namespace Audio {

namespace {

// Each ear's six combs, all of different lengths, so the two ears' reverbs do not ring in step.
constexpr std::array<int32_t, CombReverb::kLines> kLeftCombLengths = {1693, 1827, 1965,
                                                                      2043, 2175, 2357};
constexpr std::array<int32_t, CombReverb::kLines> kRightCombLengths = {1713, 1787, 2048,
                                                                       2001, 2276, 2272};

// Chamberlin state-variable filter standing in for the head's shadow.
constexpr float kShadowFrequency = 0.4f;
constexpr float kShadowDamping = 1.0f;

constexpr float kSampleScale = 1.0f / 32768.0f;

}  // namespace

Mixer3D::Ear::Ear(const EarPlacement& earPlacement,
                  const std::array<int32_t, CombReverb::kLines>& combLengths)
    : placement(earPlacement),
      reverb(combLengths, kMaxFrames),
      accumulation(kMaxFrames, 0.0f) {}

static_assert(Emitter::kEars == 2, "the mixer is stereo: its hot loop runs exactly two ears");

Mixer3D::Mixer3D(float sampleRate, int32_t channels)
    : sampleRate_(sampleRate), channels_(channels) {
  ASSUME(channels == 2);
  if (channels != 2) {
    return;
  }
  ears_.reserve(2);
  ears_.emplace_back(LeftEarPlacement(), kLeftCombLengths);
  ears_.emplace_back(RightEarPlacement(), kRightCombLengths);
}

Mixer3D::~Mixer3D() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const std::unique_ptr<Emitter>& emitter : emitters_) {
    --emitter->clip->useCount;
  }
  emitters_.clear();
}

Emitter* Mixer3D::CreateEmitter(EmitterType type, Clip* clip, uint32_t flags) {
  CHECK(clip != nullptr);
  if (clip == nullptr) {
    return nullptr;
  }
  if (type == EmitterType::Positional && clip->channels > 1) {
    return nullptr;  // two ears need one signal to place
  }
  auto emitter = std::make_unique<Emitter>();
  emitter->type = type;
  emitter->flags = flags;
  emitter->clip = clip;
  Emitter* const handle = emitter.get();
  std::lock_guard<std::mutex> lock(mutex_);
  emitter->startClock = clock_;
  ++clip->useCount;
  emitters_.push_back(std::move(emitter));
  return handle;
}

bool Mixer3D::SetEmitter(Emitter* emitter, Vec3 position, float volume, float rate) {
  std::lock_guard<std::mutex> lock(mutex_);
  for (const std::unique_ptr<Emitter>& candidate : emitters_) {
    if (candidate.get() == emitter) {
      emitter->position = position;
      emitter->volume = volume;
      emitter->rate = rate;
      return true;
    }
  }
  return false;
}

void Mixer3D::SetListener(const Matrix4x4& worldToHead) {
  std::lock_guard<std::mutex> lock(mutex_);
  listener_ = worldToHead;
}

int64_t Mixer3D::Clock() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return clock_;
}

int32_t Mixer3D::EmitterCount() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int32_t>(emitters_.size());
}

void Mixer3D::Mix(float* out, int32_t frames) {
  if (frames > kMaxFrames) {
    Log(LogLevel::Warning, "Too big frame requested: %d", frames);
    frames = kMaxFrames;
  }
  if (out == nullptr || frames <= 0) {
    return;
  }
  for (Ear& ear : ears_) {
    std::fill_n(ear.accumulation.data(), frames, 0.0f);
  }
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!ears_.empty()) {
      for (const std::unique_ptr<Emitter>& emitter : emitters_) {
        if (!emitter->finished) {
          MixEmitter(*emitter, frames);
        }
      }
    }
    std::erase_if(emitters_, [](const std::unique_ptr<Emitter>& emitter) {
      if (!emitter->finished || (emitter->flags & EmitterFlags::AutoRemove) == 0) {
        return false;
      }
      --emitter->clip->useCount;
      return true;
    });
    clock_ += frames;
  }
  for (Ear& ear : ears_) {
    ear.reverb.Process(ear.accumulation.data(), frames);
  }
  const size_t channels = ears_.size();
  for (size_t c = 0; c < channels; ++c) {
    const float* mix = ears_[c].accumulation.data();
    for (int32_t k = 0; k < frames; ++k) {
      out[k * channels + c] = mix[k];
    }
  }
}

namespace {

// One ear's view of an emitter over a block: everything ramps linearly across the block.
struct EarRamp {
  float position, positionStep;
  float gain, gainStep;
  float direction, directionStep;
  float low, band;  // head-shadow filter state
  float* out;
};

// One frame of one ear: read the clip, filter, blend, add, step.
inline void MixFrame(EarRamp& ear, const int16_t* samples, int64_t sampleCount,
                     float sampleCountF, int32_t k) {
  // Linear interpolation between the two samples around the read position; anything outside
  // the clip, including the time before the sound has travelled to this ear, is silence. The
  // range test comes first so that no out-of-range (or NaN) position is ever converted.
  float x = 0.0f;
  if (ear.position > -1.0f && ear.position < sampleCountF) {
    int64_t j = static_cast<int64_t>(ear.position);  // truncates towards zero...
    if (ear.position < static_cast<float>(j)) {
      --j;  // ...so step down to the floor for -1 < position < 0
    }
    const float fraction = ear.position - static_cast<float>(j);
    const float s0 = (j >= 0 && j < sampleCount) ? samples[j] * kSampleScale : 0.0f;
    const float s1 = (j + 1 < sampleCount) ? samples[j + 1] * kSampleScale : 0.0f;
    x = ((1.0f - fraction) * s0 + fraction * s1) * ear.gain;
  }
  ear.low = ear.low + kShadowFrequency * ear.band;
  const float high = x - ear.low - kShadowDamping * ear.band;
  ear.band = ear.band + kShadowFrequency * high;
  const float blend = HeadShadowBlend(ear.direction);
  ear.out[k] += (1.0f - blend) * x + blend * ear.low;
  ear.position += ear.positionStep;
  ear.gain += ear.gainStep;
  ear.direction += ear.directionStep;
}

}  // namespace

void Mixer3D::MixEmitter(Emitter& emitter, int32_t n) {
  const std::vector<int16_t>& samples = emitter.clip->samples;
  const int64_t sampleCount = static_cast<int64_t>(samples.size());
  const float sampleCountF = static_cast<float>(sampleCount);
  const bool positional = emitter.type == EmitterType::Positional;
  const Vec3 headPosition = TransformPoint(listener_, emitter.position);
  const double elapsed = static_cast<double>(clock_ - emitter.startClock);

  EarRamp ramps[Emitter::kEars];
  for (int i = 0; i < Emitter::kEars; ++i) {
    EmitterEarState& state = emitter.ears[i];
    const EarResponse target =
        positional
            ? PositionalEarResponse(ears_[i].placement, headPosition, emitter.volume, sampleRate_)
            : EarResponse{emitter.volume, 0.0f, 1.0f};
    if (state.previousDelay < 0.0f) {
      state.previousGain = target.gain;
      state.previousDelay = target.delaySamples;
      state.previousDirection = target.direction;
    }
    // Gain, direction and read position move from where the last block left them to this
    // block's targets. The read position advancing at other than `rate` while the delay changes
    // is the Doppler shift.
    const float startPosition = static_cast<float>(elapsed * emitter.rate - state.previousDelay);
    const float endPosition =
        static_cast<float>((n + elapsed) * emitter.rate - target.delaySamples);
    EarRamp& ramp = ramps[i];
    ramp.position = startPosition;
    ramp.positionStep = (endPosition - startPosition) / n;
    ramp.gain = state.previousGain;
    ramp.gainStep = (target.gain - state.previousGain) / n;
    ramp.direction = state.previousDirection;
    ramp.directionStep = (target.direction - state.previousDirection) / n;
    ramp.low = state.low;
    ramp.band = state.band;
    ramp.out = ears_[i].accumulation.data();

    // The block-end position itself rather than the stepped sum, which drifts by float rounding.
    if ((emitter.flags & EmitterFlags::Persistent) == 0 &&
        static_cast<double>(endPosition) >= static_cast<double>(sampleCount)) {
      emitter.finished = true;
    }
    state.previousGain = target.gain;
    state.previousDelay = target.delaySamples;
    state.previousDirection = target.direction;
  }

  // Both ears in one pass: each ear's filter is a serial chain of dependent float operations,
  // and two independent chains side by side keep the core busy twice as well as one.
  const int16_t* data = samples.data();
  for (int32_t k = 0; k < n; ++k) {
    MixFrame(ramps[0], data, sampleCount, sampleCountF, k);
    MixFrame(ramps[1], data, sampleCount, sampleCountF, k);
  }
  for (int i = 0; i < Emitter::kEars; ++i) {
    emitter.ears[i].low = ramps[i].low;
    emitter.ears[i].band = ramps[i].band;
  }
}

}  // namespace Audio

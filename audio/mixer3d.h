#pragma once
// Audio::Mixer3D: turns a set of emitters into a stereo stream for a listener's head. Positional
// emitters reach each of the two ears with a travel delay (which also gives Doppler shift when
// distances change) and inverse-square loudness, muffled when the head shadows the ear; each
// ear then gets a small comb reverb.
//
// Threads: the frame thread calls SetListener, CreateEmitter and SetEmitter; the audio output
// thread calls Mix. One mutex guards the emitters (and their clips' use counts), the listener
// and the clock. Mix holds it while mixing emitters and releases it before the reverb, which
// touches only the ears and so only the output thread's own state.
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/clip.h"
#include "audio/comb_reverb.h"
#include "audio/ear_response.h"
#include "audio/emitter.h"
#include "base/math_types.h"

namespace Audio {

class Mixer3D {
 public:
  // Longest block Mix renders in one call; longer requests are cut to this, with a warning.
  static constexpr int32_t kMaxFrames = 2048;

  // channels must be 2 (a failed assumption otherwise, and the mixer has no ears).
  Mixer3D(float sampleRate, int32_t channels);
  // Destroys every emitter, releasing its clip. Clips must outlive the mixer's use of them.
  ~Mixer3D();
  Mixer3D(const Mixer3D&) = delete;
  Mixer3D& operator=(const Mixer3D&) = delete;

  // Starts clip now (at the current clock). A null clip is a failed check; a positional emitter
  // for a clip of more than one channel is refused (null). The pointer stays valid until the
  // emitter is auto-removed or the mixer is destroyed; stale pointers are harmless to SetEmitter.
  Emitter* CreateEmitter(EmitterType type, Clip* clip, uint32_t flags);
  // False, touching nothing, when emitter is not (or no longer) one of this mixer's.
  bool SetEmitter(Emitter* emitter, Vec3 position, float volume, float rate);
  // worldToHead maps world points into head space (x right, -z forward). All zero until the
  // first call, which puts every positional emitter at the centre of the head.
  void SetListener(const Matrix4x4& worldToHead);

  // Mixes frames (at most kMaxFrames) into out as interleaved floats, channel 0 first, and
  // advances the clock. out must hold frames x 2 floats. Output thread only; allocates nothing.
  void Mix(float* out, int32_t frames);

  float SampleRate() const { return sampleRate_; }
  int32_t Channels() const { return channels_; }
  // Output frames mixed since construction.
  int64_t Clock() const;
  int32_t EmitterCount() const;

 private:
  struct Ear {
    Ear(const EarPlacement& placement, const std::array<int32_t, CombReverb::kLines>& combLengths);
    EarPlacement placement;
    CombReverb reverb;
    std::vector<float> accumulation;  // this block's mix, kMaxFrames floats
  };

  // Adds one emitter's next n frames to every ear. Called with mutex_ held.
  void MixEmitter(Emitter& emitter, int32_t n);

  const float sampleRate_;
  const int32_t channels_;
  std::vector<Ear> ears_;

  mutable std::mutex mutex_;  // guards everything below
  int64_t clock_ = 0;
  Matrix4x4 listener_;  // world to head
  std::vector<std::unique_ptr<Emitter>> emitters_;  // in creation order
};

}  // namespace Audio

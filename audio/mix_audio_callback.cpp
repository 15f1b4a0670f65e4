#include "audio/mix_audio_callback.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/mixer3d.h"

namespace Audio {

int16_t MixSampleToInt16(float f) {
  const float v = f * 32768.0f;
  if (v >= 32767.0f) {
    return 32767;
  }
  if (v < -32768.0f) {
    return -32768;
  }
  if (std::isnan(v)) {
    return 0;  // converting it would be undefined
  }
  return static_cast<int16_t>(static_cast<int32_t>(v));
}

}  // namespace Audio

void MixAudioCallback(int16_t* samples, int32_t frames, void* user) {
  if (samples == nullptr || frames <= 0) {
    return;
  }
  auto* mixer = static_cast<Audio::Mixer3D*>(user);
  constexpr int32_t kChannels = 2;
  if (mixer == nullptr || mixer->Channels() != kChannels) {
    std::memset(samples, 0, sizeof(int16_t) * kChannels * static_cast<size_t>(frames));
    return;
  }
  // On the stack: the callback runs on the output thread and must not allocate. Requests
  // longer than the mixer's block are mixed block after block instead of being cut short.
  float mix[kChannels * Audio::Mixer3D::kMaxFrames];
  for (int32_t done = 0; done < frames;) {
    const int32_t block = std::min(frames - done, Audio::Mixer3D::kMaxFrames);
    mixer->Mix(mix, block);
    int16_t* out = samples + static_cast<size_t>(kChannels) * done;
    for (int32_t i = 0; i < kChannels * block; ++i) {
      out[i] = Audio::MixSampleToInt16(mix[i]);
    }
    done += block;
  }
}

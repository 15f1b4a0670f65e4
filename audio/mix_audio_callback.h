#pragma once
// The mixer as the audio output's callback.
//
//   streamer->SetCallback(MixAudioCallback, &mixer);   // once the mixer exists
//   ...
//   streamer->SetCallback(nullptr, nullptr);           // before the mixer is destroyed, unless
//                                                      // the streamer goes first
//
// SetCallback waits for a running callback to return, so it must never be called from inside
// the callback. The mixer's lock is only ever held inside the mixer's own calls, so no caller
// can be holding it while calling SetCallback.
#include <cstdint>

namespace Audio {

// v = f x 32768; 32767 from v >= 32767 up, -32768 below -32768, otherwise v truncated towards
// zero. NaN gives 0.
int16_t MixSampleToInt16(float f);

}  // namespace Audio

// An AudioCallback; user is the Audio::Mixer3D. Writes frames x 2 interleaved 16-bit values,
// mixed in blocks of at most Mixer3D::kMaxFrames, so any request is filled completely. Silence
// when user is null or is not a stereo mixer. Allocates nothing.
void MixAudioCallback(int16_t* samples, int32_t frames, void* user);

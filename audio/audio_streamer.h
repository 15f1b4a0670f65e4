#pragma once
// AudioStreamer: the audio output, a pull model. The streamer keeps the sound device fed from its
// own thread and asks the installed callback for each next block of samples.
#include <cstdint>

// Writes frames x 2 interleaved 16-bit values (left, right). Runs on the streamer's thread:
// whatever it touches must be guarded by its owner.
using AudioCallback = void (*)(int16_t* samples, int32_t frames, void* user);

class AudioStreamer {
 public:
  virtual ~AudioStreamer();
  // Installs callback with its user pointer (null callback: silence). The two are published as
  // one pair: the new callback is never called with the old user pointer.
  virtual void SetCallback(AudioCallback callback, void* user) = 0;
};

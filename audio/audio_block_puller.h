#pragma once
// AudioBlockPuller: serves sample requests of any length from fixed blocks of 256 frames pulled
// from an AudioCallback.
//
// Sound devices grant buffer sizes of their own, while callbacks such as the mixer always work
// in 256-frame blocks; a pulled block is staged here and handed out across device requests, its
// leftover frames going to the next request.
#include <cstdint>
#include <mutex>

#include "audio/audio_streamer.h"

class AudioBlockPuller {
 public:
  static constexpr int32_t kBlockFrames = 256;
  static constexpr int32_t kChannels = 2;

  // Safe from any thread while Fill runs on another. The callback is called under a lock that
  // this takes too, so when it returns the previous callback is not running and will never be
  // called again. Hence it must not be called from inside the callback, nor while holding a lock
  // that the callback takes.
  void SetCallback(AudioCallback callback, void* user);

  // Writes frames x 2 interleaved values to samples, pulling blocks as needed. A block pulled
  // while no callback is installed is silence. One thread at a time (the device's). Does
  // nothing for a null buffer or a count below 1.
  void Fill(int16_t* samples, int32_t frames);

 private:
  void PullBlock();

  std::mutex callbackMutex_;  // guards callback_ and user_, and is held while calling
  AudioCallback callback_ = nullptr;
  void* user_ = nullptr;

  int16_t block_[kBlockFrames * kChannels] = {};
  int32_t blockFramesUsed_ = kBlockFrames;  // nothing staged yet
};

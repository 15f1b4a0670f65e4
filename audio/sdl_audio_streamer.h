#pragma once
// SdlAudioStreamer: the audio output on an SDL audio device, 44100 Hz, stereo, 16-bit, asking
// its callback for 256-frame blocks from SDL's audio thread.
//
// Machines without a sound device (build servers, containers) still get a running output: when
// the default driver cannot open a device, SDL's dummy driver takes over, which consumes samples
// at the real rate without playing them. Only when even that fails is the output closed, which
// is logged as an error; the program then simply has no sound.
#include <atomic>
#include <cstdint>

#include "audio/audio_block_puller.h"
#include "audio/audio_streamer.h"

class SdlAudioStreamer : public AudioStreamer {
 public:
  static constexpr int kSampleRate = 44100;
  static constexpr int32_t kBlockFrames = AudioBlockPuller::kBlockFrames;

  // Starts SDL's audio subsystem for as long as this object lives, opens the device and starts
  // pulling at once: silence until a callback is installed.
  SdlAudioStreamer();
  // Waits for a running callback to return; the callback is never called afterwards.
  ~SdlAudioStreamer() override;
  SdlAudioStreamer(const SdlAudioStreamer&) = delete;
  SdlAudioStreamer& operator=(const SdlAudioStreamer&) = delete;

  // When this returns, the previous callback is not running and will never be called again.
  // Must not be called from the callback, nor while holding a lock the callback takes.
  void SetCallback(AudioCallback callback, void* user) override;

  bool IsOpen() const { return device_ != 0; }
  // Frames handed to the device so far.
  int64_t FramesPulled() const { return framesPulled_.load(std::memory_order_relaxed); }

 private:
  static void DeviceCallback(void* self, uint8_t* stream, int bytes);
  // Starts the audio subsystem with the driver SDL picks and opens a device on it; false, with
  // SDL's error set and the subsystem stopped again, when either fails.
  bool StartAndOpen();
  void CloseAndStop();

  AudioBlockPuller puller_;
  std::atomic<int64_t> framesPulled_{0};
  uint32_t device_ = 0;  // SDL_AudioDeviceID
  bool audioStarted_ = false;
};

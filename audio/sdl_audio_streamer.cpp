#include "audio/sdl_audio_streamer.h"

#include <SDL.h>

#include <cstring>
#include <string>

#include "base/log.h"

namespace {

constexpr int kBytesPerFrame = AudioBlockPuller::kChannels * int(sizeof(int16_t));

}  // namespace

SdlAudioStreamer::SdlAudioStreamer() {
  if (StartAndOpen()) {
    return;
  }
  const std::string defaultError = SDL_GetError();
  if (SDL_WasInit(SDL_INIT_AUDIO) != 0) {
    // Someone else keeps the subsystem running on its driver; it cannot be switched under them.
    Log(LogLevel::Error, "No audio output, sound stays silent: %s", defaultError.c_str());
    return;
  }
  Log(LogLevel::Warning, "No audio device (%s); using SDL's dummy audio driver",
      defaultError.c_str());
  // Overrides the environment for this one start-up only.
  SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
  const bool opened = StartAndOpen();
  SDL_ResetHint(SDL_HINT_AUDIODRIVER);
  if (!opened) {
    Log(LogLevel::Error, "No audio output, not even SDL's dummy driver, sound stays silent: %s",
        SDL_GetError());
  }
}

SdlAudioStreamer::~SdlAudioStreamer() {
  // Waits for a callback in progress and keeps further blocks silent; closing the device then
  // joins SDL's audio thread.
  puller_.SetCallback(nullptr, nullptr);
  CloseAndStop();
}

void SdlAudioStreamer::SetCallback(AudioCallback callback, void* user) {
  puller_.SetCallback(callback, user);
}

bool SdlAudioStreamer::StartAndOpen() {
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    return false;
  }
  audioStarted_ = true;
  SDL_AudioSpec wanted = {};
  wanted.freq = kSampleRate;
  wanted.format = AUDIO_S16SYS;
  wanted.channels = AudioBlockPuller::kChannels;
  wanted.samples = kBlockFrames;
  wanted.callback = &SdlAudioStreamer::DeviceCallback;
  wanted.userdata = this;
  SDL_AudioSpec granted = {};
  // Rate, format and channels are converted by SDL if the device differs; the buffer size may
  // be the device's own, the block puller bridges it.
  device_ = SDL_OpenAudioDevice(nullptr, 0, &wanted, &granted, SDL_AUDIO_ALLOW_SAMPLES_CHANGE);
  if (device_ == 0) {
    const std::string error = SDL_GetError();
    CloseAndStop();
    SDL_SetError("%s", error.c_str());
    return false;
  }
  Log(LogLevel::Info, "Audio output on SDL's %s driver, %d frames per device buffer",
      SDL_GetCurrentAudioDriver(), int(granted.samples));
  SDL_PauseAudioDevice(device_, 0);
  return true;
}

void SdlAudioStreamer::CloseAndStop() {
  if (device_ != 0) {
    SDL_CloseAudioDevice(device_);
    device_ = 0;
  }
  if (audioStarted_) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    audioStarted_ = false;
  }
}

void SdlAudioStreamer::DeviceCallback(void* self, uint8_t* stream, int bytes) {
  auto* streamer = static_cast<SdlAudioStreamer*>(self);
  const int32_t frames = bytes / kBytesPerFrame;
  // int16_t has no stricter alignment than SDL's buffers give.
  streamer->puller_.Fill(reinterpret_cast<int16_t*>(stream), frames);
  const int tail = bytes - frames * kBytesPerFrame;
  if (tail > 0) {
    std::memset(stream + frames * kBytesPerFrame, 0, size_t(tail));
  }
  streamer->framesPulled_.fetch_add(frames, std::memory_order_relaxed);
}

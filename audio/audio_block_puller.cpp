#include "audio/audio_block_puller.h"

#include <algorithm>
#include <cstring>

void AudioBlockPuller::SetCallback(AudioCallback callback, void* user) {
  std::lock_guard<std::mutex> lock(callbackMutex_);
  callback_ = callback;
  user_ = user;
}

void AudioBlockPuller::PullBlock() {
  // Cleared first so that a callback writing less than asked leaves silence, not an old block.
  std::memset(block_, 0, sizeof(block_));
  {
    std::lock_guard<std::mutex> lock(callbackMutex_);
    if (callback_ != nullptr) {
      callback_(block_, kBlockFrames, user_);
    }
  }
  blockFramesUsed_ = 0;
}

void AudioBlockPuller::Fill(int16_t* samples, int32_t frames) {
  if (samples == nullptr) {
    return;
  }
  while (frames > 0) {
    if (blockFramesUsed_ == kBlockFrames) {
      PullBlock();
    }
    const int32_t count = std::min(frames, kBlockFrames - blockFramesUsed_);
    std::memcpy(samples, block_ + blockFramesUsed_ * kChannels,
                size_t(count) * kChannels * sizeof(int16_t));
    samples += count * kChannels;
    frames -= count;
    blockFramesUsed_ += count;
  }
}

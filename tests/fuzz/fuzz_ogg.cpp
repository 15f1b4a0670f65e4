// Ogg Vorbis decoding from memory, with the caps on what a file of this size may decode to.
#include <cstddef>
#include <cstdint>
#include <string>

#include "audio/vorbis_decoder.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Audio::DecodedSound sound;
  std::string error;
  if (Audio::DecodeVorbis(data, size, sound, error) == Audio::VorbisResult::Ok) {
    const size_t cap = Audio::kDecodedSamplesAllowance + size * Audio::kMaxDecodedSamplesPerFileByte;
    if (sound.samples.size() > cap || sound.samples.size() > Audio::kMaxDecodedSamples)
      __builtin_trap();
  }
  return 0;
}

#pragma once
// Ogg Vorbis in memory to interleaved 16-bit samples, through libvorbisfile (the reference
// decoder). What a file may cost is bounded by its size: a few kilobytes of crafted pages must
// not decode to gigabytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Audio {

// Decoded samples allowed per byte of file: silence compresses about 1600:1 at the lowest
// quality, so this leaves room for any real recording.
inline constexpr size_t kMaxDecodedSamplesPerFileByte = 4096;
// Allowed to every file on top of that, so tiny files still decode.
inline constexpr size_t kDecodedSamplesAllowance = size_t(1) << 20;
// Ten minutes of 48 kHz stereo: far more than any clip the mixer plays.
inline constexpr size_t kMaxDecodedSamples = size_t(10) * 60 * 48000 * 2;

struct DecodedSound {
  std::vector<int16_t> samples;  // interleaved, frames x channels
  int channels = 0;
  int sampleRate = 0;
};

enum class VorbisResult {
  Ok,            // out holds at least one frame
  Undecodable,   // not Ogg Vorbis, or no audio could be decoded
  Unsupported,   // channels other than 1 or 2, or an unusable rate (the reason in error)
  TooLong,       // past the caps above (the reason in error)
};

// Decodes the whole stream. A stream cut short or damaged in its audio pages yields the frames
// decoded before the damage; a chained stream stops where the channel count or rate changes.
VorbisResult DecodeVorbis(const uint8_t* data, size_t size, DecodedSound& out, std::string& error);

}  // namespace Audio

#pragma once
// Ogg Vorbis in memory to interleaved 16-bit samples, through libvorbisfile (the reference
// decoder). What a file may cost is bounded by its size: a few kilobytes of crafted pages must
// not decode to gigabytes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace Audio {

// Decoded samples allowed per byte of file. oggenc at its lowest quality packs 11 minutes of
// 48 kHz stereo silence into 36.5 KB, about 1,730 samples per byte (2,000 per byte of audio
// pages once the fixed headers are left out); real recordings are far below that (white noise:
// 17 samples per byte at the lowest quality). A 1-byte packet per 4,096-frame block of stereo
// is about the most any stream can reach, which this allows.
inline constexpr size_t kMaxDecodedSamplesPerFileByte = 4096;
// Allowed to every file on top of that, so tiny files still decode.
inline constexpr size_t kDecodedSamplesAllowance = size_t(1) << 20;
// Ten minutes of 48 kHz stereo: far more than any clip the mixer plays.
inline constexpr size_t kMaxDecodedSamples = size_t(10) * 60 * 48000 * 2;
// Sample rates outside this range are not sound the mixer can resample sensibly.
inline constexpr long kMinSampleRate = 1000;
inline constexpr long kMaxSampleRate = 384000;

struct DecodeLimits {
  size_t maxSamples = kMaxDecodedSamples;
  size_t samplesPerFileByte = kMaxDecodedSamplesPerFileByte;
  size_t allowance = kDecodedSamplesAllowance;
};

// The most samples (frames x channels) a file of this many bytes may decode to.
size_t DecodedSampleCap(size_t fileBytes, const DecodeLimits& limits = {});

struct DecodedSound {
  std::vector<int16_t> samples;  // interleaved, frames x channels
  int channels = 0;
  int sampleRate = 0;
};

enum class VorbisResult {
  Ok,            // out holds at least one frame
  Undecodable,   // not Ogg Vorbis, damaged headers, or no audio could be decoded
  Unsupported,   // channels other than 1 or 2, or an unusable rate
  TooLong,       // claims or decodes to more than DecodedSampleCap allows
};

// Decodes the whole stream; on anything but Ok, error says why and out is empty. A stream cut
// short or damaged in its audio pages yields the frames decoded before the damage. A chained
// stream (several streams one after the other) is decoded while the channel count and rate stay
// those of the first; decoding stops at the first link that changes them.
VorbisResult DecodeVorbis(const uint8_t* data, size_t size, DecodedSound& out, std::string& error,
                          const DecodeLimits& limits = {});

}  // namespace Audio

#include "audio/vorbis_decoder.h"

#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace Audio {

namespace {

struct MemoryStream {
  const uint8_t* data;
  size_t size;
  size_t position;
};

size_t Read(void* target, size_t size, size_t count, void* source) {
  auto* stream = static_cast<MemoryStream*>(source);
  if (size == 0) return 0;
  const size_t bytes = std::min(size * count, stream->size - stream->position) / size * size;
  std::memcpy(target, stream->data + stream->position, bytes);
  stream->position += bytes;
  return bytes / size;
}

int Seek(void* source, ogg_int64_t offset, int whence) {
  auto* stream = static_cast<MemoryStream*>(source);
  const ogg_int64_t base = whence == SEEK_SET   ? 0
                           : whence == SEEK_CUR ? ogg_int64_t(stream->position)
                           : whence == SEEK_END ? ogg_int64_t(stream->size)
                                                : -1;
  if (base < 0 || offset < -base || offset > ogg_int64_t(stream->size) - base) return -1;
  stream->position = size_t(base + offset);
  return 0;
}

long Tell(void* source) { return long(static_cast<MemoryStream*>(source)->position); }

// Damaged audio pages report holes; a stream of nothing else must still end.
constexpr int kMaxHolesInARow = 64;

}  // namespace

VorbisResult DecodeVorbis(const uint8_t* data, size_t size, DecodedSound& out, std::string& error) {
  out = DecodedSound{};
  if (data == nullptr || size == 0) return VorbisResult::Undecodable;
  MemoryStream stream{data, size, 0};
  OggVorbis_File file;
  const ov_callbacks callbacks = {Read, Seek, nullptr, Tell};
  if (ov_open_callbacks(&stream, &file, nullptr, 0, callbacks) != 0) {
    // ov_open_callbacks frees what it allocated when it fails.
    return VorbisResult::Undecodable;
  }
  VorbisResult result = VorbisResult::Ok;
  const vorbis_info* info = ov_info(&file, -1);
  if (info == nullptr) {
    ov_clear(&file);
    return VorbisResult::Undecodable;
  }
  const int channels = info->channels;
  const long rate = info->rate;
  const size_t cap =
      std::min(kMaxDecodedSamples,
               kDecodedSamplesAllowance + std::min(size, kMaxDecodedSamples) *
                                              kMaxDecodedSamplesPerFileByte);
  if (channels < 1 || channels > 2) {
    error = "Unsupported ogg with " + std::to_string(channels) + " channels";
    result = VorbisResult::Unsupported;
  } else if (rate < 1000 || rate > 384000) {
    error = "Unsupported ogg sample rate of " + std::to_string(rate) + " Hz";
    result = VorbisResult::Unsupported;
  } else {
    const ogg_int64_t total = ov_pcm_total(&file, -1);  // known when the stream could be sized
    if (total > 0 && uint64_t(total) * uint64_t(channels) > cap) {
      error = "ogg of " + std::to_string(total) + " frames is longer than the " +
              std::to_string(cap / size_t(channels)) + " frames a file of " +
              std::to_string(size) + " bytes may hold";
      result = VorbisResult::TooLong;
    }
  }
  char buffer[8192];
  int holes = 0;
  while (result == VorbisResult::Ok) {
    int link = 0;
    const long bytes = ov_read(&file, buffer, sizeof buffer, 0, 2, 1, &link);
    if (bytes == 0) break;
    if (bytes == OV_HOLE) {
      if (++holes > kMaxHolesInARow) break;
      continue;
    }
    if (bytes < 0) break;  // damaged beyond the frames decoded so far
    holes = 0;
    const vorbis_info* linkInfo = ov_info(&file, link);
    if (linkInfo == nullptr || linkInfo->channels != channels || linkInfo->rate != rate) break;
    const size_t count = size_t(bytes) / sizeof(int16_t);
    if (out.samples.size() + count > cap) {
      error = "ogg decodes to more than the " + std::to_string(cap) + " samples a file of " +
              std::to_string(size) + " bytes may hold";
      result = VorbisResult::TooLong;
      break;
    }
    const size_t at = out.samples.size();
    out.samples.resize(at + count);
    std::memcpy(out.samples.data() + at, buffer, count * sizeof(int16_t));
  }
  ov_clear(&file);
  // Whole frames only.
  if (channels > 0) out.samples.resize(out.samples.size() / size_t(channels) * size_t(channels));
  if (result != VorbisResult::Ok) {
    out.samples.clear();
    out.samples.shrink_to_fit();
    return result;
  }
  if (out.samples.empty()) return VorbisResult::Undecodable;
  out.channels = channels;
  out.sampleRate = int(rate);
  return VorbisResult::Ok;
}

}  // namespace Audio

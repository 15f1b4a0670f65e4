#include "audio/vorbis_decoder.h"

#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cstring>

namespace Audio {

namespace {

// The pages of an Ogg stream in memory, through libogg's sync layer, fed in bounded pieces so
// the file is not copied whole a second time.
class PageReader {
 public:
  PageReader(const uint8_t* data, size_t size) : data_(data), size_(size) { ogg_sync_init(&sync_); }
  ~PageReader() { ogg_sync_clear(&sync_); }
  PageReader(const PageReader&) = delete;
  PageReader& operator=(const PageReader&) = delete;

  // 1: a page; 0: the end of the data; -1: bytes skipped (not a page, or a page whose checksum
  // fails).
  int Next(ogg_page& page) {
    for (;;) {
      const long result = ogg_sync_pageseek(&sync_, &page);
      if (result > 0) return 1;
      if (result < 0) return -1;
      if (fed_ == size_) return 0;
      const size_t piece = std::min<size_t>(size_ - fed_, 65536);
      char* buffer = ogg_sync_buffer(&sync_, long(piece));
      if (buffer == nullptr) return 0;
      std::memcpy(buffer, data_ + fed_, piece);
      ogg_sync_wrote(&sync_, long(piece));
      fed_ += piece;
    }
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t fed_ = 0;
  ogg_sync_state sync_;
};

struct StreamHeaders {
  int channels = 0;
  long rate = 0;
  int64_t claimedFrames = 0;  // the first stream's highest granule position; 0 when none
};

// libvorbis and libogg state that is cleared however the header check ends.
struct HeaderState {
  HeaderState() {
    ogg_stream_init(&stream, 0);
    vorbis_info_init(&info);
    vorbis_comment_init(&comment);
  }
  ~HeaderState() {
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    ogg_stream_clear(&stream);
  }
  HeaderState(const HeaderState&) = delete;
  HeaderState& operator=(const HeaderState&) = delete;

  ogg_stream_state stream;
  vorbis_info info;
  vorbis_comment comment;
};

// libvorbisfile 1.3.7 leaks its list of stream serial numbers when opening fails on headers it
// cannot read, so a file reaches it only once its first stream's three header packets are known
// to parse. The steps are the library's own (the pages that begin streams, the first Vorbis one
// chosen, its two further headers from later pages) with the same libvorbis header parser, but
// stricter: no skipped bytes and no new stream before the headers are complete. The rest of the
// first stream is then scanned for the length its pages claim.
bool ReadHeaders(const uint8_t* data, size_t size, StreamHeaders& out, std::string& error) {
  PageReader pages(data, size);
  HeaderState state;
  ogg_page page;
  ogg_packet packet;
  if (pages.Next(page) != 1 || !ogg_page_bos(&page)) {
    error = "not an Ogg Vorbis file (no Ogg stream at its start)";
    return false;
  }
  std::vector<int> serials;
  int headers = 0;
  while (ogg_page_bos(&page)) {
    const int serial = ogg_page_serialno(&page);
    if (std::find(serials.begin(), serials.end(), serial) != serials.end()) {
      error = "damaged Ogg file (two streams with one serial number)";
      return false;
    }
    serials.push_back(serial);
    if (headers == 0) {
      ogg_stream_reset_serialno(&state.stream, serial);
      ogg_stream_pagein(&state.stream, &page);
      if (ogg_stream_packetout(&state.stream, &packet) > 0 && vorbis_synthesis_idheader(&packet)) {
        if (vorbis_synthesis_headerin(&state.info, &state.comment, &packet) != 0) {
          error = "damaged Vorbis identification header";
          return false;
        }
        headers = 1;
      }
    }
    if (pages.Next(page) != 1) {
      error = "damaged or cut short within its Ogg Vorbis headers";
      return false;
    }
    if (headers == 1 && ogg_page_serialno(&page) == state.stream.serialno) {
      ogg_stream_pagein(&state.stream, &page);
      break;
    }
  }
  if (headers == 0) {
    error = "not an Ogg Vorbis file (an Ogg file without a Vorbis stream)";
    return false;
  }
  while (headers < 3) {
    const int got = ogg_stream_packetout(&state.stream, &packet);
    if (got < 0) {
      error = "damaged Vorbis headers (a page is missing)";
      return false;
    }
    if (got > 0) {
      if (vorbis_synthesis_headerin(&state.info, &state.comment, &packet) != 0) {
        error = headers == 1 ? "damaged Vorbis comment header" : "damaged Vorbis setup header";
        return false;
      }
      ++headers;
      continue;
    }
    for (;;) {
      if (pages.Next(page) != 1 || ogg_page_bos(&page)) {
        error = "damaged or cut short within its Ogg Vorbis headers";
        return false;
      }
      if (ogg_page_serialno(&page) == state.stream.serialno) {
        ogg_stream_pagein(&state.stream, &page);
        break;
      }
    }
  }
  out.channels = state.info.channels;
  out.rate = state.info.rate;
  out.claimedFrames = 0;
  for (int got; (got = pages.Next(page)) != 0;) {
    if (got < 0) continue;
    if (ogg_page_bos(&page)) break;  // the next link of a chain
    if (ogg_page_serialno(&page) == state.stream.serialno) {
      out.claimedFrames = std::max<int64_t>(out.claimedFrames, ogg_page_granulepos(&page));
    }
  }
  return true;
}

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

// Damaged audio pages report holes; a stream of nothing else must still end.
constexpr int kMaxHolesInARow = 64;

std::string TooLong(size_t cap, int channels, size_t size, const DecodeLimits& limits) {
  const std::string frames = std::to_string(cap / size_t(channels)) + " frames";
  if (cap >= limits.maxSamples) return "the sound is longer than the " + frames + " a clip may hold";
  return "the sound is longer than the " + frames + " a file of " + std::to_string(size) +
         " bytes may hold";
}

}  // namespace

size_t DecodedSampleCap(size_t fileBytes, const DecodeLimits& limits) {
  const size_t perByte = std::max<size_t>(limits.samplesPerFileByte, 1);
  if (fileBytes >= (limits.maxSamples - std::min(limits.maxSamples, limits.allowance)) / perByte) {
    return limits.maxSamples;
  }
  return std::min(limits.maxSamples, limits.allowance + fileBytes * perByte);
}

VorbisResult DecodeVorbis(const uint8_t* data, size_t size, DecodedSound& out, std::string& error,
                          const DecodeLimits& limits) {
  out = DecodedSound{};
  error.clear();
  if (data == nullptr || size == 0) {
    error = "empty file";
    return VorbisResult::Undecodable;
  }
  StreamHeaders headers;
  if (!ReadHeaders(data, size, headers, error)) return VorbisResult::Undecodable;
  const int channels = headers.channels;
  const long rate = headers.rate;
  if (channels < 1 || channels > 2) {
    error = "unsupported Ogg Vorbis with " + std::to_string(channels) + " channels";
    return VorbisResult::Unsupported;
  }
  if (rate < kMinSampleRate || rate > kMaxSampleRate) {
    error = "unsupported Ogg Vorbis sample rate of " + std::to_string(rate) + " Hz";
    return VorbisResult::Unsupported;
  }
  const size_t cap = DecodedSampleCap(size, limits);
  if (uint64_t(headers.claimedFrames) > cap / size_t(channels)) {
    error = TooLong(cap, channels, size, limits) + " (its pages claim " +
            std::to_string(headers.claimedFrames) + ")";
    return VorbisResult::TooLong;
  }

  // Opened as a stream that cannot seek: the library then reads the pages in order only, and
  // its seekable open (which maps every link of a chain up front, with failure paths of its own)
  // is not needed; the length check above takes its place.
  MemoryStream stream{data, size, 0};
  OggVorbis_File file;
  const ov_callbacks callbacks = {Read, nullptr, nullptr, nullptr};
  if (ov_open_callbacks(&stream, &file, nullptr, 0, callbacks) != 0) {
    error = "libvorbisfile could not open the stream";  // it has freed its own state
    return VorbisResult::Undecodable;
  }
  out.samples.reserve(size_t(headers.claimedFrames) * size_t(channels));
  VorbisResult result = VorbisResult::Ok;
  char buffer[8192];
  int holes = 0;
  for (;;) {
    int link = 0;
    const long bytes = ov_read(&file, buffer, sizeof buffer, 0, 2, 1, &link);
    if (bytes == 0) break;
    if (bytes == OV_HOLE) {
      if (++holes > kMaxHolesInARow) break;
      continue;
    }
    if (bytes < 0) break;  // damaged beyond the frames decoded so far
    holes = 0;
    const vorbis_info* info = ov_info(&file, -1);  // the link these samples came from
    if (info == nullptr || info->channels != channels || info->rate != rate) break;
    const size_t count = size_t(bytes) / sizeof(int16_t);
    const size_t at = out.samples.size();
    if (count > cap - at) {
      error = TooLong(cap, channels, size, limits);
      result = VorbisResult::TooLong;
      break;
    }
    if (at + count > out.samples.capacity()) {
      out.samples.reserve(std::min(cap, std::max({at + count, 2 * at, size_t(1) << 16})));
    }
    out.samples.resize(at + count);
    std::memcpy(out.samples.data() + at, buffer, count * sizeof(int16_t));
  }
  ov_clear(&file);
  out.samples.resize(out.samples.size() / size_t(channels) * size_t(channels));  // whole frames
  if (result == VorbisResult::Ok && out.samples.empty()) {
    error = "no audio could be decoded";
    result = VorbisResult::Undecodable;
  }
  if (result != VorbisResult::Ok) {
    out = DecodedSound{};
    return result;
  }
  out.channels = channels;
  out.sampleRate = int(rate);
  return VorbisResult::Ok;
}

}  // namespace Audio

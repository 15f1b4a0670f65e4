#include "audio/sound_loader.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "audio/vorbis_decoder.h"
#include "base/log.h"
#include "file/chunk_file.h"

namespace Audio {

namespace {

constexpr int32_t kWaveFormatPcm = 1;

// Both readers load the whole file before parsing it. Neither format can hold a clip we accept
// in more bytes than its raw 16-bit samples (Vorbis at its highest quality takes about a third
// of that), so a larger file is refused before it is read; the extra MiB leaves room for a
// WAVE file's other chunks.
constexpr int64_t kMaxSoundFileBytes = int64_t(kMaxDecodedSamples) * 2 + (int64_t(1) << 20);

// False, with the reason logged, when the file exists and is too large to be a clip. A file
// that cannot be opened passes, so the reader reports it as it always does.
bool SizeIsPlausible(const DataRoots* roots, const std::string& path) {
  FILE* file = OpenDataFile(roots, path, "rb");
  if (file == nullptr) return true;
  const int64_t size = GetFileSize(file);
  std::fclose(file);
  if (size <= kMaxSoundFileBytes) return true;
  Log(LogLevel::Error, "'%s' is larger (%lld bytes) than the %lld bytes a sound file may have",
      path.c_str(), static_cast<long long>(size), static_cast<long long>(kMaxSoundFileBytes));
  return false;
}

struct WaveFormat {
  int32_t formatTag = 0;
  int32_t channels = 0;
  int32_t sampleRate = 0;
  int32_t blockAlign = 0;
  int32_t bitsPerSample = 0;
};

// Every size and count comes from the file, so nothing is trusted: ChunkFile clips chunks to
// the data actually read and yields zeros past a chunk's end (so the samples never outnumber
// the file's bytes), and the sample layout must be exactly one that is understood before the
// block alignment is divided by.
bool ReadWave(const DataRoots* roots, const std::string& path, Clip& clip) {
  if (!SizeIsPlausible(roots, path)) {
    return false;
  }
  ChunkFile file(roots, path, true);
  if (file.Failed()) {
    Log(LogLevel::Error, "Failed to open file '%s'", path.c_str());
    return false;
  }
  if (!file.Descend('RIFF')) {
    return false;
  }
  file.ReadInt();  // form type
  if (!file.Descend('fmt ')) {
    return false;
  }
  WaveFormat format;
  const uint32_t tagAndChannels = static_cast<uint32_t>(file.ReadInt());
  format.formatTag = static_cast<int32_t>(tagAndChannels & 0xFFFF);
  format.channels = static_cast<int32_t>(tagAndChannels >> 16);
  format.sampleRate = file.ReadInt();
  file.ReadInt();  // byte rate
  const uint32_t alignAndBits = static_cast<uint32_t>(file.ReadInt());
  format.blockAlign = static_cast<int32_t>(alignAndBits & 0xFFFF);
  format.bitsPerSample = static_cast<int32_t>(alignAndBits >> 16);
  file.Ascend();  // anything after these fields (an extension size, say) is skipped

  if (format.formatTag != kWaveFormatPcm) {
    return false;
  }
  if (!file.Descend('data')) {
    return false;
  }
  const int32_t dataBytes = file.GetCurrentChunkLength();
  const bool mono16 = format.channels == 1 && format.bitsPerSample == 16 && format.blockAlign == 2;
  const bool mono8 = format.channels == 1 && format.bitsPerSample == 8 && format.blockAlign == 1;
  if (!mono16 && !mono8) {
    Log(LogLevel::Error, "Unsupported wav with %d bits/sample, %d channels and %d blockalign",
        format.bitsPerSample, format.channels, format.blockAlign);
    return false;
  }
  const int32_t frames = dataBytes / format.blockAlign;  // a trailing odd byte is dropped
  if (static_cast<size_t>(frames) > kMaxDecodedSamples) {
    Log(LogLevel::Error, "'%s' is longer than the %zu samples a clip may hold", path.c_str(),
        kMaxDecodedSamples);
    return false;
  }
  std::vector<int16_t> samples(static_cast<size_t>(frames));
  if (mono16) {
    file.ReadData(samples.data(), frames * 2);
    if constexpr (std::endian::native == std::endian::big) {
      for (int16_t& s : samples) {
        s = static_cast<int16_t>(__builtin_bswap16(static_cast<uint16_t>(s)));
      }
    }
  } else {
    Log(LogLevel::Info, "Converting %d 8-bit samples to 16-bit", frames);
    std::vector<uint8_t> bytes(static_cast<size_t>(frames));
    file.ReadData(bytes.data(), frames);
    // 8-bit WAVE samples are unsigned with 128 as silence.
    std::transform(bytes.begin(), bytes.end(), samples.begin(),
                   [](uint8_t u) { return static_cast<int16_t>((u - 128) * 256); });
  }
  file.Ascend();
  file.Ascend();
  clip.samples = std::move(samples);
  clip.channels = 1;
  clip.sampleRate = static_cast<float>(static_cast<uint32_t>(format.sampleRate));
  return true;
}

bool ReadOgg(const DataRoots* roots, const std::string& path, Clip& clip) {
  if (!SizeIsPlausible(roots, path)) {
    return false;
  }
  std::vector<uint8_t> data;
  if (!ReadDataFromFile(roots, path, data)) {  // logs its own error
    return false;
  }
  DecodedSound sound;
  std::string error;
  if (DecodeVorbis(data.data(), data.size(), sound, error) != VorbisResult::Ok) {
    Log(LogLevel::Error, "Cannot load '%s': %s", path.c_str(), error.c_str());
    return false;
  }
  clip.samples = std::move(sound.samples);
  clip.channels = sound.channels;
  clip.sampleRate = static_cast<float>(sound.sampleRate);
  return true;
}

}  // namespace

std::unique_ptr<Clip> LoadClip(const DataRoots* files, const std::string& path) {
  const std::string extension = GetFileExtension(path);
  auto clip = std::make_unique<Clip>();
  if (extension == "wav") {
    if (!ReadWave(files, path, *clip)) {
      std::printf("Failed to load '%s'\n", path.c_str());
      std::fflush(stdout);
      return nullptr;
    }
    return clip;
  }
  if (extension == "ogg") {
    return ReadOgg(files, path, *clip) ? std::move(clip) : nullptr;
  }
  Log(LogLevel::Error, "LoadClip: '%s' is neither a wav nor an ogg file", path.c_str());
  return nullptr;
}

}  // namespace Audio

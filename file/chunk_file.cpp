#include "file/chunk_file.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "base/check.h"
#include "base/log.h"

// The format itself has no guards. Files come from disk, so this reader deliberately adds
// them: chunk lengths that are negative or reach past the data are clipped to the end of the
// buffer, reads past the end of a chunk yield zeros, and nesting stops at kMaxDepth. Nothing
// is ever read or written outside the buffer, whatever the file says.

namespace {

constexpr int64_t kMaxPosition = std::numeric_limits<int32_t>::max();

uint32_t ByteSwap(uint32_t value) { return __builtin_bswap32(value); }

int64_t PaddingFor(int64_t length) { return (4 - (length & 3)) & 3; }

}  // namespace

ChunkFile::ChunkFile(const DataRoots* roots, const std::string& path, bool reading)
    : fileName_(path), reading_(reading) {
  if (!reading) {
    file_ = OpenDataFile(roots, path, "wb");
    if (file_ == nullptr) {
      Log(LogLevel::Error, "ChunkFile: Failed to open %s for writing", path.c_str());
      failed_ = true;
    }
    return;
  }
  inMemory_ = true;
  // Positions are 32-bit; refuse a file that does not fit before reading all of it.
  if (FILE* probe = OpenDataFile(roots, path, "rb")) {
    const int64_t size = GetFileSize(probe);
    std::fclose(probe);
    if (size > kMaxPosition) {
      Log(LogLevel::Error, "ChunkFile: %s is too large (%lld bytes)", path.c_str(),
          static_cast<long long>(size));
      failed_ = true;
      return;
    }
  }
  if (!ReadDataFromFile(roots, path, data_)) {  // Logs its own error.
    failed_ = true;
    return;
  }
  if (static_cast<int64_t>(data_.size()) > kMaxPosition) {  // Grew since the probe.
    Log(LogLevel::Error, "ChunkFile: %s is too large", path.c_str());
    std::vector<uint8_t>().swap(data_);
    failed_ = true;
    return;
  }
  end_ = static_cast<int32_t>(data_.size());
}

ChunkFile::ChunkFile(const void* buffer, size_t size) : inMemory_(true), reading_(true) {
  if (size > static_cast<size_t>(kMaxPosition) || (buffer == nullptr && size > 0)) {
    Log(LogLevel::Error, "ChunkFile: Invalid buffer of %zu bytes", size);
    failed_ = true;
    return;
  }
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  data_.assign(bytes, bytes + size);
  end_ = static_cast<int32_t>(size);
}

ChunkFile::~ChunkFile() {
  if (file_ == nullptr) {
    return;
  }
  if (!reading_ && !writeFailed_ && ftello(file_) != position_) {
    // Reported with a fixed location so the message stays the same wherever this line moves.
    CheckFailed("ChunkFile::~ChunkFile", "file/chunk_file", 56);
  }
  const bool flushed = std::fflush(file_) == 0;
  const bool closed = std::fclose(file_) == 0;
  if (writeFailed_ || !flushed || !closed) {
    Log(LogLevel::Error, "ChunkFile: Failed to write %s", fileName_.c_str());
  }
}

bool ChunkFile::Descend(uint32_t tag) {
  if (depth_ >= kMaxDepth) {
    return false;
  }
  ChunkEntry& entry = chunks_[depth_];
  if (!reading_) {
    if (file_ == nullptr) {
      return false;
    }
    entry.searchStart = position_;
    entry.outerEnd = end_;
    entry.tagRead = static_cast<int32_t>(tag);
    WriteUint32(ByteSwap(tag));
    WriteUint32(0);  // Patched by Ascend.
    entry.contentStart = position_;
    entry.contentLength = 0;
    ++depth_;
    return true;
  }

  const ChunkEntry saved = entry;
  const int32_t searchStart = position_;
  entry.searchStart = searchStart;
  entry.outerEnd = end_;
  const uint32_t wanted = ByteSwap(tag);
  const int64_t bufferEnd = static_cast<int64_t>(data_.size());
  while (position_ < end_) {
    entry.tagRead = ReadInt();
    const int32_t length = ReadInt();
    entry.contentStart = position_;
    int64_t chunkEnd = static_cast<int64_t>(position_) + length;
    if (length < 0 || chunkEnd > bufferEnd) {
      chunkEnd = bufferEnd;
    }
    entry.contentLength = static_cast<int32_t>(chunkEnd - entry.contentStart);
    if (static_cast<uint32_t>(entry.tagRead) == wanted) {
      end_ = static_cast<int32_t>(chunkEnd);
      ++depth_;
      return true;
    }
    position_ = static_cast<int32_t>(chunkEnd);  // Next sibling.
  }
  entry = saved;
  position_ = searchStart;
  return false;
}

void ChunkFile::Ascend() {
  if (depth_ == 0) {
    return;
  }
  --depth_;
  ChunkEntry& entry = chunks_[depth_];
  if (reading_) {
    position_ = entry.searchStart;
    end_ = entry.outerEnd;
    return;
  }
  if (file_ == nullptr) {
    return;
  }
  const int32_t resume = position_;
  entry.contentLength = resume - entry.contentStart;
  uint8_t bytes[4];
  const uint32_t length = static_cast<uint32_t>(entry.contentLength);
  for (int i = 0; i < 4; ++i) {
    bytes[i] = static_cast<uint8_t>(length >> (8 * i));
  }
  if (fseeko(file_, entry.contentStart - 4, SEEK_SET) != 0 ||
      std::fwrite(bytes, 1, 4, file_) != 4 || fseeko(file_, resume, SEEK_SET) != 0) {
    writeFailed_ = true;
  }
}

int32_t ChunkFile::ReadInt() {
  if (position_ >= end_) {
    return 0;
  }
  uint8_t bytes[4];
  ReadBytes(bytes, 4);
  return static_cast<int32_t>(static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
                              (static_cast<uint32_t>(bytes[2]) << 16) |
                              (static_cast<uint32_t>(bytes[3]) << 24));
}

void ChunkFile::ReadData(void* destination, int length) {
  if (length <= 0) {
    return;
  }
  ReadBytes(destination, length);
  Skip(PaddingFor(length));
}

std::string ChunkFile::ReadString() {
  const int32_t storedLength = ReadInt();
  if (storedLength == 0) {
    return std::string();
  }
  const int64_t available = std::max<int64_t>(0, static_cast<int64_t>(end_) - position_);
  // Like a negative chunk length, a negative string length means "to the end".
  const int64_t length = storedLength < 0 ? available : storedLength;
  const int64_t count = std::min<int64_t>(length, available);
  std::string text;
  if (inMemory_ && count > 0) {
    text.assign(reinterpret_cast<const char*>(data_.data()) + position_, static_cast<size_t>(count));
  }
  Skip(length + PaddingFor(length));
  return text;
}

void ChunkFile::WriteInt(int32_t value) { WriteUint32(static_cast<uint32_t>(value)); }

void ChunkFile::WriteData(const void* data, int length) {
  if (length <= 0 || data == nullptr) {
    return;
  }
  WriteBytes(data, static_cast<size_t>(length));
  static const uint8_t kZeros[4] = {0, 0, 0, 0};
  WriteBytes(kZeros, static_cast<size_t>(PaddingFor(length)));
}

void ChunkFile::WriteString(std::string_view text) {
  if (text.size() > static_cast<size_t>(kMaxPosition)) {
    writeFailed_ = true;
    return;
  }
  WriteInt(static_cast<int32_t>(text.size()));
  WriteData(text.data(), static_cast<int>(text.size()));
}

int32_t ChunkFile::GetCurrentChunkLength() const {
  if (depth_ == 0) {
    return 0;
  }
  const ChunkEntry& entry = chunks_[depth_ - 1];
  return reading_ ? entry.contentLength : position_ - entry.contentStart;
}

void ChunkFile::ReadBytes(void* destination, int64_t length) {
  auto* out = static_cast<uint8_t*>(destination);
  int64_t count = 0;
  if (inMemory_) {
    count = std::clamp<int64_t>(static_cast<int64_t>(end_) - position_, 0, length);
  }
  if (out != nullptr) {
    if (count > 0) {
      std::memcpy(out, data_.data() + position_, static_cast<size_t>(count));
    }
    std::memset(out + count, 0, static_cast<size_t>(length - count));
  }
  Skip(length);
}

void ChunkFile::Skip(int64_t length) {
  // Never beyond the end (or beyond where we already are, if a short chunk left us past it).
  const int64_t limit = std::max<int64_t>(end_, position_);
  position_ = static_cast<int32_t>(std::min<int64_t>(static_cast<int64_t>(position_) + length, limit));
}

void ChunkFile::WriteBytes(const void* bytes, size_t length) {
  if (file_ == nullptr || reading_ || length == 0) {
    return;
  }
  if (static_cast<int64_t>(position_) + static_cast<int64_t>(length) > kMaxPosition) {
    writeFailed_ = true;
    return;
  }
  const size_t written = std::fwrite(bytes, 1, length, file_);
  position_ += static_cast<int32_t>(written);
  if (written != length) {
    writeFailed_ = true;
  }
}

void ChunkFile::WriteUint32(uint32_t value) {
  const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                            static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
  WriteBytes(bytes, 4);
}

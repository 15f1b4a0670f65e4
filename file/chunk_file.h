#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "file/file_util.h"

// Tagged, length-prefixed, nestable chunks: a 4-byte tag, a little-endian 32-bit content
// length, then the content (nested chunks, 32-bit integers, byte blocks padded to 4 bytes).
// Tags are multi-character constants such as 'UNIS'; they are stored byte-swapped so the
// characters read in order on disk.
//
// Reading loads the whole file (or a copy of a buffer) into memory and parses it there.
// Writing goes straight to disk, patching each chunk's length when it is closed.
class ChunkFile {
 public:
  static constexpr int kMaxDepth = 32;

  ChunkFile(const DataRoots* roots, const std::string& path, bool reading);
  // Reads from a private copy of size bytes.
  ChunkFile(const void* buffer, size_t size);
  ~ChunkFile();

  ChunkFile(const ChunkFile&) = delete;
  ChunkFile& operator=(const ChunkFile&) = delete;

  // Whether opening failed; test it before anything else. A failed object stays safe to use:
  // reads give 0 or nothing, writes do nothing.
  bool Failed() const { return failed_; }

  // Reading: enters the next chunk with this tag among the chunks from the current position
  // to the current end; false, with the position unchanged, when there is none.
  // Writing: opens a new chunk. False in both modes beyond kMaxDepth open chunks.
  bool Descend(uint32_t tag);
  // Reading: leaves the innermost chunk and returns to where the Descend that entered it
  // started searching, so siblings can be looked up in any order.
  // Writing: closes the innermost chunk and fills in its length. Does nothing at depth 0.
  void Ascend();

  // 0, without moving, at or beyond the end of the current chunk.
  int32_t ReadInt();
  // Copies length bytes and skips the padding; bytes beyond the current chunk read as zero.
  void ReadData(void* destination, int length);
  // A length, then that many bytes; a length reaching beyond the chunk, or a negative one,
  // gives the rest of the chunk.
  std::string ReadString();

  void WriteInt(int32_t value);
  // Writes length bytes and zero padding up to a multiple of 4 (nothing for length 0).
  void WriteData(const void* data, int length);
  void WriteString(std::string_view text);

  // Content length of the innermost open chunk (so far, when writing); 0 at depth 0.
  int32_t GetCurrentChunkLength() const;

 private:
  struct ChunkEntry {
    int32_t contentStart = 0;
    int32_t searchStart = 0;  // Position when the Descend that entered the chunk began.
    int32_t outerEnd = 0;     // End in force before the chunk was entered.
    int32_t tagRead = 0;
    int32_t contentLength = 0;
  };

  void ReadBytes(void* destination, int64_t length);
  void Skip(int64_t length);
  void WriteBytes(const void* bytes, size_t length);
  void WriteUint32(uint32_t value);

  std::string fileName_;
  FILE* file_ = nullptr;
  ChunkEntry chunks_[kMaxDepth];
  int32_t depth_ = 0;
  std::vector<uint8_t> data_;
  int32_t position_ = 0;
  int32_t end_ = 0;
  bool inMemory_ = false;
  bool reading_ = false;
  bool failed_ = false;
  bool writeFailed_ = false;
};

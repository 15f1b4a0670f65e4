#pragma once
// The sculpture file: a 12-byte header (magic "RDLM", version 1, record count) followed by the
// operation records, oldest first.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "sculpt/sculpt_op.h"

inline constexpr uint32_t kSculptureMagic = 0x4D4C4452;  // "RDLM" on disk
inline constexpr uint32_t kSculptureVersion = 1;
inline constexpr size_t kSculptureHeaderSize = 12;

struct SculptureHeader {
  uint32_t magic;
  uint32_t version;
  uint32_t count;
};

// Validates a whole file image and copies its records out. A file whose header is short or wrong
// is refused: returns false, leaves `records` empty and puts a message naming `name` into `error`.
// Damage after a good header is recovered from rather than refused, so that the user's history is
// never lost whole: a file cut short yields the whole records it holds, sphere, box and cylinder
// records with non-finite numbers are skipped, and bytes after the last record are ignored, each
// with a note naming `name` in `warning`.
bool ParseSculpture(const uint8_t* data, size_t size, const std::string& name,
                    SculptureHeader& header, std::vector<SculptOp>& records, std::string& error,
                    std::string& warning);

// Reads a sculpture file from an open stream by the same rules, without holding the file in
// memory: the header, then only the records it promises that the file holds, so that memory and
// time follow the records, never the file's size (a file padded with a hole of a terabyte is
// read as quickly as without it). Only regular files are read: a FIFO or a device has no size to
// trust. `fileSize` (if given) receives the file's size in bytes. Running out of memory for the
// records is reported in `error`, never thrown.
bool ReadSculpture(FILE* file, const std::string& name, SculptureHeader& header,
                   std::vector<SculptOp>& records, std::string& error, std::string& warning,
                   uint64_t* fileSize = nullptr);

std::vector<uint8_t> SerializeSculpture(const std::vector<SculptOp>& records);

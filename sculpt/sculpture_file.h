#pragma once
// The sculpture file: a 12-byte header (magic "RDLM", version 1, record count) followed by the
// operation records, oldest first.
#include <cstddef>
#include <cstdint>
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

// Validates a whole file image and copies its records out. On failure returns false, leaves
// `records` empty and puts a message naming `name` into `error`. Files whose count promises more
// records than they hold, and sphere, box or cylinder records with non-finite numbers, are
// refused as a whole so that a damaged file never half-replaces a sculpture. Bytes after the last
// record are ignored, with a note in `warning`.
bool ParseSculpture(const uint8_t* data, size_t size, const std::string& name,
                    SculptureHeader& header, std::vector<SculptOp>& records, std::string& error,
                    std::string& warning);

std::vector<uint8_t> SerializeSculpture(const std::vector<SculptOp>& records);

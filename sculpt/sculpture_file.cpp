#include "sculpt/sculpture_file.h"

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstring>

// Records are copied between memory and file as they are, which is the file's little-endian layout.
static_assert(std::endian::native == std::endian::little);

namespace {

template <class... Args>
std::string Format(const char* format, Args... args) {
  char buffer[512];
  snprintf(buffer, sizeof(buffer), format, args...);
  return buffer;
}

bool HasOnlyFiniteNumbers(const SculptOp& op) {
  for (float v : op.matrix.m)
    if (!std::isfinite(v)) return false;
  const float values[] = {op.radius, op.red, op.green, op.blue, op.roughness, op.metalness};
  for (float v : values)
    if (!std::isfinite(v)) return false;
  return true;
}

}  // namespace

bool ParseSculpture(const uint8_t* data, size_t size, const std::string& name,
                    SculptureHeader& header, std::vector<SculptOp>& records, std::string& error,
                    std::string& warning) {
  records.clear();
  warning.clear();
  if (size < kSculptureHeaderSize) {
    error = Format("'%s' is too short for a sculpture file (%zu bytes)", name.c_str(), size);
    return false;
  }
  std::memcpy(&header, data, sizeof(header));
  if (header.magic != kSculptureMagic || header.version != kSculptureVersion) {
    error = Format("Bad magic or version (%d)", int(header.version));
    return false;
  }
  const size_t present = (size - kSculptureHeaderSize) / sizeof(SculptOp);
  if (header.count > present) {
    error = Format("'%s' is truncated: it promises %u records but holds %zu", name.c_str(),
                   header.count, present);
    return false;
  }
  records.resize(header.count);
  if (header.count) std::memcpy(records.data(), data + kSculptureHeaderSize, header.count * sizeof(SculptOp));
  for (size_t i = 0; i < records.size(); ++i) {
    const SculptOp& op = records[i];
    bool stamps = op.type == kOpSphere || op.type == kOpBox || op.type == kOpCylinder;
    if (stamps && !HasOnlyFiniteNumbers(op)) {
      error = Format("record %zu of '%s' holds a number that is not finite", i, name.c_str());
      records.clear();
      return false;
    }
  }
  const size_t extra = size - kSculptureHeaderSize - header.count * sizeof(SculptOp);
  if (extra) warning = Format("'%s' has %zu bytes after its last record; they are ignored",
                              name.c_str(), extra);
  return true;
}

std::vector<uint8_t> SerializeSculpture(const std::vector<SculptOp>& records) {
  std::vector<uint8_t> bytes(kSculptureHeaderSize + records.size() * sizeof(SculptOp));
  SculptureHeader header{kSculptureMagic, kSculptureVersion, uint32_t(records.size())};
  std::memcpy(bytes.data(), &header, sizeof(header));
  if (!records.empty())
    std::memcpy(bytes.data() + kSculptureHeaderSize, records.data(), records.size() * sizeof(SculptOp));
  return bytes;
}

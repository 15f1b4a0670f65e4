#include "sculpt/sculpture_file.h"

#include <algorithm>
#include <bit>
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

void AddWarning(std::string& warnings, const std::string& warning) {
  if (!warnings.empty()) warnings += "; ";
  warnings += warning;
}

// The magic as text for messages, with bytes that are not printable shown as '?'.
std::string MagicText(uint32_t magic) {
  std::string text(4, '?');
  for (int i = 0; i < 4; ++i) {
    const char c = char((magic >> (8 * i)) & 0xFF);
    if (c >= 0x20 && c < 0x7F) text[i] = c;
  }
  return text;
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
  if (header.magic != kSculptureMagic) {
    error = Format("'%s' is not a sculpture file: bad magic \"%s\" (expected \"RDLM\")",
                   name.c_str(), MagicText(header.magic).c_str());
    return false;
  }
  if (header.version != kSculptureVersion) {
    error = Format("'%s' has version %u; only version %u sculpture files can be read",
                   name.c_str(), header.version, kSculptureVersion);
    return false;
  }
  // Never trust the count for sizes: only the whole records the file holds are read.
  const size_t present = (size - kSculptureHeaderSize) / sizeof(SculptOp);
  const size_t whole = std::min<size_t>(header.count, present);
  if (header.count > present) {
    AddWarning(warning, Format("'%s' is cut short: it holds %zu of the %u records it promises; "
                               "the %zu whole records are loaded",
                               name.c_str(), present, header.count, present));
  }
  records.reserve(whole);
  size_t skipped = 0, firstSkipped = 0;
  for (size_t i = 0; i < whole; ++i) {
    SculptOp op;
    std::memcpy(&op, data + kSculptureHeaderSize + i * sizeof(SculptOp), sizeof(SculptOp));
    if (!HoldsOnlyFiniteNumbers(op)) {
      if (skipped++ == 0) firstSkipped = i;
      continue;
    }
    records.push_back(op);
  }
  if (skipped) {
    AddWarning(warning, Format("'%s': %zu record%s holding numbers that are not finite %s "
                               "skipped (the first is record %zu)",
                               name.c_str(), skipped, skipped == 1 ? "" : "s",
                               skipped == 1 ? "was" : "were", firstSkipped));
  }
  const size_t extra = size - kSculptureHeaderSize - whole * sizeof(SculptOp);
  if (header.count <= present && extra) {
    AddWarning(warning, Format("'%s' has %zu bytes after its last record; they are ignored",
                               name.c_str(), extra));
  }
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

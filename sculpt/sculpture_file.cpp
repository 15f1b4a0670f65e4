#include "sculpt/sculpture_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <new>
#include <stdexcept>

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

// `data` holds the first `size` bytes of a file of `fileSize` bytes: at least the header and every
// whole record the header promises, unless the file is shorter.
bool ParseSculptureImage(const uint8_t* data, size_t size, uint64_t fileSize,
                         const std::string& name, SculptureHeader& header,
                         std::vector<SculptOp>& records, std::string& error,
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
  const uint64_t present = (fileSize - kSculptureHeaderSize) / sizeof(SculptOp);
  const size_t whole = size_t(std::min<uint64_t>(
      std::min<uint64_t>(header.count, present), (size - kSculptureHeaderSize) / sizeof(SculptOp)));
  if (header.count > present) {
    AddWarning(warning, Format("'%s' is cut short: it holds %zu of the %u records it promises; "
                               "the %zu whole records are loaded",
                               name.c_str(), size_t(present), header.count, size_t(present)));
  }
  try {
    records.reserve(whole);
  } catch (const std::bad_alloc&) {
    error = Format("'%s' holds %zu records, more than there is memory for", name.c_str(), whole);
    return false;
  }
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
  const uint64_t extra = fileSize - kSculptureHeaderSize - whole * sizeof(SculptOp);
  if (header.count <= present && extra) {
    AddWarning(warning, Format("'%s' has %llu bytes after its last record; they are ignored",
                               name.c_str(), static_cast<unsigned long long>(extra)));
  }
  return true;
}

}  // namespace

bool ParseSculpture(const uint8_t* data, size_t size, const std::string& name,
                    SculptureHeader& header, std::vector<SculptOp>& records, std::string& error,
                    std::string& warning) {
  return ParseSculptureImage(data, size, size, name, header, records, error, warning);
}

bool ReadSculpture(FILE* file, const std::string& name, SculptureHeader& header,
                   std::vector<SculptOp>& records, std::string& error, std::string& warning,
                   uint64_t* fileSize) {
  records.clear();
  warning.clear();
  struct stat info;
  if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
    error = Format("'%s' is not a regular file", name.c_str());
    return false;
  }
  const uint64_t size = uint64_t(info.st_size);
  if (fileSize) *fileSize = size;
  uint8_t head[kSculptureHeaderSize];
  const size_t headRead = fread(head, 1, sizeof head, file);
  if (headRead < sizeof head) {
    if (ferror(file)) {
      error = Format("cannot read '%s'", name.c_str());
      return false;
    }
    return ParseSculptureImage(head, headRead, headRead, name, header, records, error, warning);
  }
  SculptureHeader promised;
  std::memcpy(&promised, head, sizeof promised);
  const uint64_t present = size >= kSculptureHeaderSize
                               ? (size - kSculptureHeaderSize) / sizeof(SculptOp) : 0;
  // Only a file that really is a sculpture gets its records read.
  const uint64_t wanted =
      promised.magic == kSculptureMagic && promised.version == kSculptureVersion
          ? std::min<uint64_t>(promised.count, present) : 0;
  std::vector<uint8_t> image;
  try {
    image.resize(kSculptureHeaderSize + size_t(wanted) * sizeof(SculptOp));
  } catch (const std::exception&) {  // bad_alloc, or length_error on a narrow size_t
    error = Format("'%s' holds %llu records, more than there is memory for", name.c_str(),
                   static_cast<unsigned long long>(wanted));
    return false;
  }
  std::memcpy(image.data(), head, sizeof head);
  const size_t body = image.size() - kSculptureHeaderSize;
  const size_t bodyRead = body ? fread(image.data() + kSculptureHeaderSize, 1, body, file) : 0;
  if (bodyRead < body && ferror(file)) {
    error = Format("cannot read '%s'", name.c_str());
    return false;
  }
  // A file that shrank while being read is cut short at what was read; one that grew is taken
  // at the size it had.
  const uint64_t seen = bodyRead < body ? kSculptureHeaderSize + bodyRead
                                        : std::max<uint64_t>(size, kSculptureHeaderSize);
  return ParseSculptureImage(image.data(), kSculptureHeaderSize + bodyRead, seen, name, header,
                             records, error, warning);
}

std::vector<uint8_t> SerializeSculpture(const std::vector<SculptOp>& records) {
  std::vector<uint8_t> bytes(kSculptureHeaderSize + records.size() * sizeof(SculptOp));
  SculptureHeader header{kSculptureMagic, kSculptureVersion, uint32_t(records.size())};
  std::memcpy(bytes.data(), &header, sizeof(header));
  if (!records.empty())
    std::memcpy(bytes.data() + kSculptureHeaderSize, records.data(), records.size() * sizeof(SculptOp));
  return bytes;
}

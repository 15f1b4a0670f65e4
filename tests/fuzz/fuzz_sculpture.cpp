// Sculpture files: the header, the count and every record come from the file.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "sculpt/sculpture_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  SculptureHeader header{};
  std::vector<SculptOp> records;
  std::string error, warning;
  if (ParseSculpture(data, size, "fuzz.sculpt", header, records, error, warning)) {
    // Whatever loads saves back to a file that loads again, with nothing skipped.
    const std::vector<uint8_t> saved = SerializeSculpture(records);
    std::vector<SculptOp> again;
    if (!ParseSculpture(saved.data(), saved.size(), "again", header, again, error, warning) ||
        again.size() != records.size() || !warning.empty())
      __builtin_trap();
  }
  return 0;
}

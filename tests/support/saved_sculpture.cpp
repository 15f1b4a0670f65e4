#include "tests/support/saved_sculpture.h"

#include <cstdint>
#include <fstream>
#include <iterator>

#include "sculpt/sculpture_file.h"

std::string FileBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
}

bool ReadSculptureRecords(const std::string& path, std::vector<SculptOp>* records,
                          std::string* error) {
  const std::string bytes = FileBytes(path);
  SculptureHeader header{};
  std::string warning;
  return ParseSculpture(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), path, header,
                        *records, *error, warning);
}

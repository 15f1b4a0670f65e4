#pragma once
// Readers that take a path under the data roots get the input as a file in a folder of their own.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "file/file_util.h"

namespace fuzz {

inline const std::string& Folder() {
  static const std::string folder = [] {
    // Under TMPDIR when set, so the runner removes these folders with its own.
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp != nullptr && *tmp != '\0' ? tmp : "/tmp") +
                          "/loomwork-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern.data());
    if (made == nullptr) std::abort();
    return std::string(made) + "/";
  }();
  return folder;
}

inline const DataRoots& Roots() {
  static const DataRoots roots = {Folder()};
  return roots;
}

inline void WriteInput(const std::string& name, const uint8_t* data, size_t size) {
  FILE* file = std::fopen((Folder() + name).c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size != 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
}

}  // namespace fuzz

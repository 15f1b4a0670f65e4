#include "bench/stroke_sculpture_file.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "file/file_util.h"
#include "sculpt/sculpture_file.h"
#include "sculpt/stroke_sculpture.h"

const std::string& StrokeSculptureFile() {
  // Never destroyed: the removal at exit runs after the destructors of statics made before it.
  static const std::string* path = [] {
    const char* dir = std::getenv("TMPDIR");
    auto* p = new std::string(std::string(dir && *dir ? dir : "/tmp") + "/loomwork-bench-strokes-" +
                              std::to_string(getpid()) + ".sculpt");
    const std::vector<uint8_t> bytes =
        SerializeSculpture(StrokeSculptureRecords(kStrokeSculptureRecords));
    if (WriteDataFileAtomic(nullptr, *p, bytes.data(), bytes.size()) != WriteResult::Ok) {
      p->clear();
      return p;
    }
    std::atexit([] { std::remove(StrokeSculptureFile().c_str()); });
    return p;
  }();
  return *path;
}

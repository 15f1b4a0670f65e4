#include "gfx/png_file.h"

#include <stb_image_write.h>

#include "base/log.h"
#include "file/file_util.h"

bool WritePngFile(const std::string& path, const std::vector<uint8_t>& rgba, int width,
                  int height) {
  std::vector<uint8_t> encoded;
  auto append = [](void* context, void* data, int size) {
    auto* out = static_cast<std::vector<uint8_t>*>(context);
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    out->insert(out->end(), bytes, bytes + size);
  };
  if (!stbi_write_png_to_func(append, &encoded, width, height, 4, rgba.data(), width * 4)) {
    Log(LogLevel::Error, "Could not encode %s", path.c_str());
    return false;
  }
  return WriteDataFileAtomic(nullptr, path, encoded.data(), encoded.size()) == WriteResult::Ok;
}

// loomwork-icon-builder: the application icon in the hicolor theme's sizes, drawn from the
// tool-icon atlas of a data tree.
//
//   loomwork-icon-builder ATLAS.png OUTPUT_DIR SIZE...
//
// writes OUTPUT_DIR/NxN/apps/loomwork.png for every size N. Every file is written atomically.
#include <stb_image.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/log.h"
#include "file/file_util.h"
#include "gfx/png_file.h"
#include "tools/icon_builder/app_icon.h"

namespace {

constexpr int kMaxSize = 1024;

bool LoadAtlas(const char* path, RgbaImage& atlas) {
  std::vector<uint8_t> bytes;
  if (!ReadFile(path, bytes) || bytes.empty()) {
    Log(LogLevel::Error, "Could not read the icon atlas %s", path);
    return false;
  }
  int channels = 0;
  stbi_uc* pixels = stbi_load_from_memory(bytes.data(), int(bytes.size()), &atlas.width,
                                          &atlas.height, &channels, 4);
  if (pixels == nullptr) {
    Log(LogLevel::Error, "%s is not an image: %s", path, stbi_failure_reason());
    return false;
  }
  atlas.pixels.assign(pixels, pixels + size_t(atlas.width) * size_t(atlas.height) * 4);
  stbi_image_free(pixels);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  AddLogSink(DebugOutputSink, nullptr);
  std::vector<int> sizes;
  for (int i = 3; i < argc; ++i) {
    char* end = nullptr;
    const long size = std::strtol(argv[i], &end, 10);
    if (*end != 0 || size < 1 || size > kMaxSize) {
      std::fprintf(stderr, "'%s' is not an icon size (1 to %d)\n", argv[i], kMaxSize);
      return 2;
    }
    sizes.push_back(int(size));
  }
  if (sizes.empty()) {
    std::fprintf(stderr, "usage: %s ATLAS.png OUTPUT_DIR SIZE...\n",
                 argc > 0 ? argv[0] : "loomwork-icon-builder");
    return 2;
  }
  RgbaImage atlas;
  if (!LoadAtlas(argv[1], atlas)) return 1;
  for (const int size : sizes) {
    const std::vector<uint8_t> icon = DrawAppIcon(atlas, size);
    if (icon.empty()) {
      Log(LogLevel::Error, "%s lacks the sphere or the brush of the icon table", argv[1]);
      return 1;
    }
    const std::string folder =
        std::string(argv[2]) + "/" + std::to_string(size) + "x" + std::to_string(size) + "/apps";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
      Log(LogLevel::Error, "Could not create %s: %s", folder.c_str(), error.message().c_str());
      return 1;
    }
    if (!WritePngFile(folder + "/loomwork.png", icon, size, size)) return 1;
  }
  return 0;
}

// loomwork-texture-builder: generates the image files of the data tree (the tool-icon atlas, the
// brush images, the two pre-filtered sky cube maps) and copies the panel font beside them.
//
//   loomwork-texture-builder OUTPUT_DIR
//
// Every file is written atomically, so an interrupted build never leaves a torn file behind.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/log.h"
#include "file/file_util.h"
#include "gfx/ktx.h"
#include "gfx/png_file.h"
#include "tools/texture_builder/brush_images.h"
#include "tools/texture_builder/cubemap_filter.h"
#include "tools/texture_builder/sky_models.h"
#include "tools/texture_builder/tool_icons.h"

namespace {

constexpr const char* kFontSource = "/usr/share/fonts/truetype/comfortaa/Comfortaa-Bold.ttf";

// Sky cube maps: 256 texels per face edge keeps stars and the sun's disc crisp; 2 x 2 samples per
// texel anti-alias the mountain ridge and the stars; 64 lobe samples per filtered texel are
// plenty because each one reads the source at a matching mip level.
constexpr int kSkySize = 256;
constexpr int kSkySupersample = 2;
constexpr int kSkyLobeSamples = 64;

bool WriteBytes(const std::string& path, const void* data, size_t size) {
  return WriteDataFileAtomic(nullptr, path, data, size) == WriteResult::Ok;
}

bool WriteSky(const std::string& path, const RadianceFunction& radiance) {
  const CubeLevel base = RenderCube(radiance, kSkySize, kSkySupersample);
  const std::vector<uint8_t> file = Ktx::Write(ToKtxImage(PrefilterGGX(base, kSkyLobeSamples)));
  return !file.empty() && WriteBytes(path, file.data(), file.size());
}

bool CopyFont(const std::string& path) {
  std::vector<uint8_t> font;
  if (!ReadFile(kFontSource, font)) {
    Log(LogLevel::Error, "Could not read %s (Debian package fonts-comfortaa)", kFontSource);
    return false;
  }
  return WriteBytes(path, font.data(), font.size());
}

}  // namespace

int main(int argc, char** argv) {
  AddLogSink(DebugOutputSink, nullptr);
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argc > 0 ? argv[0] : "loomwork-texture-builder");
    return 2;
  }
  const std::string root = std::string(argv[1]) + "/";
  std::error_code error;
  for (const char* directory : {"textures", "assets"}) {
    std::filesystem::create_directories(root + directory, error);
    if (error) {
      Log(LogLevel::Error, "Could not create %s%s: %s", root.c_str(), directory,
          error.message().c_str());
      return 1;
    }
  }

  const auto start = std::chrono::steady_clock::now();
  const bool ok =
      WritePngFile(root + "textures/tools.png", DrawToolIconAtlas(), kIconAtlasWidth,
                   kIconAtlasHeight) &&
      WritePngFile(root + "textures/blob.png", DrawBlob(), kBlobSize, kBlobSize) &&
      WritePngFile(root + "textures/proxy.png", DrawProxyPattern(), kProxySize, kProxySize) &&
      WriteSky(root + "textures/nightskybox_filtered.ktx", NightSkyRadiance) &&
      WriteSky(root + "textures/swiss_filtered.ktx", DaySkyRadiance) &&
      CopyFont(root + "assets/Comfortaa_Bold.ttf");
  if (!ok) {
    return 1;
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  Log(LogLevel::Info, "Textures written to %s in %.1f s", argv[1], seconds);
  return 0;
}

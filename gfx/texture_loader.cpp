#include "gfx/texture_loader.h"

#include <stb_image.h>

#include <algorithm>
#include <climits>
#include <memory>

#include "base/check.h"
#include "base/log.h"

namespace {

struct StbiFree {
  void operator()(uint8_t* pixels) const { stbi_image_free(pixels); }
};

// RGBA8 pixels, rows of width * 4 bytes.
struct DecodedImage {
  std::unique_ptr<uint8_t, StbiFree> pixels;
  int width = 0;
  int height = 0;
};

// Decodes one candidate file. Files that exist but do not decode are reported as warnings so
// that the final "Failed to load" says which file was wrong and why.
bool DecodeFile(const std::string& fullPath, DecodedImage& image) {
  std::vector<uint8_t> bytes;
  if (!ReadFile(fullPath, bytes)) {
    return false;
  }
  if (bytes.size() > static_cast<size_t>(INT_MAX)) {
    Log(LogLevel::Warning, "'%s' is too large to decode", fullPath.c_str());
    return false;
  }
  const int length = static_cast<int>(bytes.size());
  int width = 0, height = 0, channels = 0;
  // Sizes are checked before decoding so that a hostile header cannot make the decoder allocate
  // an image no texture could hold.
  if (!stbi_info_from_memory(bytes.data(), length, &width, &height, &channels)) {
    Log(LogLevel::Warning, "'%s' is not a readable image: %s", fullPath.c_str(),
        stbi_failure_reason());
    return false;
  }
  if (width <= 0 || height <= 0 || width > kMaxTextureSide || height > kMaxTextureSide) {
    Log(LogLevel::Warning, "'%s' is %d x %d texels; textures hold 1 to %d per side",
        fullPath.c_str(), width, height, kMaxTextureSide);
    return false;
  }
  uint8_t* pixels = stbi_load_from_memory(bytes.data(), length, &width, &height, &channels, 4);
  if (pixels == nullptr) {
    Log(LogLevel::Warning, "'%s' is not a readable image: %s", fullPath.c_str(),
        stbi_failure_reason());
    return false;
  }
  image.pixels.reset(pixels);
  image.width = width;
  image.height = height;
  return true;
}

bool DecodeThroughRoots(const DataRoots* roots, const std::string& path, DecodedImage& image) {
  if (roots == nullptr) {
    return DecodeFile(path, image);
  }
  for (const std::string& root : *roots) {
    if (DecodeFile(root + path, image)) {
      return true;
    }
  }
  return false;
}

int FloorLog2(int value) {
  int log = 0;
  while (value > 1) {
    value >>= 1;
    ++log;
  }
  return log;
}

Draw::DataFormat LoadedFormat(uint32_t flags) {
  return (flags & SRGB) ? Draw::R8G8B8A8_UNORM_SRGB : Draw::R8G8B8A8_UNORM;
}

}  // namespace

int LoadedTextureMipLevels(int width, int height, uint32_t flags) {
  if (!(flags & GENERATE_MIPS)) {
    return 1;
  }
  const int levels = std::min(FloorLog2(width), FloorLog2(height));
  return levels < 1 ? 1 : levels;
}

Draw::Texture* LoadTexture(Draw::DrawContext* context, const DataRoots* roots,
                           const std::string& path, uint32_t flags) {
  DecodedImage image;
  if (!DecodeThroughRoots(roots, path, image)) {
    Log(LogLevel::Error, "Failed to load '%s'", path.c_str());
    return nullptr;
  }
  const size_t texelCount = static_cast<size_t>(image.width) * image.height;
  if (flags & PREMULTIPLY_ALPHA) {
    uint8_t* texel = image.pixels.get();
    for (size_t i = 0; i < texelCount; ++i, texel += 4) {
      const uint32_t alpha = texel[3];
      for (int c = 0; c < 3; ++c) {
        texel[c] = static_cast<uint8_t>(((texel[c] + 1u) * alpha) >> 8);
      }
    }
  }
  Draw::TextureDesc desc;
  desc.format = LoadedFormat(flags);
  desc.width = image.width;
  desc.height = image.height;
  desc.depth = 1;
  desc.mipLevels = LoadedTextureMipLevels(image.width, image.height, flags);
  desc.flags = 0;
  // The context logs why it could not make the texture.
  Draw::Texture* texture = context->CreateTexture(desc);
  if (texture == nullptr) {
    return nullptr;
  }
  context->UpdateTextureLevel(texture, 0, 0, 0, 0, image.width, image.height, 1, image.width * 4,
                              image.width * image.height * 4, image.pixels.get());
  context->GenerateMipmaps(texture);
  return texture;
}

Draw::Texture* LoadArrayTexture(Draw::DrawContext* context, const DataRoots* roots,
                                const std::vector<std::string>& paths, uint32_t flags) {
  CHECK(!paths.empty());
  if (paths.empty()) {
    return nullptr;
  }
  std::unique_ptr<Draw::Texture> texture;
  int width = 0, height = 0;
  for (size_t layer = 0; layer < paths.size(); ++layer) {
    DecodedImage image;
    // A layer without an image would leave undefined texels in the array, so one missing file
    // fails the whole texture.
    if (!DecodeThroughRoots(roots, paths[layer], image)) {
      Log(LogLevel::Error, "Failed to load '%s'", paths[layer].c_str());
      return nullptr;
    }
    if (!texture) {
      width = image.width;
      height = image.height;
      Draw::TextureDesc desc;
      desc.format = LoadedFormat(flags);
      desc.width = width;
      desc.height = height;
      desc.depth = static_cast<int32_t>(paths.size());
      desc.mipLevels = LoadedTextureMipLevels(width, height, flags);
      desc.flags = Draw::ARRAY;
      texture.reset(context->CreateTexture(desc));
      if (!texture) {
        return nullptr;
      }
    } else if (image.width != width || image.height != height) {
      Log(LogLevel::Error, "Array texture must have all textures of identical size");
      return nullptr;
    }
    context->UpdateTextureLevel(texture.get(), 0, 0, 0, static_cast<int32_t>(layer), width,
                                height, 1, width * 4, width * height * 4, image.pixels.get());
  }
  if (flags & GENERATE_MIPS) {
    context->GenerateMipmaps(texture.get());
  }
  return texture.release();
}

#include "gfx/tex_util.h"

#include <cstring>
#include <vector>

#include "base/check.h"

namespace {

// Bytes of one texel as these functions store it; 0 for formats they cannot produce.
int GeneratedTexelBytes(Draw::DataFormat format) {
  switch (format) {
    case Draw::R8G8B8A8_UNORM: return 4;
    case Draw::R8G8_UNORM: return 2;
    case Draw::R32G32B32A32_FLOAT: return 16;
    case Draw::R32_FLOAT: return 4;
    default: return 0;
  }
}

// Uploads read rows at the drawing interface's 4-byte row alignment.
int PaddedRowBytes(int width, int texelBytes) { return (width * texelBytes + 3) & ~3; }

void StoreTexel(Draw::DataFormat format, Vec4 color, uint8_t* out) {
  switch (format) {
    case Draw::R8G8B8A8_UNORM: {
      const uint32_t packed = ColorToRGBA8(color);
      std::memcpy(out, &packed, 4);
      break;
    }
    case Draw::R8G8_UNORM: {
      const uint16_t packed = static_cast<uint16_t>(ColorToRGBA8(color) & 0xFFFF);
      std::memcpy(out, &packed, 2);
      break;
    }
    case Draw::R32G32B32A32_FLOAT: {
      const float values[4] = {color.x, color.y, color.z, color.w};
      std::memcpy(out, values, 16);
      break;
    }
    case Draw::R32_FLOAT:
      std::memcpy(out, &color.x, 4);
      break;
    default:
      break;
  }
}

Draw::Texture* CreateSingleLevelTexture(Draw::DrawContext* context, Draw::DataFormat format,
                                        int width, int height, int depth, int flags) {
  Draw::TextureDesc desc;
  desc.format = format;
  desc.width = width;
  desc.height = height;
  desc.depth = depth;
  desc.mipLevels = 1;
  desc.flags = flags;
  return context->CreateTexture(desc);
}

}  // namespace

Draw::Texture* CreateSolidColorTexture(Draw::DrawContext* context, int width, int height,
                                       int flags, Draw::DataFormat format, uint32_t color) {
  CHECK(format == Draw::R8G8B8A8_UNORM);
  CHECK(width > 0 && height > 0);
  if (format != Draw::R8G8B8A8_UNORM || width <= 0 || height <= 0) {
    return nullptr;
  }
  Draw::Texture* texture = CreateSingleLevelTexture(context, format, width, height, 1, flags);
  if (texture == nullptr) {
    return nullptr;
  }
  const std::vector<uint32_t> texels(static_cast<size_t>(width) * height, color);
  context->UpdateTextureLevel(texture, 0, 0, 0, 0, width, height, 1, width * 4,
                              width * height * 4, texels.data());
  return texture;
}

Draw::Texture* CreateTextureFromFunction(Draw::DrawContext* context, int width, int height,
                                         int flags, Draw::DataFormat format,
                                         TextureFunction generator) {
  const int texelBytes = GeneratedTexelBytes(format);
  CHECK(texelBytes != 0);
  CHECK(width > 0 && height > 0);
  if (texelBytes == 0 || width <= 0 || height <= 0) {
    return nullptr;
  }
  Draw::Texture* texture = CreateSingleLevelTexture(context, format, width, height, 1, flags);
  if (texture == nullptr) {
    return nullptr;
  }
  const int rowBytes = PaddedRowBytes(width, texelBytes);
  std::vector<uint8_t> data(static_cast<size_t>(rowBytes) * height);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = data.data() + static_cast<size_t>(y) * rowBytes;
    for (int x = 0; x < width; ++x) {
      const Vec2 uv = {static_cast<float>(x) / width, static_cast<float>(y) / height};
      StoreTexel(format, generator(uv), row + x * texelBytes);
    }
  }
  context->UpdateTextureLevel(texture, 0, 0, 0, 0, width, height, 1, rowBytes, rowBytes * height,
                              data.data());
  return texture;
}

Draw::Texture* CreateCubemapFromFunction(Draw::DrawContext* context, int size,
                                         Draw::DataFormat format, CubemapFunction generator) {
  const bool supported = format == Draw::R8G8B8A8_UNORM || format == Draw::R32G32B32A32_FLOAT;
  CHECK(supported);
  CHECK(size > 0);
  if (!supported || size <= 0) {
    return nullptr;
  }
  Draw::Texture* texture = CreateSingleLevelTexture(context, format, size, size, 6, Draw::CUBE);
  if (texture == nullptr) {
    return nullptr;
  }
  const int texelBytes = GeneratedTexelBytes(format);
  const int rowBytes = size * texelBytes;
  std::vector<uint8_t> data(static_cast<size_t>(rowBytes) * size);
  for (int face = 0; face < 6; ++face) {
    for (int y = 0; y < size; ++y) {
      const float b = 2.0f * (static_cast<float>(y) / size - 0.5f);
      uint8_t* row = data.data() + static_cast<size_t>(y) * rowBytes;
      for (int x = 0; x < size; ++x) {
        const float a = 2.0f * (static_cast<float>(x) / size - 0.5f);
        Vec3 direction;
        switch (face) {
          case 0: direction = {1, a, b}; break;
          case 1: direction = {-1, a, b}; break;
          case 2: direction = {a, 1, b}; break;
          case 3: direction = {a, -1, b}; break;
          case 4: direction = {a, b, 1}; break;
          default: direction = {a, b, -1}; break;
        }
        StoreTexel(format, generator(direction), row + x * texelBytes);
      }
    }
    context->UpdateTextureLevel(texture, 0, 0, 0, face, size, size, 1, rowBytes, rowBytes * size,
                                data.data());
  }
  return texture;
}

#include "gfx/ktx.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "base/check.h"
#include "base/log.h"

namespace {

constexpr uint8_t kIdentifier[12] = {0xAB, 'K', 'T', 'X', ' ', '1', '1', 0xBB, '\r', '\n', 0x1A, '\n'};

constexpr uint32_t kGlUnsignedByte = 0x1401;
constexpr uint32_t kGlHalfFloat = 0x140B;
constexpr uint32_t kGlRGB = 0x1907;
constexpr uint32_t kGlRGBA = 0x1908;

// The largest side the reader accepts; no driver the program runs on allocates more, and it keeps
// every size computed below far from overflowing.
constexpr uint32_t kMaxSide = 16384;

struct FormatInfo {
  uint32_t glInternalFormat;
  Draw::DataFormat format;
  uint32_t storedBytes;  // per texel in the texture
  uint32_t fileBytes;    // per texel in the file; 0 for block-compressed data
};

constexpr FormatInfo kFormats[] = {
    {Ktx::kRGBA16F, Draw::R16G16B16A16_FLOAT, 8, 8},
    {Ktx::kRGB16F, Draw::R16G16B16A16_FLOAT, 8, 6},
    {Ktx::kSRGB8Alpha8, Draw::R8G8B8A8_UNORM_SRGB, 4, 4},
    {Ktx::kCompressedRGBS3TCDXT1, Draw::BC1_RGB_UNORM, 0, 0},
    {Ktx::kCompressedRGBAS3TCDXT3, Draw::BC2_UNORM, 0, 0},
    {Ktx::kCompressedRGBAS3TCDXT5, Draw::BC3_UNORM, 0, 0},
    {Ktx::kCompressedRedRGTC1, Draw::BC4_UNORM, 0, 0},
    {Ktx::kCompressedSignedRedRGTC1, Draw::BC4_SNORM, 0, 0},
    {Ktx::kCompressedRGRGTC2, Draw::BC5_UNORM, 0, 0},
    {Ktx::kCompressedSignedRGRGTC2, Draw::BC5_SNORM, 0, 0},
    {Ktx::kCompressedRGBBPTCUnsignedFloat, Draw::BC6H_UFLOAT, 0, 0},
    {Ktx::kCompressedRGBBPTCSignedFloat, Draw::BC6H_SFLOAT, 0, 0},
    {Ktx::kCompressedRGBABPTCUnorm, Draw::BC7_UNORM, 0, 0},
    {Ktx::kCompressedSRGBAlphaBPTCUnorm, Draw::BC7_UNORM_SRGB, 0, 0},
};

const FormatInfo* FindFormat(uint32_t glInternalFormat) {
  for (const FormatInfo& info : kFormats) {
    if (info.glInternalFormat == glInternalFormat) {
      return &info;
    }
  }
  return nullptr;
}

uint32_t ReadU32(const uint8_t* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

void AppendU32(std::vector<uint8_t>& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    out.push_back(static_cast<uint8_t>(value >> (8 * i)));
  }
}

uint64_t PaddedRowBytes(uint32_t width, uint32_t texelBytes) {
  return (static_cast<uint64_t>(width) * texelBytes + 3) & ~uint64_t{3};
}

uint32_t FullChainLevels(uint32_t width, uint32_t height) {
  uint32_t levels = 1;
  for (uint32_t side = std::max(width, height); side > 1; side >>= 1) {
    ++levels;
  }
  return levels;
}

struct LevelSpan {
  size_t offset;  // of the first face's first byte
  uint32_t width;
  uint32_t height;
  uint64_t faceBytes;
};

}  // namespace

Draw::Texture* CreateTextureFromKTX(Draw::DrawContext* context, const uint8_t* data, size_t size) {
  if (data == nullptr || size < Ktx::kHeaderBytes) {
    Log(LogLevel::Error, "KTX: %zu bytes are too few for a header", size);
    return nullptr;
  }
  const uint32_t endianness = ReadU32(data + Ktx::kFieldEndianness);
  if (endianness != Ktx::kEndianness) {
    Log(LogLevel::Error, "KTX: endianness marker 0x%08x, expected 0x%08x", endianness,
        Ktx::kEndianness);
    return nullptr;
  }
  const uint32_t internalFormat = ReadU32(data + Ktx::kFieldGlInternalFormat);
  const FormatInfo* format = FindFormat(internalFormat);
  if (format == nullptr) {
    Log(LogLevel::Error, "KTX: unsupported internal format 0x%04x", internalFormat);
    return nullptr;
  }
  // Block-compressed data is refused: the program ships none, and the size checks below are
  // made for whole texels.
  if (format->fileBytes == 0) {
    Log(LogLevel::Error, "KTX: block-compressed format 0x%04x cannot be uploaded", internalFormat);
    return nullptr;
  }
  const uint32_t width = ReadU32(data + Ktx::kFieldPixelWidth);
  const uint32_t height = ReadU32(data + Ktx::kFieldPixelHeight);
  const uint32_t pixelDepth = ReadU32(data + Ktx::kFieldPixelDepth);
  const uint32_t arrayElements = ReadU32(data + Ktx::kFieldArrayElements);
  const uint32_t faces = ReadU32(data + Ktx::kFieldFaces);
  const uint32_t fileLevels = ReadU32(data + Ktx::kFieldMipLevels);
  const uint32_t keyValueBytes = ReadU32(data + Ktx::kFieldKeyValueBytes);
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
    Log(LogLevel::Error, "KTX: size %u x %u, expected 1 to %u per side", width, height, kMaxSide);
    return nullptr;
  }
  if (pixelDepth > 1 || arrayElements > 1) {
    Log(LogLevel::Error, "KTX: depth %u, %u array elements: only 2D textures and cube maps load",
        pixelDepth, arrayElements);
    return nullptr;
  }
  if (faces != 1 && faces != 6) {
    Log(LogLevel::Error, "KTX: %u faces, expected 1 or 6", faces);
    return nullptr;
  }
  const bool cube = faces == 6;
  if (cube && width != height) {
    Log(LogLevel::Error, "KTX: cube map faces of %u x %u are not square", width, height);
    return nullptr;
  }
  const uint32_t maxLevels = FullChainLevels(width, height);
  if (fileLevels > maxLevels) {
    Log(LogLevel::Error, "KTX: %u mip levels, a %u x %u texture has at most %u", fileLevels, width,
        height, maxLevels);
    return nullptr;
  }
  if (keyValueBytes > size - Ktx::kHeaderBytes) {
    Log(LogLevel::Error, "KTX: %u bytes of key-value data run past the end of the file",
        keyValueBytes);
    return nullptr;
  }

  // Every level is located and checked before the texture exists, so a damaged file creates
  // nothing. A level count of 0 asks the loader to build the chain from the one level stored.
  const uint32_t levelsInFile = fileLevels == 0 ? 1 : fileLevels;
  std::vector<LevelSpan> spans;
  size_t offset = Ktx::kHeaderBytes + keyValueBytes;
  uint32_t w = width, h = height;
  for (uint32_t level = 0; level < levelsInFile; ++level) {
    if (size - offset < 4) {
      Log(LogLevel::Error, "KTX: level %u starts past the end of the file", level);
      return nullptr;
    }
    const uint32_t imageSize = ReadU32(data + offset);
    const uint64_t faceBytes = PaddedRowBytes(w, format->fileBytes) * h;
    if (imageSize != faceBytes) {
      Log(LogLevel::Error, "KTX: level %u image size %u, expected %llu for %u x %u texels", level,
          imageSize, static_cast<unsigned long long>(faceBytes), w, h);
      return nullptr;
    }
    offset += 4;
    const uint64_t levelBytes = faceBytes * faces;
    if (levelBytes > size - offset) {
      Log(LogLevel::Error, "KTX: level %u needs %llu bytes, only %zu remain", level,
          static_cast<unsigned long long>(levelBytes), size - offset);
      return nullptr;
    }
    spans.push_back({offset, w, h, faceBytes});
    offset += static_cast<size_t>(levelBytes);
    w = std::max(1u, w / 2);
    h = std::max(1u, h / 2);
  }

  Draw::TextureDesc desc;
  desc.format = format->format;
  desc.width = static_cast<int32_t>(width);
  desc.height = static_cast<int32_t>(height);
  desc.depth = cube ? 6 : 1;
  desc.mipLevels = static_cast<int32_t>(fileLevels == 0 ? maxLevels : fileLevels);
  desc.flags = cube ? Draw::CUBE : 0;
  Draw::Texture* texture = context->CreateTexture(desc);
  if (texture == nullptr) {
    return nullptr;  // the context says why
  }

  const bool widen = format->storedBytes != format->fileBytes;
  std::vector<uint8_t> widened;
  for (size_t level = 0; level < spans.size(); ++level) {
    const LevelSpan& span = spans[level];
    const uint64_t fileRowBytes = PaddedRowBytes(span.width, format->fileBytes);
    const uint64_t storedRowBytes = PaddedRowBytes(span.width, format->storedBytes);
    for (uint32_t face = 0; face < faces; ++face) {
      const uint8_t* source = data + span.offset + face * span.faceBytes;
      const uint8_t* upload = source;
      if (widen) {
        // The missing channels become zero: RGB16F gains an alpha of 0.0.
        widened.assign(storedRowBytes * span.height, 0);
        for (uint32_t y = 0; y < span.height; ++y) {
          const uint8_t* from = source + y * fileRowBytes;
          uint8_t* to = widened.data() + y * storedRowBytes;
          for (uint32_t x = 0; x < span.width; ++x) {
            std::memcpy(to + x * format->storedBytes, from + x * format->fileBytes,
                        format->fileBytes);
          }
        }
        upload = widened.data();
      }
      context->UpdateTextureLevel(texture, static_cast<int32_t>(level), 0, 0,
                                  static_cast<int32_t>(face), static_cast<int32_t>(span.width),
                                  static_cast<int32_t>(span.height), 1,
                                  static_cast<int32_t>(storedRowBytes),
                                  static_cast<int32_t>(storedRowBytes * span.height), upload);
    }
  }
  if (fileLevels == 0) {
    context->GenerateMipmaps(texture);
  }
  return texture;
}

namespace Ktx {

std::vector<uint8_t> Write(const Image& image) {
  uint32_t texelBytes = 0;
  uint32_t glType = kGlHalfFloat, glTypeSize = 2, glFormat = kGlRGBA;
  switch (image.glInternalFormat) {
    case kRGBA16F: texelBytes = 8; break;
    case kRGB16F: texelBytes = 6; glFormat = kGlRGB; break;
    case kSRGB8Alpha8: texelBytes = 4; glType = kGlUnsignedByte; glTypeSize = 1; break;
    default: break;
  }
  const bool valid = texelBytes != 0 && (image.faces == 1 || image.faces == 6) &&
                     image.width > 0 && image.height > 0 && !image.levels.empty() &&
                     (image.faces == 1 || image.width == image.height);
  CHECK(valid);
  if (!valid) {
    return {};
  }
  std::vector<uint8_t> out(std::begin(kIdentifier), std::end(kIdentifier));
  AppendU32(out, kEndianness);
  AppendU32(out, glType);
  AppendU32(out, glTypeSize);
  AppendU32(out, glFormat);
  AppendU32(out, image.glInternalFormat);
  AppendU32(out, glFormat);  // base internal format
  AppendU32(out, static_cast<uint32_t>(image.width));
  AppendU32(out, static_cast<uint32_t>(image.height));
  AppendU32(out, 0);  // pixel depth: not a 3D texture
  AppendU32(out, 0);  // array elements: not an array
  AppendU32(out, static_cast<uint32_t>(image.faces));
  AppendU32(out, static_cast<uint32_t>(image.levels.size()));
  AppendU32(out, 0);  // no key-value data

  int w = image.width, h = image.height;
  for (const std::vector<uint8_t>& level : image.levels) {
    const size_t rowBytes = static_cast<size_t>(w) * texelBytes;
    const size_t paddedRowBytes = (rowBytes + 3) & ~size_t{3};
    const bool matches = level.size() == rowBytes * h * image.faces;
    CHECK(matches);
    if (!matches) {
      return {};
    }
    AppendU32(out, static_cast<uint32_t>(paddedRowBytes * h));
    for (int row = 0; row < h * image.faces; ++row) {
      const uint8_t* source = level.data() + row * rowBytes;
      out.insert(out.end(), source, source + rowBytes);
      out.resize(out.size() + paddedRowBytes - rowBytes, 0);
    }
    w = std::max(1, w / 2);
    h = std::max(1, h / 2);
  }
  return out;
}

}  // namespace Ktx

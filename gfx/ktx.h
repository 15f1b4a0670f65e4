#pragma once
// KTX version 1 textures: the reader that turns a file already in memory into a texture, and the
// writer the texture builder uses for the pre-filtered sky cube maps.
//
// Layout (little-endian 32-bit words): identifier (12 bytes), endianness 0x04030201, glType,
// glTypeSize, glFormat, glInternalFormat, glBaseInternalFormat, pixelWidth, pixelHeight,
// pixelDepth, numberOfArrayElements, numberOfFaces, numberOfMipmapLevels, bytesOfKeyValueData;
// the key-value data; then per mip level a 32-bit image size followed by the level's face images.
// Rows are padded to 4 bytes; for a cube map the image size counts one face.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gfx/draw_context.h"

namespace Ktx {

// OpenGL internal formats the reader knows.
constexpr uint32_t kRGBA16F = 0x881A;
constexpr uint32_t kRGB16F = 0x881B;
constexpr uint32_t kSRGB8Alpha8 = 0x8C43;
constexpr uint32_t kCompressedRGBS3TCDXT1 = 0x83F0;
constexpr uint32_t kCompressedRGBAS3TCDXT3 = 0x83F2;
constexpr uint32_t kCompressedRGBAS3TCDXT5 = 0x83F3;
constexpr uint32_t kCompressedRedRGTC1 = 0x8DBB;
constexpr uint32_t kCompressedSignedRedRGTC1 = 0x8DBC;
constexpr uint32_t kCompressedRGRGTC2 = 0x8DBD;
constexpr uint32_t kCompressedSignedRGRGTC2 = 0x8DBE;
constexpr uint32_t kCompressedRGBABPTCUnorm = 0x8E8C;
constexpr uint32_t kCompressedSRGBAlphaBPTCUnorm = 0x8E8D;
constexpr uint32_t kCompressedRGBBPTCSignedFloat = 0x8E8E;
constexpr uint32_t kCompressedRGBBPTCUnsignedFloat = 0x8E8F;

constexpr uint32_t kEndianness = 0x04030201;
constexpr size_t kHeaderBytes = 64;

// Byte offsets of the header words.
enum HeaderField : size_t {
  kFieldEndianness = 12,
  kFieldGlType = 16,
  kFieldGlTypeSize = 20,
  kFieldGlFormat = 24,
  kFieldGlInternalFormat = 28,
  kFieldGlBaseInternalFormat = 32,
  kFieldPixelWidth = 36,
  kFieldPixelHeight = 40,
  kFieldPixelDepth = 44,
  kFieldArrayElements = 48,
  kFieldFaces = 52,
  kFieldMipLevels = 56,
  kFieldKeyValueBytes = 60,
};

// An uncompressed 2D texture or cube map to write. levels[i] holds the faces of level i one after
// another, each (width >> i) x (height >> i) texels (at least 1), rows tightly packed.
struct Image {
  uint32_t glInternalFormat = kRGBA16F;  // kRGBA16F, kRGB16F or kSRGB8Alpha8
  int width = 0;
  int height = 0;
  int faces = 1;  // 1 or 6
  std::vector<std::vector<uint8_t>> levels;
};

// The file's bytes; empty (after a failed check) when the image does not match its description.
std::vector<uint8_t> Write(const Image& image);

}  // namespace Ktx

// Null, with a message saying what is wrong, for anything but a well-formed uncompressed file:
// wrong endianness marker, unknown or block-compressed format, zero or oversized dimensions,
// more levels than the size allows, 3D or array textures, sizes that point past the data.
// RGB16F texels are widened to RGBA16F with alpha 0. The file's levels are used as they are; a
// file with 0 levels (meaning "generate them") gets its chain from the driver.
Draw::Texture* CreateTextureFromKTX(Draw::DrawContext* context, const uint8_t* data, size_t size);
inline Draw::Texture* CreateTextureFromKTX(Draw::DrawContext* context,
                                           const std::vector<uint8_t>& data) {
  return CreateTextureFromKTX(context, data.data(), data.size());
}

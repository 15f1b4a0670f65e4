#include "base/check.h"
#include "gfx/draw_context.h"

namespace Draw {

namespace {

// Per-texel facts of the formats that may feed vertex attributes or plain uploads (1..16).
struct FormatInfo {
  int components;
  bool normalized;
  int bytes;
};

constexpr FormatInfo kFormatInfo[] = {
    {0, false, 0},   // UNDEFINED
    {1, true, 1},    // R8_UNORM
    {2, true, 2},    // R8G8_UNORM
    {3, true, 3},    // R8G8B8_UNORM
    {4, true, 4},    // R8G8B8A8_UNORM
    {4, true, 4},    // R8G8B8A8_UNORM_SRGB
    {4, true, 4},    // R8G8B8A8_SNORM
    {4, false, 4},   // R8G8B8A8_UINT
    {4, false, 4},   // R8G8B8A8_SINT
    {1, false, 2},   // R16_FLOAT
    {2, false, 4},   // R16G16_FLOAT
    {3, false, 6},   // R16G16B16_FLOAT
    {4, false, 8},   // R16G16B16A16_FLOAT
    {1, false, 4},   // R32_FLOAT
    {2, false, 8},   // R32G32_FLOAT
    {3, false, 12},  // R32G32B32_FLOAT
    {4, false, 16},  // R32G32B32A32_FLOAT
};
constexpr int kTabulatedFormats = int(sizeof(kFormatInfo) / sizeof(kFormatInfo[0]));

bool IsTabulated(DataFormat format) {
  return format >= R8_UNORM && format < kTabulatedFormats;
}

}  // namespace

int DataFormatCount(DataFormat format) {
  CHECK(IsTabulated(format));
  return IsTabulated(format) ? kFormatInfo[format].components : 0;
}

bool DataFormatNormalized(DataFormat format) {
  CHECK(IsTabulated(format));
  return IsTabulated(format) && kFormatInfo[format].normalized;
}

int DataFormatSizeInBytes(DataFormat format) {
  return IsTabulated(format) ? kFormatInfo[format].bytes : 0;
}

bool IsColorAttachable(DataFormat format) {
  return format == R8G8B8A8_UNORM || format == R8G8B8A8_UNORM_SRGB ||
         format == R16G16B16A16_FLOAT || format == R32G32B32A32_FLOAT;
}

bool IsDepthAttachable(DataFormat format) {
  return format == D16 || format == D24_S8 || format == D32F || format == D32F_S8;
}

bool HasStencil(DataFormat format) {
  return format == S8 || format == D24_S8 || format == D32F_S8;
}

}  // namespace Draw

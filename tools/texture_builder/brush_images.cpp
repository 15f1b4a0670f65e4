#include "tools/texture_builder/brush_images.h"

#include <algorithm>
#include <cmath>

namespace {

uint8_t ToByte(float value) {
  return static_cast<uint8_t>(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
}

// Coverage of a line one texel wide centred on every multiple of spacing, measured at the texel
// centre with wrap-around, so the pattern has no seam where the tile repeats.
float GridLine(int texel, int spacing, float halfWidth) {
  const float centre = texel + 0.5f;
  const float offset = std::fmod(centre, static_cast<float>(spacing));
  const float distance = std::min(offset, spacing - offset);
  return std::clamp(halfWidth + 0.5f - distance, 0.0f, 1.0f);
}

}  // namespace

std::vector<uint8_t> DrawBlob() {
  std::vector<uint8_t> pixels(static_cast<size_t>(kBlobSize) * kBlobSize * 4);
  const float centre = kBlobSize * 0.5f;
  for (int y = 0; y < kBlobSize; ++y) {
    for (int x = 0; x < kBlobSize; ++x) {
      const float dx = (x + 0.5f - centre) / centre, dy = (y + 0.5f - centre) / centre;
      const float r2 = std::min(1.0f, dx * dx + dy * dy);
      // (1 - r^2)^2 reaches zero at the rim with zero slope: no visible edge.
      const float alpha = (1.0f - r2) * (1.0f - r2);
      uint8_t* p = &pixels[(static_cast<size_t>(y) * kBlobSize + x) * 4];
      p[0] = p[1] = p[2] = 255;
      p[3] = ToByte(alpha);
    }
  }
  return pixels;
}

std::vector<uint8_t> DrawProxyPattern() {
  constexpr int kFine = 16, kMajor = 64;
  std::vector<uint8_t> pixels(static_cast<size_t>(kProxySize) * kProxySize * 4);
  for (int y = 0; y < kProxySize; ++y) {
    for (int x = 0; x < kProxySize; ++x) {
      const float fine = std::max(GridLine(x, kFine, 0.5f), GridLine(y, kFine, 0.5f));
      const float major = std::max(GridLine(x, kMajor, 1.0f), GridLine(y, kMajor, 1.0f));
      const float alpha = std::max({0.16f, 0.38f * fine, 0.7f * major});
      uint8_t* p = &pixels[(static_cast<size_t>(y) * kProxySize + x) * 4];
      p[0] = p[1] = p[2] = 255;
      p[3] = ToByte(alpha);
    }
  }
  return pixels;
}

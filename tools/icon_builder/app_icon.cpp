#include "tools/icon_builder/app_icon.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "ui/tool_icons.h"

namespace {

// Samples per pixel edge: enough to anti-alias the tile's edge and to average the atlas art when
// it is shrunk to 16 pixels.
constexpr int kSupersample = 4;

struct Premultiplied {
  float r = 0, g = 0, b = 0, a = 0;
};

Premultiplied Over(Premultiplied top, Premultiplied bottom) {
  const float k = 1.0f - top.a;
  return {top.r + bottom.r * k, top.g + bottom.g * k, top.b + bottom.b * k, top.a + bottom.a * k};
}

const IconRect* FindIcon(const char* name) {
  for (const IconRect& icon : kToolIcons) {
    if (icon.name == name) return &icon;
  }
  return nullptr;
}

// Bilinear sample of an atlas cell at (u, v) in [0, 1], clamped to the cell so neighbouring icons
// never bleed in; premultiplied, with the art's white scaled by tint.
Premultiplied SampleCell(const RgbaImage& atlas, const IconRect& cell, float u, float v,
                         std::array<float, 3> tint) {
  const float x = std::clamp(u * cell.w - 0.5f, 0.0f, cell.w - 1.0f);
  const float y = std::clamp(v * cell.h - 0.5f, 0.0f, cell.h - 1.0f);
  const int x0 = int(x), y0 = int(y);
  const int x1 = std::min(x0 + 1, int(cell.w) - 1), y1 = std::min(y0 + 1, int(cell.h) - 1);
  const float fx = x - float(x0), fy = y - float(y0);
  Premultiplied sum;
  auto add = [&](int cx, int cy, float weight) {
    const uint8_t* p = &atlas.pixels[(size_t(cell.y) + size_t(cy)) * size_t(atlas.width) * 4 +
                                     (size_t(cell.x) + size_t(cx)) * 4];
    const float a = p[3] / 255.0f * weight;
    sum.r += p[0] / 255.0f * tint[0] * a;
    sum.g += p[1] / 255.0f * tint[1] * a;
    sum.b += p[2] / 255.0f * tint[2] * a;
    sum.a += a;
  };
  add(x0, y0, (1 - fx) * (1 - fy));
  add(x1, y0, fx * (1 - fy));
  add(x0, y1, (1 - fx) * fy);
  add(x1, y1, fx * fy);
  return sum;
}

// Signed distance to a rounded square filling [margin, 1 - margin], in icon units.
float TileDistance(float x, float y, float margin, float radius) {
  const float half = 0.5f - margin;
  const float qx = std::fabs(x - 0.5f) - (half - radius);
  const float qy = std::fabs(y - 0.5f) - (half - radius);
  const float outside = std::hypot(std::max(qx, 0.0f), std::max(qy, 0.0f));
  return outside + std::min(std::max(qx, qy), 0.0f) - radius;
}

// One sample of the icon at (x, y) in [0, 1].
Premultiplied IconSample(const RgbaImage& atlas, const IconRect& sphere, const IconRect& brush,
                         float x, float y) {
  Premultiplied colour;
  if (TileDistance(x, y, 0.04f, 0.18f) <= 0.0f) {
    // The clear colour of the program's desktop window, a little lighter towards the top.
    const float light = 1.25f - 0.5f * y;
    colour = {0.12f * light, 0.27f * light, 0.27f * light, 1.0f};
  }
  // The sphere fills most of the tile, a little below its centre.
  const float sx = (x - 0.12f) / 0.76f, sy = (y - 0.16f) / 0.76f;
  if (sx >= 0 && sx <= 1 && sy >= 0 && sy <= 1) {
    colour = Over(SampleCell(atlas, sphere, sx, sy, {0.95f, 0.78f, 0.62f}), colour);
  }
  // The brush crosses the top right corner.
  const float bx = (x - 0.46f) / 0.5f, by = (y - 0.04f) / 0.5f;
  if (bx >= 0 && bx <= 1 && by >= 0 && by <= 1) {
    colour = Over(SampleCell(atlas, brush, bx, by, {1.0f, 1.0f, 1.0f}), colour);
  }
  return colour;
}

uint8_t ToByte(float value) {
  return uint8_t(std::lround(std::clamp(value, 0.0f, 1.0f) * 255.0f));
}

}  // namespace

std::vector<uint8_t> DrawAppIcon(const RgbaImage& atlas, int size) {
  const IconRect* sphere = FindIcon("sphere");
  const IconRect* brush = FindIcon("paint");
  for (const IconRect* cell : {sphere, brush}) {
    if (cell == nullptr || cell->x + cell->w > float(atlas.width) ||
        cell->y + cell->h > float(atlas.height) ||
        atlas.pixels.size() != size_t(atlas.width) * size_t(atlas.height) * 4) {
      return {};
    }
  }
  std::vector<uint8_t> rgba(size_t(size) * size_t(size) * 4);
  const float step = 1.0f / float(size * kSupersample);
  for (int py = 0; py < size; ++py) {
    for (int px = 0; px < size; ++px) {
      Premultiplied sum;
      for (int j = 0; j < kSupersample; ++j) {
        for (int i = 0; i < kSupersample; ++i) {
          const float x = (float(px * kSupersample + i) + 0.5f) * step;
          const float y = (float(py * kSupersample + j) + 0.5f) * step;
          const Premultiplied s = IconSample(atlas, *sphere, *brush, x, y);
          sum = {sum.r + s.r, sum.g + s.g, sum.b + s.b, sum.a + s.a};
        }
      }
      const float n = float(kSupersample * kSupersample);
      uint8_t* out = &rgba[(size_t(py) * size_t(size) + size_t(px)) * 4];
      const float a = sum.a / n;
      // Back to straight alpha for PNG.
      out[0] = ToByte(a > 0 ? sum.r / sum.a : 0);
      out[1] = ToByte(a > 0 ? sum.g / sum.a : 0);
      out[2] = ToByte(a > 0 ? sum.b / sum.a : 0);
      out[3] = ToByte(a);
    }
  }
  return rgba;
}

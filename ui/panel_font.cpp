#include "ui/panel_font.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <vector>

#include "base/log.h"
#include "file/file_util.h"
#include "gfx/simple_vertex.h"
#include "ui/font_file_check.h"

namespace {

// Far above any panel font; it keeps every glyph box well inside int range.
constexpr float kMaxPixelHeight = 4096.0f;

// Glyph corners snap to whole font pixels without the half-pixel bias Direct3D 9 needed.
constexpr int kOpenGLFillRule = 1;

Vec3 FontPoint(Vec3 origin, Vec3 xAxis, Vec3 yAxis, float px, float py, float k) {
  return origin + (xAxis * px - yAxis * py) * k;
}

}  // namespace

int PanelFont::GlyphIndex(unsigned char c) {
  const int code = (c >= kFirstChar && c < kFirstChar + kCharCount) ? c : '?';
  return code - kFirstChar;
}

bool PanelFont::Init(Draw::DrawContext* context, const std::string& path, float pixelHeight,
                     float scale) {
  Shutdown();
  if (!(pixelHeight > 0.0f && pixelHeight <= kMaxPixelHeight) || !std::isfinite(scale)) {
    Log(LogLevel::Error, "PanelFont: cannot bake '%s' at %g pixels with scale %g", path.c_str(),
        pixelHeight, scale);
    return false;
  }
  std::vector<uint8_t> file;
  if (!ReadFile(path, file)) {
    Log(LogLevel::Error, "PanelFont: cannot read the font file '%s'", path.c_str());
    return false;
  }
  std::string problem;
  if (!CheckFontForBaking(file, kFirstChar, kCharCount, pixelHeight, kAtlasWidth, &problem)) {
    Log(LogLevel::Error, "PanelFont: '%s' cannot be used: %s", path.c_str(), problem.c_str());
    return false;
  }

  std::vector<uint8_t> bitmap(size_t(kAtlasWidth) * kAtlasWidth);
  stbtt_bakedchar baked[128] = {};
  const int rows = stbtt_BakeFontBitmap(file.data(), 0, pixelHeight, bitmap.data(), kAtlasWidth,
                                        kAtlasWidth, kFirstChar, kCharCount, baked);
  if (rows <= 0) {
    Log(LogLevel::Error, "PanelFont: the glyphs of '%s' at %g pixels do not fit a %d x %d atlas",
        path.c_str(), pixelHeight, kAtlasWidth, kAtlasWidth);
    return false;
  }

  // The line spans the tallest capitals and the deepest common descender.
  float top = 100000.0f, bottom = -100000.0f;
  float penX = 0.0f, penY = 0.0f;
  for (char c : {'y', 'W', 'M'}) {
    stbtt_aligned_quad quad;
    stbtt_GetBakedQuad(baked, kAtlasWidth, rows, GlyphIndex(static_cast<unsigned char>(c)),
                       &penX, &penY, &quad, kOpenGLFillRule);
    top = std::min(top, quad.y0);
    bottom = std::max(bottom, quad.y1);
  }

  Draw::TextureDesc desc;
  desc.format = Draw::R8_UNORM;
  desc.width = kAtlasWidth;
  desc.height = rows;
  desc.depth = 1;
  desc.mipLevels = std::bit_width(unsigned(std::min(kAtlasWidth, rows))) - 1;
  desc.mipLevels = std::max(desc.mipLevels, 1);
  desc.flags = Draw::ALPHA_MASK;
  Draw::Texture* texture = context->CreateTexture(desc);
  if (texture == nullptr) {
    Log(LogLevel::Error, "PanelFont: cannot create the %d x %d atlas of '%s'", kAtlasWidth, rows,
        path.c_str());
    return false;
  }
  context->UpdateTextureLevel(texture, 0, 0, 0, 0, kAtlasWidth, rows, 1, kAtlasWidth,
                              kAtlasWidth * rows, bitmap.data());
  context->GenerateMipmaps(texture);

  texture_ = texture;
  std::copy(std::begin(baked), std::end(baked), std::begin(glyphs_));
  atlasWidth_ = kAtlasWidth;
  atlasHeight_ = rows;
  scale_ = scale;
  lineHeight_ = bottom - top;
  return true;
}

void PanelFont::Shutdown() {
  delete texture_;
  texture_ = nullptr;
  std::fill(std::begin(glyphs_), std::end(glyphs_), stbtt_bakedchar{});
  atlasHeight_ = 0;
  lineHeight_ = 0.0f;
}

Vec2 PanelFont::MeasureText(std::string_view text, float size) const {
  if (!Loaded() || text.empty()) {
    return {0.0f, 0.0f};
  }
  float advance = 0.0f;
  for (char c : text) {
    advance += glyphs_[GlyphIndex(static_cast<unsigned char>(c))].xadvance;
  }
  return {advance * size * scale_, lineHeight_ * size * scale_};
}

void PanelFont::DrawText(Draw::DrawContext* context, Vec3 origin, Vec3 xAxis, Vec3 yAxis,
                         std::string_view text, uint32_t color, float size) const {
  if (!Loaded() || text.empty()) {
    return;
  }
  if (text.size() > kMaxTextBytes) {
    if (!reportedLongText_) {
      Log(LogLevel::Error, "PanelFont: text of %zu bytes is longer than %zu and is not drawn",
          text.size(), kMaxTextBytes);
      reportedLongText_ = true;
    }
    return;
  }
  context->BindTexture(0, texture_);
  const int count = int(text.size()) * 6;
  auto* v = static_cast<SimpleVertex*>(
      context->AllocateImmediateVertices(count, sizeof(SimpleVertex)));
  if (v == nullptr) {
    return;
  }
  const float k = size * scale_;
  const Vec3 normal = {0.0f, 0.0f, 1.0f};
  float penX = 0.0f, penY = 0.0f;
  for (char c : text) {
    stbtt_aligned_quad q;
    stbtt_GetBakedQuad(glyphs_, atlasWidth_, atlasHeight_,
                       GlyphIndex(static_cast<unsigned char>(c)), &penX, &penY, &q,
                       kOpenGLFillRule);
    const float corners[6][4] = {{q.x0, q.y0, q.s0, q.t0}, {q.x1, q.y0, q.s1, q.t0},
                                 {q.x0, q.y1, q.s0, q.t1}, {q.x1, q.y0, q.s1, q.t0},
                                 {q.x1, q.y1, q.s1, q.t1}, {q.x0, q.y1, q.s0, q.t1}};
    for (const auto& corner : corners) {
      const Vec3 p = FontPoint(origin, xAxis, yAxis, corner[0], corner[1], k);
      *v++ = {{p.x, p.y, p.z}, {normal.x, normal.y, normal.z}, {corner[2], corner[3]}, color};
    }
  }
  context->DrawImmediate(Draw::Primitive::TRIANGLE_LIST);
}

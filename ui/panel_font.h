#pragma once
// PanelFont: a TrueType font baked once, at start-up, into a one-channel glyph atlas (96
// characters, codes 32 to 127, 1024 texels wide and as tall as the bake needs), and text drawn
// from it as immediate textured quads.
//
// Text is measured and drawn in font pixels times size times scale (panel units per font pixel).
// Bytes outside 32..127 have no glyph of their own and show as '?'. A font that could not be
// loaded is inert: it measures every text as (0, 0) and draws nothing.
#include <cstdint>
#include <string>
#include <string_view>

#include <stb_truetype.h>

#include "base/math_types.h"
#include "gfx/draw_context.h"

class PanelFont {
 public:
  static constexpr int kAtlasWidth = 1024;
  static constexpr int kFirstChar = 32;
  static constexpr int kCharCount = 96;
  // Longest text one DrawText call draws; each glyph takes six vertices of frame memory.
  static constexpr size_t kMaxTextBytes = 16384;

  PanelFont() = default;
  PanelFont(const PanelFont&) = delete;
  PanelFont& operator=(const PanelFont&) = delete;

  // Reads the font file at path (as given: relative to the working directory, not through the
  // data roots), bakes it at pixelHeight and creates the atlas texture. False, with the reason
  // logged, when the file cannot be read, is not a font the baker can take safely, or does not
  // fit the atlas; the font is then inert. A second Init replaces the first.
  bool Init(Draw::DrawContext* context, const std::string& path, float pixelHeight, float scale);
  // Releases the atlas texture; the font is inert afterwards. Call before the context goes away.
  void Shutdown();

  // (width, height): the glyphs' advances and the line height, times size times scale.
  Vec2 MeasureText(std::string_view text, float size) const;
  // Draws text with its baseline starting at origin. A font pixel (px, py), y down, lands at
  // origin + (xAxis px - yAxis py) size scale, so yAxis is "up" on the page. Binds the atlas at
  // texture unit 0; the caller binds the pipeline.
  void DrawText(Draw::DrawContext* context, Vec3 origin, Vec3 xAxis, Vec3 yAxis,
                std::string_view text, uint32_t color, float size) const;

  bool Loaded() const { return texture_ != nullptr; }
  Draw::Texture* Texture() const { return texture_; }
  int32_t AtlasWidth() const { return atlasWidth_; }
  int32_t AtlasHeight() const { return atlasHeight_; }  // rows the bake used
  float Scale() const { return scale_; }
  // Font pixels from the top of "W" and "M" to the bottom of "y".
  float LineHeight() const { return lineHeight_; }

 private:
  static int GlyphIndex(unsigned char c);

  Draw::Texture* texture_ = nullptr;
  stbtt_bakedchar glyphs_[128] = {};  // the first kCharCount are baked
  int32_t atlasWidth_ = kAtlasWidth;
  int32_t atlasHeight_ = 0;
  float scale_ = 0.0f;
  float lineHeight_ = 0.0f;
  mutable bool reportedLongText_ = false;
};

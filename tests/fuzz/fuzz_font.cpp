// The panel font: the safety check, then the bake exactly as the panel does it when the check
// passes. Run with a per-input time limit: a slow input is a failure too.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <stb_truetype.h>

#include "ui/font_file_check.h"
#include "ui/panel_font.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  std::string problem;
  const float pixelHeight = 128.0f;
  if (!CheckFontForBaking(file, PanelFont::kFirstChar, PanelFont::kCharCount, pixelHeight,
                          PanelFont::kAtlasWidth, &problem))
    return 0;
  std::vector<uint8_t> bitmap(size_t(PanelFont::kAtlasWidth) * PanelFont::kAtlasWidth);
  stbtt_bakedchar baked[128] = {};
  stbtt_BakeFontBitmap(file.data(), 0, pixelHeight, bitmap.data(), PanelFont::kAtlasWidth,
                       PanelFont::kAtlasWidth, PanelFont::kFirstChar, PanelFont::kCharCount, baked);
  return 0;
}

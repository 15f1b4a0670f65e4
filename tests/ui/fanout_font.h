#pragma once
// A small TrueType font whose glyph for 'A' is a composite nested `depth` levels deep, each level
// made of `parts` parts that all point at the next level, the innermost glyph empty. Valid in every
// structure the font check reads, it costs stb_truetype parts^depth part expansions to outline.
#include <cstdint>
#include <string>
#include <vector>

namespace fonttest {

inline std::vector<uint8_t> FanOutFont(int depth, int parts) {
  auto put16 = [](std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v >> 8));
    out.push_back(uint8_t(v));
  };
  auto put32 = [&](std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v >> 16);
    put16(out, v & 0xFFFF);
  };
  // Glyph 0 and the innermost glyph are empty; glyphs 1 .. depth are the levels.
  const int numGlyphs = depth + 2;
  std::vector<uint8_t> glyf, loca;
  put32(loca, 0);
  put32(loca, 0);  // glyph 0: empty
  for (int level = 1; level <= depth; ++level) {
    put16(glyf, 0xFFFF);  // a composite
    for (int i = 0; i < 4; ++i) put16(glyf, 0);  // its box
    for (int part = 0; part < parts; ++part) {
      const bool more = part + 1 < parts;
      put16(glyf, 0x0002 | (more ? 0x0020 : 0));  // offsets as byte arguments, more to follow
      put16(glyf, uint32_t(level + 1));
      glyf.push_back(0);
      glyf.push_back(0);
    }
    put32(loca, uint32_t(glyf.size()));
  }
  put32(loca, uint32_t(glyf.size()));  // the innermost glyph: empty

  std::vector<uint8_t> head;
  put32(head, 0x00010000);
  put32(head, 0x00010000);
  put32(head, 0);
  put32(head, 0x5F0F3CF5);
  put16(head, 0);
  put16(head, 1000);  // units per em
  for (int i = 0; i < 16; ++i) head.push_back(0);
  for (int i = 0; i < 4; ++i) put16(head, 0);  // box
  put16(head, 0);
  put16(head, 8);
  put16(head, 2);
  put16(head, 1);  // long loca offsets
  put16(head, 0);

  std::vector<uint8_t> hhea;
  put32(hhea, 0x00010000);
  put16(hhea, 800);
  put16(hhea, uint16_t(-200));
  for (int i = 0; i < 13; ++i) put16(hhea, 0);
  put16(hhea, uint32_t(numGlyphs));  // every glyph has its own metrics

  std::vector<uint8_t> hmtx;
  for (int g = 0; g < numGlyphs; ++g) {
    put16(hmtx, 500);
    put16(hmtx, 0);
  }

  std::vector<uint8_t> maxp;
  put32(maxp, 0x00010000);
  put16(maxp, uint32_t(numGlyphs));
  for (int i = 0; i < 13; ++i) put16(maxp, 0);
  // maxComponentDepth, as a font claiming this honestly would.
  maxp[30] = 0;
  maxp[31] = uint8_t(depth);

  // A Windows Unicode map of one segment, 'A' to glyph 1, and the closing segment.
  std::vector<uint8_t> cmap;
  put16(cmap, 0);
  put16(cmap, 1);
  put16(cmap, 3);
  put16(cmap, 1);
  put32(cmap, 12);
  put16(cmap, 4);   // format
  put16(cmap, 32);  // length
  put16(cmap, 0);
  put16(cmap, 4);   // two segments
  put16(cmap, 4);
  put16(cmap, 1);
  put16(cmap, 0);
  put16(cmap, 'A');
  put16(cmap, 0xFFFF);  // end codes
  put16(cmap, 0);
  put16(cmap, 'A');
  put16(cmap, 0xFFFF);  // start codes
  put16(cmap, uint16_t(1 - 'A'));
  put16(cmap, 1);  // deltas
  put16(cmap, 0);
  put16(cmap, 0);  // range offsets

  struct Table {
    const char* tag;
    const std::vector<uint8_t>* data;
  };
  const Table tables[] = {{"cmap", &cmap}, {"glyf", &glyf}, {"head", &head}, {"hhea", &hhea},
                          {"hmtx", &hmtx}, {"loca", &loca}, {"maxp", &maxp}};
  const int count = int(sizeof tables / sizeof tables[0]);
  std::vector<uint8_t> font;
  put32(font, 0x00010000);
  put16(font, uint32_t(count));
  put16(font, 64);
  put16(font, 2);
  put16(font, uint32_t(count * 16 - 64));
  uint32_t offset = uint32_t(12 + 16 * count);
  for (const Table& table : tables) {
    font.insert(font.end(), table.tag, table.tag + 4);
    put32(font, 0);  // checksums are not read
    put32(font, offset);
    put32(font, uint32_t(table.data->size()));
    offset += uint32_t((table.data->size() + 3) & ~size_t(3));
  }
  for (const Table& table : tables) {
    font.insert(font.end(), table.data->begin(), table.data->end());
    while (font.size() % 4 != 0) font.push_back(0);
  }
  return font;
}

}  // namespace fonttest

// Font files the baker must refuse: the real panel font with one structure broken at a time, and
// many fonts broken at random, each of which must be baked or refused without a crash.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <unistd.h>
#include <stb_truetype.h>

#include "base/log.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_directory.h"
#include "tests/ui/fanout_font.h"
#include "tests/ui/panel_test_util.h"
#include "ui/font_file_check.h"
#include "ui/panel_font.h"

namespace {

using paneltest::kFontPath;

// The panel font's bytes with just enough of the TrueType layout to break it on purpose.
struct FontBytes {
  std::vector<uint8_t> bytes;

  static FontBytes Load() {
    std::ifstream in(kFontPath, std::ios::binary);
    FontBytes font;
    font.bytes.assign(std::istreambuf_iterator<char>(in), {});
    return font;
  }

  uint16_t U16(size_t at) const { return uint16_t(bytes.at(at) << 8 | bytes.at(at + 1)); }
  uint32_t U32(size_t at) const { return uint32_t(U16(at)) << 16 | U16(at + 2); }
  void Set16(size_t at, uint16_t v) {
    bytes.at(at) = uint8_t(v >> 8);
    bytes.at(at + 1) = uint8_t(v);
  }
  void Set32(size_t at, uint32_t v) {
    Set16(at, uint16_t(v >> 16));
    Set16(at + 2, uint16_t(v));
  }

  size_t DirectoryEntry(const char* tag) const {
    for (size_t i = 0; i < U16(4); ++i) {
      if (std::memcmp(&bytes.at(12 + 16 * i), tag, 4) == 0) return 12 + 16 * i;
    }
    ADD_FAILURE() << "no table " << tag;
    return 0;
  }
  size_t Table(const char* tag) const { return U32(DirectoryEntry(tag) + 8); }
  size_t TableLength(const char* tag) const { return U32(DirectoryEntry(tag) + 12); }

  int GlyphOf(char c) const {
    stbtt_fontinfo info;
    EXPECT_TRUE(stbtt_InitFont(&info, bytes.data(), 0));
    return stbtt_FindGlyphIndex(&info, c);
  }
  bool LongOffsets() const { return U16(Table("head") + 50) == 1; }
  size_t LocationEntry(int glyph) const {
    return Table("loca") + size_t(glyph) * (LongOffsets() ? 4 : 2);
  }
  size_t GlyphStart(int glyph) const {
    const size_t entry = LocationEntry(glyph);
    return Table("glyf") + (LongOffsets() ? U32(entry) : 2 * size_t(U16(entry)));
  }
  size_t Glyph(char c) const { return GlyphStart(GlyphOf(c)); }

  // Turns the glyph of c into a composite of one part, with the part's bounding box.
  void MakeComposite(char c, uint16_t flags, int part, int16_t dx = 0, int16_t dy = 0) {
    const size_t at = Glyph(c);
    const size_t partAt = GlyphStart(part);
    for (size_t i = 2; i < 10; ++i) bytes.at(at + i) = bytes.at(partAt + i);
    Set16(at, 0xFFFF);  // -1 contours
    Set16(at + 10, flags);
    Set16(at + 12, uint16_t(part));
    Set16(at + 14, uint16_t(dx));
    Set16(at + 16, uint16_t(dy));
  }

  // The character map the baker uses: the last Unicode one.
  size_t CharacterMap() const {
    const size_t cmap = Table("cmap");
    size_t map = 0;
    for (size_t i = 0; i < U16(cmap + 2); ++i) {
      const size_t record = cmap + 4 + 8 * i;
      const uint16_t platform = U16(record), encoding = U16(record + 2);
      if (platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10))) {
        map = cmap + U32(record + 4);
      }
    }
    return map;
  }
};

bool Check(const FontBytes& font, std::string* error, float pixelHeight = 128.0f) {
  return CheckFontForBaking(font.bytes, PanelFont::kFirstChar, PanelFont::kCharCount,
                            pixelHeight, PanelFont::kAtlasWidth, error);
}

// Composite glyphs whose parts fan out cost stb_truetype parts^depth expansions however little
// they draw: nested 8 deep, 64 parts a level, the font once hung start-up for days. It is refused
// at once, while a font with a modest fan-out of the same construction is accepted.
TEST(FontFileCheckTest, CompositesThatFanOutAreRefusedAtOnce) {
  std::string error;
  EXPECT_TRUE(CheckFontForBaking(fonttest::FanOutFont(3, 4), PanelFont::kFirstChar,
                                 PanelFont::kCharCount, 128.0f, PanelFont::kAtlasWidth, &error))
      << error;
  alarm(60);  // a hang guard only: the refusal takes microseconds
  EXPECT_FALSE(CheckFontForBaking(fonttest::FanOutFont(8, 64), PanelFont::kFirstChar,
                                  PanelFont::kCharCount, 128.0f, PanelFont::kAtlasWidth, &error));
  alarm(0);
  EXPECT_NE(error.find("expands its parts more than"), std::string::npos) << error;
  EXPECT_NE(error.find("character 'A'"), std::string::npos) << error;
}

TEST(FontFileCheckTest, ThePanelFontIsAccepted) {
  const FontBytes font = FontBytes::Load();
  ASSERT_FALSE(font.bytes.empty()) << kFontPath;
  std::string error;
  EXPECT_TRUE(Check(font, &error)) << error;
}

TEST(FontFileCheckTest, EachBrokenStructureIsRefusedWithItsReason) {
  struct Case {
    const char* broken;
    std::function<void(FontBytes&)> breakIt;
    const char* reason;
  };
  const Case cases[] = {
      {"cut to its first bytes", [](FontBytes& f) { f.bytes.resize(8); }, "too short for a font"},
      {"CFF outlines", [](FontBytes& f) { std::memcpy(f.bytes.data(), "OTTO", 4); }, "CFF"},
      {"a font collection", [](FontBytes& f) { std::memcpy(f.bytes.data(), "ttcf", 4); },
       "collections"},
      {"an image", [](FontBytes& f) { std::memcpy(f.bytes.data(), "GIF8", 4); },
       "not a TrueType font"},
      {"a directory longer than the file", [](FontBytes& f) { f.Set16(4, 0xFFFF); },
       "directory runs past"},
      {"a table past the end",
       [](FontBytes& f) { f.Set32(f.DirectoryEntry("cmap") + 8, uint32_t(f.bytes.size() - 2)); },
       "'cmap' table runs past"},
      {"no outlines",
       [](FontBytes& f) { std::memcpy(&f.bytes[f.DirectoryEntry("glyf")], "gly_", 4); },
       "no 'glyf' table"},
      {"no glyphs", [](FontBytes& f) { f.Set16(f.Table("maxp") + 4, 0); }, "no glyphs"},
      {"an unknown glyph location format", [](FontBytes& f) { f.Set16(f.Table("head") + 50, 2); },
       "location format 2"},
      {"no line height",
       [](FontBytes& f) { f.Set16(f.Table("hhea") + 6, f.U16(f.Table("hhea") + 4)); },
       "line height"},
      {"no horizontal metrics", [](FontBytes& f) { f.Set16(f.Table("hhea") + 34, 0); },
       "no horizontal metrics"},
      {"metrics for fewer glyphs than it has",
       [](FontBytes& f) { f.Set32(f.DirectoryEntry("hmtx") + 12, 8); },
       "'hmtx' table is too short"},
      {"a character map format the baker cannot read",
       [](FontBytes& f) { f.Set16(f.CharacterMap(), 2); }, "format 2 is not supported"},
      {"characters mapped past the last glyph",
       [](FontBytes& f) { f.Set16(f.Table("maxp") + 4, 3); }, "maps to glyph"},
      {"a glyph past the outline table",
       [](FontBytes& f) {
         const size_t next = f.LocationEntry(f.GlyphOf('A') + 1);
         f.LongOffsets() ? f.Set32(next, uint32_t(f.TableLength("glyf") + 64))
                         : f.Set16(next, uint16_t(f.TableLength("glyf") / 2 + 32));
       },
       "outside the 'glyf' table"},
      {"instructions longer than the glyph",
       [](FontBytes& f) {
         const size_t at = f.Glyph('A');
         f.Set16(at + 10 + 2 * f.U16(at), 0xFFFF);
       },
       "instructions run past"},
      {"contours out of order",
       [](FontBytes& f) {
         const size_t at = f.Glyph('O');
         ASSERT_GE(int16_t(f.U16(at)), 2);
         f.Set16(at + 12, f.U16(at + 10));
       },
       "contours out of order"},
      {"an outline outside its box",
       [](FontBytes& f) { f.Set16(f.Glyph('A') + 8, uint16_t(f.U16(f.Glyph('A') + 8) - 100)); },
       "outside its bounding box"},
      {"an inverted box",
       [](FontBytes& f) {
         const size_t at = f.Glyph('A');
         const uint16_t xMin = f.U16(at + 2), xMax = f.U16(at + 6);
         f.Set16(at + 2, xMax);
         f.Set16(at + 6, xMin);
       },
       "inverted bounding box"},
      {"a glyph wider than the atlas",
       [](FontBytes& f) {
         f.Set16(f.Glyph('A') + 2, uint16_t(-30000));
         f.Set16(f.Glyph('A') + 6, 30000);
       },
       "too wide"},
      {"a composite glyph made of itself",
       [](FontBytes& f) { f.MakeComposite('A', 0x0003, f.GlyphOf('A')); }, "contains itself"},
      {"a composite glyph placed by matching points",
       [](FontBytes& f) { f.MakeComposite('A', 0x0001, f.GlyphOf('B')); }, "matching points"},
      {"a composite glyph moving its part out of range",
       [](FontBytes& f) { f.MakeComposite('A', 0x0003, f.GlyphOf('B'), 32767, 0); },
       "out of the coordinate range"},
      {"composite glyphs nested ten deep",
       [](FontBytes& f) {
         for (char c = 'a'; c < 'k'; ++c) f.MakeComposite(c, 0x0003, f.GlyphOf(char(c + 1)));
       },
       "nest deeper"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.broken);
    FontBytes font = FontBytes::Load();
    c.breakIt(font);
    std::string error;
    EXPECT_FALSE(Check(font, &error));
    EXPECT_NE(error.find(c.reason), std::string::npos) << "reason given: " << error;
  }
}

TEST(FontFileCheckTest, CompositeGlyphsWithinLimitsAreAccepted) {
  // A glyph made of another, moved a little: how accented letters are built.
  FontBytes font = FontBytes::Load();
  font.MakeComposite('A', 0x0003, font.GlyphOf('B'));
  std::string error;
  EXPECT_TRUE(Check(font, &error)) << error;
}

class MutatedFontTest : public paneltest::PanelTestBase {};

// Random damage to the structures the bake reads: the table directory, the character map, the
// header, metrics, glyph locations and the outlines of the first glyphs. Every damaged font must
// either bake or be refused with a message, and never stop the program. (The bake's own reads
// were also checked with the address sanitizer over far more fonts than this.)
TEST_F(MutatedFontTest, DamagedFontsBakeOrAreRefusedWithoutCrashing) {
  const FontBytes original = FontBytes::Load();
  struct Region {
    size_t start, length;
  };
  auto table = [&](const char* tag, size_t limit) {
    return Region{original.Table(tag), std::min(original.TableLength(tag), limit)};
  };
  const Region regions[] = {{0, 12 + 16 * size_t(original.U16(4))},
                            table("cmap", 2048),
                            table("head", 54),
                            table("hhea", 36),
                            table("maxp", 6),
                            table("loca", 1024),
                            table("hmtx", 1024),
                            table("glyf", 16384)};
  TempDirectory directory;
  const std::string path = directory.File("damaged.ttf");
  std::mt19937 random(20240611);
  int baked = 0, refused = 0;
  LogCapture log;
  for (int round = 0; round < 300; ++round) {
    FontBytes font = original;
    const Region& region = regions[random() % std::size(regions)];
    const int changes = 1 + int(random() % 4);
    for (int i = 0; i < changes; ++i) {
      const size_t at = region.start + random() % region.length;
      switch (random() % 3) {
        case 0: font.bytes[at] = uint8_t(random()); break;
        case 1: font.bytes[at] ^= uint8_t(1u << (random() % 8)); break;
        default: font.bytes[at] = 0xFF; break;
      }
    }
    if (random() % 8 == 0) {
      font.bytes.resize(random() % font.bytes.size());
    }
    {
      std::ofstream out(path, std::ios::binary | std::ios::trunc);
      out.write(reinterpret_cast<const char*>(font.bytes.data()),
                std::streamsize(font.bytes.size()));
    }
    PanelFont damaged;
    log.Clear();
    if (damaged.Init(context_, path, 16.0f, 0.05f)) {
      ++baked;
      EXPECT_GT(damaged.AtlasHeight(), 0);
      damaged.DrawText(context_, {0, 0, 0}, {1, 0, 0}, {0, -1, 0}, "Loomwork", 0xFFFFFFFFu, 1.0f);
    } else {
      ++refused;
      EXPECT_FALSE(log.Messages().empty()) << "refused without a reason, round " << round;
      EXPECT_EQ(damaged.MeasureText("Loomwork", 1.0f).x, 0.0f);
    }
    damaged.Shutdown();
  }
  // Both outcomes occur, or the damage is not reaching what matters.
  EXPECT_GT(baked, 0);
  EXPECT_GT(refused, 0);
}

}  // namespace

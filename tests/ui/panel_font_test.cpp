// The panel font baked from the real font file of the data tree, its text measures, and what is
// left of it when the file cannot be used.
#include <fstream>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <stb_truetype.h>

#include "base/log.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_directory.h"
#include "tests/ui/panel_test_util.h"
#include "ui/panel_font.h"

namespace {

using paneltest::kFontPath;
using paneltest::kFontPixels;
using paneltest::kFontScale;

class PanelFontTest : public paneltest::PanelTestBase {
 protected:
  const PanelFont& Font() const { return resources_->font; }
};

TEST_F(PanelFontTest, TheFontIsBakedIntoAnAtlasOfTheRowsItNeeds) {
  const PanelFont& font = Font();
  ASSERT_TRUE(font.Loaded());
  EXPECT_EQ(font.AtlasWidth(), 1024);
  EXPECT_GT(font.AtlasHeight(), 128);  // 96 glyphs of 128 pixels need several rows
  EXPECT_LT(font.AtlasHeight(), 1024);
  int32_t width = 0, height = 0;
  context_->GetTextureDimensions(font.Texture(), &width, &height, nullptr);
  EXPECT_EQ(width, font.AtlasWidth());
  EXPECT_EQ(height, font.AtlasHeight());
  EXPECT_EQ(font.Scale(), kFontScale);
  // From the top of the capitals to the bottom of a descender: most of the 128-pixel line.
  EXPECT_GT(font.LineHeight(), 0.6f * kFontPixels);
  EXPECT_LE(font.LineHeight(), 1.2f * kFontPixels);
}

TEST_F(PanelFontTest, TextMeasuresItsAdvancesAndTheLineHeight) {
  // The advances straight from the font file, unbaked.
  std::ifstream in(kFontPath, std::ios::binary);
  const std::vector<uint8_t> file{std::istreambuf_iterator<char>(in), {}};
  stbtt_fontinfo info;
  ASSERT_TRUE(stbtt_InitFont(&info, file.data(), 0));
  const float pixelsPerUnit = stbtt_ScaleForPixelHeight(&info, kFontPixels);
  const std::string text = "Sculpt 42!";
  int advanceUnits = 0;
  for (char c : text) {
    int advance = 0, bearing = 0;
    stbtt_GetCodepointHMetrics(&info, c, &advance, &bearing);
    advanceUnits += advance;
  }

  const PanelFont& font = Font();
  const Vec2 size = font.MeasureText(text, 0.6f);
  EXPECT_NEAR(size.x, float(advanceUnits) * pixelsPerUnit * 0.6f * kFontScale, 1e-3f);
  EXPECT_FLOAT_EQ(size.y, font.LineHeight() * 0.6f * kFontScale);

  EXPECT_FLOAT_EQ(font.MeasureText(text, 1.2f).x, 2.0f * size.x);
  EXPECT_FLOAT_EQ(font.MeasureText("WW", 1.0f).x, 2.0f * font.MeasureText("W", 1.0f).x);
  EXPECT_GT(font.MeasureText("W", 1.0f).x, font.MeasureText("i", 1.0f).x);
  const Vec2 empty = font.MeasureText("", 1.0f);
  EXPECT_EQ(empty.x, 0.0f);
  EXPECT_EQ(empty.y, 0.0f);
  // Bytes without a glyph of their own take the place of '?': UTF-8 "é" is two of them.
  EXPECT_FLOAT_EQ(font.MeasureText("caf\xC3\xA9", 1.0f).x, font.MeasureText("caf??", 1.0f).x);
  EXPECT_FLOAT_EQ(font.MeasureText(std::string("\0\t", 2), 1.0f).x,
                  font.MeasureText("??", 1.0f).x);
}

TEST_F(PanelFontTest, AFontThatCannotBeReadIsReportedAndDrawsNothing) {
  TempDirectory directory;
  directory.WriteFile("empty.ttf", "");
  directory.WriteFile("notes.ttf", "These are not the glyphs you are looking for.\n");
  struct Case {
    const char* name;
    std::string path;
    float pixelHeight;
    const char* message;
  };
  const Case cases[] = {
      {"a missing file", directory.File("missing.ttf"), kFontPixels, "cannot read"},
      {"a directory", directory.Path(), kFontPixels, "cannot read"},
      {"an empty file", directory.File("empty.ttf"), kFontPixels, "too short"},
      {"a text file", directory.File("notes.ttf"), kFontPixels, "not a TrueType font"},
      {"no pixel height", kFontPath, 0.0f, "cannot bake"},
      {"a pixel height that is not a number", kFontPath,
       std::numeric_limits<float>::quiet_NaN(), "cannot bake"},
      {"glyphs too big for the atlas", kFontPath, 2000.0f, "too wide"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PanelFont font;
    // A font that worked before is replaced, not kept.
    ASSERT_TRUE(font.Init(context_, kFontPath, 16.0f, kFontScale));
    LogCapture log;
    EXPECT_FALSE(font.Init(context_, c.path, c.pixelHeight, kFontScale));
    EXPECT_TRUE(log.Contains(c.message)) << "no message containing \"" << c.message << "\"";
    EXPECT_FALSE(font.Loaded());
    EXPECT_EQ(font.Texture(), nullptr);
    const Vec2 size = font.MeasureText("Loomwork", 1.0f);
    EXPECT_EQ(size.x, 0.0f);
    EXPECT_EQ(size.y, 0.0f);
    font.DrawText(context_, {0, 0, 0}, {1, 0, 0}, {0, -1, 0}, "Loomwork", 0xFFFFFFFFu, 1.0f);
    font.Shutdown();
  }
}

TEST_F(PanelFontTest, AGlyphAtlasTooShortForTheBakeIsRefused) {
  // At 600 pixels each glyph still fits the width, but 96 of them cannot fit 1024 rows.
  PanelFont font;
  LogCapture log;
  EXPECT_FALSE(font.Init(context_, kFontPath, 600.0f, kFontScale));
  EXPECT_TRUE(log.Contains("do not fit"));
  EXPECT_FALSE(font.Loaded());
}

}  // namespace

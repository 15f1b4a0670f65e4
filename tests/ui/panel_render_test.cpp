// The panel drawn by the real driver with the packed shaders, the icon atlas and the baked font
// of the data tree, read back from an off-screen target: text where its box is and nowhere
// else, solid colours from the atlas's white texel, icons, the colours of button states, and a
// colour picker whose ring shows the hue a press on it picks.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "tests/gfx/opengl_test_util.h"
#include "tests/ui/panel_test_util.h"

namespace {

using paneltest::BeginVREye;
using paneltest::PointerAt;

constexpr int kPixelsPerUnit = 4;
constexpr int kWidth = 256, kHeight = 192;  // 64 x 48 panel units
constexpr float kOpaqueBlack[4] = {0, 0, 0, 1};

struct Rgb {
  int r, g, b;
};

Rgb Channels(uint32_t pixel) {
  return {int(pixel & 0xFF), int((pixel >> 8) & 0xFF), int((pixel >> 16) & 0xFF)};
}

bool Bright(uint32_t pixel) {
  const Rgb c = Channels(pixel);
  return c.r > 160 && c.g > 160 && c.b > 160;
}

bool Dark(uint32_t pixel) {
  const Rgb c = Channels(pixel);
  return std::max({c.r, c.g, c.b}) < 40;
}

float HueDegrees(const Rgb& c) {
  const int high = std::max({c.r, c.g, c.b}), low = std::min({c.r, c.g, c.b});
  if (high == low) return 0.0f;
  const float range = float(high - low);
  float hue = high == c.r   ? 60.0f * float(c.g - c.b) / range
              : high == c.g ? 120.0f + 60.0f * float(c.b - c.r) / range
                            : 240.0f + 60.0f * float(c.r - c.g) / range;
  return hue < 0.0f ? hue + 360.0f : hue;
}

float HueDistance(float a, float b) {
  const float d = std::fabs(a - b);
  return std::min(d, 360.0f - d);
}

// A box of whole pixels covering a rectangle of panel units.
struct PixelBox {
  int x0, y0, x1, y1;  // x1, y1 exclusive

  static PixelBox Of(float x, float y, float w, float h, int margin = 0) {
    return {int(std::floor(x * kPixelsPerUnit)) - margin,
            int(std::floor(y * kPixelsPerUnit)) - margin,
            int(std::ceil((x + w) * kPixelsPerUnit)) + margin,
            int(std::ceil((y + h) * kPixelsPerUnit)) + margin};
  }
  bool Contains(int x, int y) const { return x0 <= x && x < x1 && y0 <= y && y < y1; }
  int Area() const { return (x1 - x0) * (y1 - y0); }
};

class PanelRenderTest : public paneltest::PanelTestBase {
 protected:
  void SetUp() override {
    PanelTestBase::SetUp();
    if (IsSkipped()) return;
    target_ = std::make_unique<gltest::OffscreenTarget>(context_, kWidth, kHeight);
    target_->Begin(context_, kOpaqueBlack);
    gltest::SetFullViewport(context_, kWidth, kHeight);
    scene_.SetProjection(paneltest::PanelToClip(float(kWidth) / kPixelsPerUnit,
                                                float(kHeight) / kPixelsPerUnit));
    scene_.Push(context_);
    context_->BindPipeline(resources_->textured.get());
  }
  void TearDown() override { target_.reset(); }

  std::vector<uint32_t> Pixels() { return gl_->ReadPixels(0, 0, kWidth, kHeight); }
  uint32_t PixelAtUnits(float x, float y) {
    return gl_->Pixel(int(x * kPixelsPerUnit), int(y * kPixelsPerUnit));
  }

  static int CountBright(const std::vector<uint32_t>& pixels, const PixelBox& box) {
    int count = 0;
    for (int y = std::max(box.y0, 0); y < std::min(box.y1, kHeight); ++y) {
      for (int x = std::max(box.x0, 0); x < std::min(box.x1, kWidth); ++x) {
        count += Bright(pixels[size_t(y * kWidth + x)]);
      }
    }
    return count;
  }

  // The pointer on panel point (x, y) with the trigger pulled, in the first eye of a frame.
  void PressAt(float x, float y) {
    BeginVREye(ui_, context_, 0, 0.0f, PointerAt(x, y));
    BeginVREye(ui_, context_, 1, 0.0f, PointerAt(x, y));
    BeginVREye(ui_, context_, 0, 1.0f, PointerAt(x, y));
    ui_.BeginPanel(context_, {0, 0, 64, 48});
  }

  std::unique_ptr<gltest::OffscreenTarget> target_;
};

TEST_F(PanelRenderTest, CaptionsAndLabelsAreLegibleTextInsideTheirBoxesAndNowhereElse) {
  ui_.textScale = 2.0f;
  ui_.BeginPanel(context_, {0, 0, 64, 48});
  const PanelRect button = {4, 4, 16, 16};
  ui_.Button(context_, "Save", ui_.FindIcon("save"), button, false);
  const float labelX = 26, labelY = 40;
  ui_.Label(context_, "Loomwork", labelX, labelY, 0.6f);
  const std::vector<uint32_t> pixels = Pixels();

  // Where the text should be, from its measures: the caption centred under the button with its
  // baseline one line below it, the label's baseline at (labelX, labelY).
  const PanelFont& font = resources_->font;
  const Vec2 caption = font.MeasureText("Save", 0.4f * ui_.textScale);
  const Vec2 label = font.MeasureText("Loomwork", 0.6f * ui_.textScale);
  const float captionX = button.x + (button.w - caption.x) / 2;
  const float captionBaseline = button.y + button.h + caption.y;
  const PixelBox captionBox =
      PixelBox::Of(captionX, captionBaseline - caption.y, caption.x, 1.3f * caption.y);
  const PixelBox labelBox = PixelBox::Of(labelX, labelY - label.y, label.x, 1.3f * label.y);

  // Glyphs, not blocks: a fair share of each box is ink, most of it is not.
  for (const auto& [name, box] : {std::pair{"caption", captionBox}, {"label", labelBox}}) {
    SCOPED_TRACE(name);
    const int ink = CountBright(pixels, box);
    EXPECT_GT(ink, box.Area() / 20);
    EXPECT_LT(ink, box.Area() * 3 / 5);
  }
  // Across the middle of the lower-case letters, the label's strokes show as separate runs:
  // L, o, o, m, w, o, r, k have at least ten between them.
  const int row = int((labelY - 0.2f * label.y) * kPixelsPerUnit);
  int runs = 0;
  for (int x = labelBox.x0; x < labelBox.x1; ++x) {
    const bool ink = Bright(pixels[size_t(row * kWidth + x)]);
    const bool inkBefore = x > labelBox.x0 && Bright(pixels[size_t(row * kWidth + x - 1)]);
    runs += ink && !inkBefore;
  }
  EXPECT_GE(runs, 10);

  // The button's icon is white too; outside it and the two text boxes nothing lights up.
  const PixelBox allowed[] = {PixelBox::Of(button.x, button.y, button.w, button.h),
                              PixelBox::Of(captionX, captionBaseline - caption.y, caption.x,
                                           1.3f * caption.y, 2),
                              PixelBox::Of(labelX, labelY - label.y, label.x, 1.3f * label.y, 2)};
  int stray = 0;
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      const bool expected = std::any_of(std::begin(allowed), std::end(allowed),
                                        [&](const PixelBox& box) { return box.Contains(x, y); });
      stray += !expected && !Dark(pixels[size_t(y * kWidth + x)]);
    }
  }
  EXPECT_EQ(stray, 0);
  EXPECT_GT(CountBright(pixels, allowed[0]), 0) << "the save icon";
}

TEST_F(PanelRenderTest, SolidQuadsIconsAndButtonStatesShowTheirColours) {
  ui_.BeginPanel(context_, {0, 0, 64, 48});
  ui_.Rect(context_, {4, 4, 8, 8}, 0xFF0000FFu);  // opaque red
  ui_.PicButton(context_, ui_.FindIcon("square"), {16, 4, 12, 12}, false);
  ui_.PicButton(context_, ui_.FindIcon("empty"), {32, 4, 12, 12}, false);

  const Rgb red = Channels(PixelAtUnits(8, 8));
  EXPECT_GE(red.r, 250);
  EXPECT_LE(red.g, 5);
  EXPECT_LE(red.b, 5);
  EXPECT_TRUE(Dark(PixelAtUnits(3, 8))) << "left of the red square";
  EXPECT_TRUE(Dark(PixelAtUnits(13, 8))) << "right of the red square";
  EXPECT_TRUE(Bright(PixelAtUnits(22, 10))) << "the square icon fills the button's middle";
  EXPECT_TRUE(Dark(PixelAtUnits(16.5f, 4.5f))) << "the icon's transparent margin";
  EXPECT_TRUE(Dark(PixelAtUnits(38, 10))) << "the empty icon";

  // The state colours are half transparent: over black, half their channels.
  struct Case {
    bool selected, hovered;
    Rgb expected;
  };
  const Case cases[] = {{false, false, {0, 0, 0}},
                        {true, false, {32, 96, 32}},
                        {false, true, {48, 48, 48}},
                        {true, true, {64, 128, 64}}};
  float x = 4;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "selected " << c.selected << ", hovered " << c.hovered);
    const PanelRect button = {x, 24, 8, 8};
    const Matrix4x4 pointer = c.hovered ? PointerAt(x + 4, 28) : PointerAt(60, 44);
    BeginVREye(ui_, context_, 0, 0.0f, pointer);
    BeginVREye(ui_, context_, 0, 0.0f, pointer);
    ui_.BeginPanel(context_, {0, 0, 64, 48});
    ui_.TextButton(context_, "", button, c.selected);
    const Rgb drawn = Channels(PixelAtUnits(x + 2, 30));
    EXPECT_NEAR(drawn.r, c.expected.r, 3);
    EXPECT_NEAR(drawn.g, c.expected.g, 3);
    EXPECT_NEAR(drawn.b, c.expected.b, 3);
    x += 12;
  }
}

TEST_F(PanelRenderTest, TheColorPickerRingShowsTheHueAPressOnItPicks) {
  const PanelRect picker = {8, 0, 48, 48};
  const Vec3 start = {0.125f, 0.6f, 0.8f};
  scene_.SetPickerHsv(start);
  scene_.Push(context_);
  Vec3 hsv = start;
  ui_.ColorPicker(context_, picker, hsv);
  EXPECT_EQ(hsv.x, start.x) << "no pointer, no change";

  // Points on the ring (radius 0.9) and in the square, in the picker's own coordinates.
  const Vec2 ringPoints[] = {{0.9f, 0}, {0, 0.9f}, {-0.9f, 0}, {0, -0.9f}, {-0.64f, 0.64f},
                             {0.64f, -0.64f}};
  auto panelPoint = [&](Vec2 n) {
    return Vec2{picker.x + picker.w * (n.x / 2 + 0.5f), picker.y + picker.h * (n.y / 2 + 0.5f)};
  };
  std::vector<Rgb> drawn;
  for (Vec2 n : ringPoints) {
    const Vec2 p = panelPoint(n);
    drawn.push_back(Channels(PixelAtUnits(p.x, p.y)));
  }
  const Vec2 squarePoint = panelPoint({0.3f, -0.3f});
  const Rgb squareColor = Channels(PixelAtUnits(squarePoint.x, squarePoint.y));

  for (size_t i = 0; i < std::size(ringPoints); ++i) {
    SCOPED_TRACE(testing::Message() << "ring point " << ringPoints[i].x << ", " << ringPoints[i].y);
    const Vec2 p = panelPoint(ringPoints[i]);
    PressAt(p.x, p.y);
    Vec3 picked = start;
    ui_.ColorPicker(context_, picker, picked);
    EXPECT_NE(picked.x, start.x);
    EXPECT_LT(HueDistance(HueDegrees(drawn[i]), picked.x * 360.0f), 10.0f)
        << "drawn (" << drawn[i].r << ", " << drawn[i].g << ", " << drawn[i].b << "), picked hue "
        << picked.x;
  }

  PressAt(squarePoint.x, squarePoint.y);
  Vec3 picked = start;
  ui_.ColorPicker(context_, picker, picked);
  const int high = std::max({squareColor.r, squareColor.g, squareColor.b});
  const int low = std::min({squareColor.r, squareColor.g, squareColor.b});
  EXPECT_NEAR(picked.y, float(high - low) / float(high), 0.05f) << "saturation";
  EXPECT_NEAR(picked.z, float(high) / 255.0f, 0.05f) << "value";
  EXPECT_EQ(picked.x, start.x);
}

}  // namespace

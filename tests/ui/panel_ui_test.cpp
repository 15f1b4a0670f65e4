// The panel widgets answering a hand controller that the test places and triggers, frame by
// frame and eye by eye, as the frame update drives them; drawn with the real driver.
#include <array>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include <gtest/gtest.h>

#include "base/log.h"
#include "tests/support/log_capture.h"
#include "tests/ui/panel_test_util.h"
#include "ui/panel_ui.h"

namespace {

using paneltest::BeginVREye;
using paneltest::PointerAt;
using paneltest::PointerPose;

constexpr PanelRect kPanel = {0, 0, 64, 64};

class PanelWidgetTest : public paneltest::PanelTestBase {
 protected:
  // A panel as the application sets it up, in its initial state.
  void ResetPanel() {
    ui_ = PanelUI{};
    resources_->SetUpPanel(ui_, context_);
  }

  // A first frame with the trigger released, so that the controller is the pointer from then on.
  void StartVR() {
    BeginVREye(ui_, context_, 0, 0.0f, PointerAt(0, 0));
    BeginVREye(ui_, context_, 1, 0.0f, PointerAt(0, 0));
  }

  // One eye of a frame: the controller at panel point (x, y), then the panel.
  void Eye(int eye, float trigger, float x, float y) {
    BeginVREye(ui_, context_, eye, trigger, PointerAt(x, y));
    ui_.BeginPanel(context_, kPanel);
  }
};

TEST_F(PanelWidgetTest, ButtonsAreHoveredFromTheirLeftAndTopEdgesUpToButNotOnTheRightAndBottom) {
  const PanelRect button = {10, 20, 30, 10};
  struct Case {
    const char* where;
    float x, y;
    bool hovered;
  };
  const Case cases[] = {
      {"inside", 25, 25, true},
      {"on the left edge", 10, 25, true},
      {"on the top edge", 25, 20, true},
      {"on the upper-left corner", 10, 20, true},
      {"on the right edge", 40, 25, false},
      {"on the bottom edge", 25, 30, false},
      {"just left of it", std::nextafter(10.0f, 0.0f), 25, false},
      {"just inside the right edge", std::nextafter(40.0f, 0.0f), 25, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.where);
    ResetPanel();
    StartVR();
    Eye(0, 1.0f, c.x, c.y);
    ASSERT_TRUE(ui_.pointerOnPanel);
    EXPECT_EQ(ui_.pointerX, c.x);
    EXPECT_EQ(ui_.pointerY, c.y);
    // Every kind of button answers to the same hover test.
    EXPECT_EQ(ui_.TextButton(context_, "Add", button, false), c.hovered);
    EXPECT_EQ(ui_.PicButton(context_, ui_.FindIcon("plus"), button, true), c.hovered);
    EXPECT_EQ(ui_.Button(context_, "Load", ui_.FindIcon("load"), button, false), c.hovered);
  }
}

TEST_F(PanelWidgetTest, APressIsOneClickInTheFirstEyeOfTheFrameItStartsIn) {
  struct Case {
    const char* name;
    std::vector<float> triggers;              // one per frame
    std::vector<std::array<bool, 2>> clicks;  // per frame: eye 0, eye 1
  };
  const Case cases[] = {
      {"press, hold, release, press again",
       {0.0f, 0.5f, 0.5f, 0.0f, 0.8f},
       {{false, false}, {true, false}, {false, false}, {false, false}, {true, false}}},
      {"exactly the threshold is not pressed", {0.0f, 0.1f, 0.11f}, {{false, false}, {false, false},
                                                                    {true, false}}},
      {"a slow press crosses the threshold once", {0.05f, 0.09f, 0.2f, 0.3f},
       {{false, false}, {false, false}, {true, false}, {false, false}}},
  };
  const PanelRect button = {10, 10, 20, 20};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ResetPanel();
    StartVR();
    for (size_t frame = 0; frame < c.triggers.size(); ++frame) {
      for (int eye = 0; eye < 2; ++eye) {
        SCOPED_TRACE(testing::Message() << "frame " << frame << ", eye " << eye);
        Eye(eye, c.triggers[frame], 15, 15);
        EXPECT_EQ(ui_.TextButton(context_, "Save", button, false), c.clicks[frame][size_t(eye)]);
      }
    }
  }
}

TEST_F(PanelWidgetTest, TheControllerIsNotAPointerBeforeTheFirstVREyeNorOnTheDesktop) {
  // Pressed before any eye of a VR frame has been drawn: nothing registers.
  ui_.UpdateTrigger(1.0f);
  EXPECT_FALSE(ui_.clicked);
  EXPECT_FALSE(ui_.held);
  EXPECT_EQ(ui_.pointerSource, -1);

  // On the desktop the panel is drawn but never reacts, whatever the controller does.
  for (int frame = 0; frame < 3; ++frame) {
    ui_.UpdateTrigger(frame == 1 ? 1.0f : 0.0f);
    ui_.SetPointer(true, PointerAt(15, 15));
    ui_.SetEye(0, false);
    ui_.SetTransform(context_, Matrix4x4::Identity());
    ui_.BeginPanel(context_, kPanel);
    EXPECT_FALSE(ui_.pointerOnPanel);
    EXPECT_FALSE(ui_.TextButton(context_, "Add", {10, 10, 20, 20}, false));
  }
  EXPECT_EQ(ui_.pointerSource, -1);
}

TEST_F(PanelWidgetTest, ThePointerHitsOnlyARectangleInFrontOfTheController) {
  struct Case {
    const char* name;
    Matrix4x4 pose;
    bool active;
    bool onPanel;
  };
  Matrix4x4 alongThePanel = PointerPose({-5, 30, 0}, {70, 30, 0});  // in the plane itself
  Matrix4x4 grazing = PointerPose({-5, 30, 1e-4f}, {70, 30, 0});
  const Case cases[] = {
      {"straight at it", PointerAt(30, 30), true, true},
      {"from behind the panel", PointerPose({30, 30, -10}, {30, 30, 0}), true, true},
      {"at a steep slant", PointerPose({-40, 90, 5}, {30, 30, 0}), true, true},
      {"pointing away from it", PointerPose({30, 30, 10}, {30, 30, 20}), true, false},
      {"beside it", PointerAt(70, 30), true, false},
      {"below it", PointerAt(30, 70), true, false},
      {"parallel to it", alongThePanel, true, false},
      {"grazing past its edge", grazing, true, false},
      {"with a pose that is not tracked", PointerAt(30, 30), false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartVR();
    BeginVREye(ui_, context_, 0, 0.0f, c.pose, Matrix4x4::Identity(), c.active);
    ui_.BeginPanel(context_, kPanel);
    EXPECT_EQ(ui_.pointerOnPanel, c.onPanel);
    if (c.onPanel) {
      EXPECT_NEAR(ui_.pointerX, 30.0f, 1e-3f);
      EXPECT_NEAR(ui_.pointerY, 30.0f, 1e-3f);
      EXPECT_GT(ui_.hitT, 0.0f);
    }
  }
}

TEST_F(PanelWidgetTest, APanelCarriedInTheWorldIsHitWhereTheControllerAimsInPanelUnits) {
  // 100 panel units to 0.3 m, turned a quarter around the vertical and held at chest height:
  // panel x runs along world -z, panel y down the world.
  Matrix4x4 panel;
  const float s = 0.003f;
  const float rows[16] = {0, 0, -s, 0,  0, -s, 0, 0,  -s, 0, 0, 0,  0.2f, 1.4f, 0.1f, 1};
  std::copy(std::begin(rows), std::end(rows), panel.m);
  const PanelRect rect = {0, 0, 100, 60};
  // Both triangles of the rectangle: upper left and lower right.
  for (Vec2 target : {Vec2{20, 15}, Vec2{90, 50}}) {
    SCOPED_TRACE(testing::Message() << "aiming at " << target.x << ", " << target.y);
    const Vec3 world = TransformPoint(panel, {target.x, target.y, 0});
    const Matrix4x4 pose = PointerPose({world.x + 0.4f, world.y + 0.1f, world.z + 0.05f}, world);
    ResetPanel();
    BeginVREye(ui_, context_, 0, 0.0f, pose, panel);
    BeginVREye(ui_, context_, 0, 0.0f, pose, panel);
    ui_.BeginPanel(context_, rect);
    ASSERT_TRUE(ui_.pointerOnPanel);
    EXPECT_NEAR(ui_.pointerX, target.x, 1e-2f);
    EXPECT_NEAR(ui_.pointerY, target.y, 1e-2f);
    EXPECT_NEAR(ui_.hitPoint.z, 0.0f, 1e-3f);
    // The controller is 0.415 m away: 138 panel units.
    EXPECT_NEAR(ui_.hitT, std::sqrt(0.4f * 0.4f + 0.1f * 0.1f + 0.05f * 0.05f) / s, 0.1f);
  }
  // A panel scaled to nothing (hidden) cannot be hit.
  Matrix4x4 collapsed = panel;
  for (int i = 0; i < 12; ++i) collapsed.m[i] = 0.0f;
  BeginVREye(ui_, context_, 0, 0.0f, PointerAt(0, 0), collapsed);
  ui_.BeginPanel(context_, rect);
  EXPECT_FALSE(ui_.pointerOnPanel);
}

TEST_F(PanelWidgetTest, EveryBeginPanelHitTestsItsOwnRectangle) {
  StartVR();
  Eye(0, 0.0f, 50, 10);
  EXPECT_TRUE(ui_.pointerOnPanel);
  ui_.BeginPanel(context_, {0, 0, 40, 40});
  EXPECT_FALSE(ui_.pointerOnPanel);
  EXPECT_FALSE(ui_.TextButton(context_, "Add", {45, 5, 10, 10}, false));
  ui_.BeginPanel(context_, {40, 0, 24, 24});
  EXPECT_TRUE(ui_.pointerOnPanel);
}

TEST_F(PanelWidgetTest, ASliderFollowsThePointerOnlyWhileHeldOverIt) {
  const PanelRect slider = {10, 20, 40, 8};
  struct Case {
    const char* name;
    float trigger;
    float x;  // pointer x; y is inside the slider
    float min, max, value;
    float expected;
  };
  const float nearRight = std::nextafter(50.0f, 0.0f);
  const Case cases[] = {
      {"held on the left edge gives exactly min", 1.0f, 10, 2.0f, 6.0f, 4.5f, 2.0f},
      {"held a quarter along", 1.0f, 20, 2.0f, 6.0f, 4.5f, 3.0f},
      {"held at the middle of a falling range", 1.0f, 30, 1.0f, -1.0f, 0.7f, 0.0f},
      {"an empty range gives its one value", 1.0f, 30, 3.0f, 3.0f, 0.0f, 3.0f},
      {"hovered but not held keeps the value", 0.0f, 20, 2.0f, 6.0f, 4.5f, 4.5f},
      {"held off the slider keeps the value", 1.0f, 55, 2.0f, 6.0f, 4.5f, 4.5f},
      // The script gets a 32-bit float back: 0.1 stays the float nearest 0.1.
      {"away, a value passes through unchanged", 0.0f, 60, 0.0f, 1.0f, 0.1f, 0.1f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartVR();
    Eye(0, c.trigger, c.x, 24);
    EXPECT_EQ(ui_.Slider(context_, "Size", slider, ui_.FindIcon("slider"), c.min, c.max, c.value),
              c.expected);
  }

  // Near the right edge the value approaches max without reaching it.
  StartVR();
  Eye(0, 1.0f, nearRight, 24);
  const float almostMax = ui_.Slider(context_, "Size", slider, 8, 2.0f, 6.0f, 4.5f);
  EXPECT_LT(almostMax, 6.0f);
  EXPECT_GT(almostMax, 5.999f);
}

TEST_F(PanelWidgetTest, TheColorPickerSetsHueOnItsRingAndSaturationAndValueInItsSquare) {
  const PanelRect picker = {0, 0, 40, 40};  // n = (x - 20) / 20, (y - 20) / 20
  const Vec3 start = {0.3f, 0.2f, 0.9f};
  struct Case {
    const char* name;
    float trigger;
    float x, y;
    Vec3 expected;
  };
  const Case cases[] = {
      {"the centre", 1.0f, 20, 20, {0.3f, 0.5f, 0.5f}},
      {"the square's upper-left part", 1.0f, 12, 12, {0.3f, 0.1f, 0.9f}},
      {"the square's lower-right part", 1.0f, 29, 29, {0.3f, 0.95f, 0.05f}},
      {"the ring on the positive x axis", 1.0f, 38, 20, {0.0f, 0.2f, 0.9f}},
      {"the ring below the centre", 1.0f, 20, 38, {0.25f, 0.2f, 0.9f}},
      {"the ring left of the centre", 1.0f, 2, 20, {0.5f, 0.2f, 0.9f}},
      {"the ring above the centre", 1.0f, 20, 2, {0.75f, 0.2f, 0.9f}},
      {"between square and ring (radius 0.7)", 1.0f, 34, 20, start},
      {"a corner outside the ring", 1.0f, 1, 1, start},
      {"the centre without the trigger", 0.0f, 20, 20, start},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartVR();
    Eye(0, c.trigger, c.x, c.y);
    Vec3 hsv = start;
    ui_.ColorPicker(context_, picker, hsv);
    EXPECT_NEAR(hsv.x, c.expected.x, 1e-6f);
    EXPECT_NEAR(hsv.y, c.expected.y, 1e-6f);
    EXPECT_NEAR(hsv.z, c.expected.z, 1e-6f);
  }
  // A hair above the positive x axis the angle is a hair under a whole turn: the hue stays
  // below 1.
  StartVR();
  Eye(0, 1.0f, 38, std::nextafter(20.0f, 0.0f));
  Vec3 hsv = start;
  ui_.ColorPicker(context_, picker, hsv);
  EXPECT_GE(hsv.x, 0.0f);
  EXPECT_LT(hsv.x, 1.0f);
}

TEST_F(PanelWidgetTest, IconsAreFoundByTheirExactName) {
  EXPECT_EQ(ui_.FindIcon("circle"), 0);
  EXPECT_EQ(ui_.FindIcon("slider"), 8);
  EXPECT_EQ(ui_.FindIcon("night"), 16);
  EXPECT_EQ(ui_.FindIcon("Save"), -1);
  EXPECT_EQ(ui_.FindIcon("save "), -1);
  EXPECT_EQ(ui_.FindIcon(""), -1);
  // The panel keeps every row, in atlas texture coordinates.
  ASSERT_EQ(ui_.icons.size(), kToolIcons.size());
  for (size_t i = 0; i < kToolIcons.size(); ++i) {
    EXPECT_EQ(ui_.icons[i].name, kToolIcons[i].name);
  }
  EXPECT_FLOAT_EQ(ui_.whiteU, 288.0f / 512.0f);
  EXPECT_FLOAT_EQ(ui_.whiteV, 32.0f / 576.0f);
  const IconRect& slider = ui_.icons[8];
  EXPECT_FLOAT_EQ(slider.w, 0.5f);
  EXPECT_FLOAT_EQ(slider.y + slider.h, 192.0f / 576.0f);
}

TEST_F(PanelWidgetTest, ValuesFromTheScriptThatMakeNoSenseDrawHarmlessly) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  StartVR();
  Eye(0, 1.0f, 20, 20);
  // Icons the table does not have draw no icon.
  EXPECT_TRUE(ui_.PicButton(context_, 99, {10, 10, 20, 20}, false));
  EXPECT_TRUE(ui_.Button(context_, "x", -5, {10, 10, 20, 20}, true));
  // Rectangles that cannot be hovered.
  EXPECT_FALSE(ui_.TextButton(context_, "x", {nan, 10, 20, 20}, false));
  EXPECT_FALSE(ui_.TextButton(context_, "x", {10, 10, -20, 20}, false));
  EXPECT_EQ(ui_.Slider(context_, "x", {nan, nan, nan, nan}, 8, 0, 1, 0.5f), 0.5f);
  EXPECT_EQ(ui_.Slider(context_, "x", {0, 0, 0, 40}, 8, 0, 1, 0.5f), 0.5f);
  // Ranges and values that are not numbers pass through without breaking the slider.
  EXPECT_TRUE(std::isnan(ui_.Slider(context_, "x", {10, 10, 20, 20}, 8, nan, 1, 0.5f)));
  EXPECT_EQ(ui_.Slider(context_, "x", {10, 10, 20, 20}, 8, 0, inf, 0.5f), inf);
  Vec3 hsv = {nan, inf, -inf};
  ui_.ColorPicker(context_, {nan, 0, 40, 40}, hsv);
  // Text of any bytes draws; text too long for one draw is refused with a message.
  ui_.Label(context_, std::string("\0\x01\x7F\x80\xFF", 5), 0, 0, 0.6f);
  LogCapture log;
  ui_.Label(context_, std::string(PanelFont::kMaxTextBytes + 1, 'W'), 0, 0, 0.6f);
  EXPECT_TRUE(log.Contains("is not drawn"));
  ui_.textScale = nan;
  ui_.Label(context_, "scaled by nothing", 0, 0, 0.6f);
}

}  // namespace

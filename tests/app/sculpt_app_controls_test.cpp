// SculptApplication without a window: what the keyboard and mouse do to the camera, the panel
// and the script reload, and the eased panel scale.
#include <gtest/gtest.h>

#include "app/animated_value.h"
#include "app/controls.h"
#include "app/sculpt_app.h"
#include "ui/script_globals.h"
#include "base/timing.h"
#include "file/file_util.h"

namespace {

TEST(AnimatedValueTest, HoldsItsEndsOutsideTheChange) {
  AnimatedValue value{2.0f, 6.0f, 10.0, 2.0, 0};
  EXPECT_EQ(value.ValueAt(9.0), 2.0f);
  EXPECT_EQ(value.ValueAt(11.0), 6.0f);
  EXPECT_FLOAT_EQ(value.ValueAt(10.25), 4.0f);
}

TEST(AnimatedValueTest, EasesWithSmoothstepAndSmootherstep) {
  AnimatedValue smooth{0.0f, 1.0f, 0.0, 1.0, 1};
  EXPECT_FLOAT_EQ(smooth.ValueAt(0.5), 0.5f);
  EXPECT_FLOAT_EQ(smooth.ValueAt(0.25), 0.15625f);
  AnimatedValue smoother{0.0f, 1.0f, 0.0, 1.0, 2};
  EXPECT_FLOAT_EQ(smoother.ValueAt(0.25), 0.103515625f);
  // An unknown easing stays at the start value until the change is over.
  AnimatedValue unknown{3.0f, 5.0f, 0.0, 1.0, 7};
  EXPECT_EQ(unknown.ValueAt(0.5), 3.0f);
  EXPECT_EQ(unknown.ValueAt(2.0), 5.0f);
}

class SculptAppControlsTest : public ::testing::Test {
 protected:
  DataRoots roots = {""};
  SculptApplication app{&roots};
  Controls controls;
};

TEST_F(SculptAppControlsTest, StartsWithThePanelShownAndNothingPending) {
  EXPECT_EQ(app.GetRunMode(), RunMode::ClientOnly);
  EXPECT_TRUE(app.panelVisible);
  EXPECT_EQ(app.panelAnim.ValueAt(0.0), 1.0f);
  EXPECT_FALSE(app.reloadScript);
  EXPECT_FALSE(app.mirrorEnabled);
  EXPECT_FALSE(app.WantsQuit());
  EXPECT_EQ(app.volume.listener, &app.tessellator);
}

TEST_F(SculptAppControlsTest, HoldingWForTenFramesMovesTheCameraOneMetreForward) {
  controls.keyDown['W'] = 1;
  bool vrInput = false;
  for (int frame = 0; frame < 10; ++frame) app.ProcessControls(&controls, &vrInput);
  EXPECT_NEAR(app.cameraOffset.z, -1.0f, 1e-5f);
  EXPECT_EQ(app.cameraOffset.x, 0.0f);
  EXPECT_EQ(app.cameraOffset.y, 0.0f);
}

TEST_F(SculptAppControlsTest, OppositeKeysCancel) {
  controls.keyDown['W'] = controls.keyDown['S'] = 1;
  controls.keyDown['Q'] = controls.keyDown['E'] = 1;
  controls.keyDown['A'] = controls.keyDown['D'] = 1;
  bool vrInput = false;
  app.ProcessControls(&controls, &vrInput);
  EXPECT_NEAR(app.cameraOffset.x, 0.0f, 1e-6f);
  EXPECT_NEAR(app.cameraOffset.y, 0.0f, 1e-6f);
  EXPECT_NEAR(app.cameraOffset.z, 0.0f, 1e-6f);
}

TEST_F(SculptAppControlsTest, RightClickShrinksThePanelFromItsCurrentSize) {
  controls.mousePressed = Controls::kMouseRight;
  bool vrInput = false;
  app.ProcessControls(&controls, &vrInput);
  EXPECT_FALSE(app.panelVisible);
  EXPECT_EQ(app.panelAnim.from, 1.0f);
  EXPECT_EQ(app.panelAnim.to, 0.0f);
  EXPECT_EQ(app.panelAnim.easing, 1);
  EXPECT_NEAR(app.panelAnim.rate, 1.0 / 0.15, 1e-5);
  // Once the change is over the panel is gone.
  EXPECT_EQ(app.panelAnim.ValueAt(app.panelAnim.startTime + 1.0), 0.0f);

  // A second click halfway through reverses from where the first change has got to (about half
  // size), without a jump to either end.
  app.panelAnim.startTime -= 0.075;
  const AnimatedValue first = app.panelAnim;
  const double before = TimeNow();
  app.ProcessControls(&controls, &vrInput);
  const double after = TimeNow();
  EXPECT_TRUE(app.panelVisible);
  EXPECT_EQ(app.panelAnim.to, 1.0f);
  EXPECT_LE(app.panelAnim.from, first.ValueAt(before));
  EXPECT_GE(app.panelAnim.from, first.ValueAt(after));
  EXPECT_GT(app.panelAnim.from, 0.05f);
  EXPECT_LT(app.panelAnim.from, 0.95f);
  EXPECT_EQ(app.panelAnim.ValueAt(app.panelAnim.startTime), app.panelAnim.from);
}

TEST_F(SculptAppControlsTest, ControlZUndoesControlShiftZAndControlYRedo) {
  for (float x : {60.0f, 120.0f}) {
    std::vector<SculptOp> frame(1);
    frame[0].type = kOpSphere;
    frame[0].matrix = Matrix4x4::Translation({x, 96, 96});
    frame[0].radius = 10;
    frame[0].mode = 2;
    frame[0].channelMask = 1;
    app.document.ApplyFrame(frame);
    std::vector<SculptOp> released;
    app.document.ApplyFrame(released);
  }
  bool vrInput = false;
  auto press = [&](std::initializer_list<int> held, int key) {
    Controls keys;
    for (int k : held) keys.keyDown[k] = 1;
    keys.keyDown[key] = keys.keyPressed[key] = 1;
    app.ProcessControls(&keys, &vrInput);
    return app.document.OperationLog().size();
  };
  EXPECT_EQ(press({}, 'Z'), 2u) << "Z alone does nothing";
  EXPECT_EQ(press({17}, 'Z'), 1u);
  EXPECT_EQ(app.volume.SampleAt({120, 96, 96}, 0), 0);
  EXPECT_EQ(press({17}, 'Z'), 0u);
  EXPECT_EQ(press({17, 16}, 'Z'), 1u);
  EXPECT_EQ(press({17}, 'Y'), 2u);
  EXPECT_GT(app.volume.SampleAt({120, 96, 96}, 0), 0);
}

TEST_F(SculptAppControlsTest, F5AsksForAScriptReload) {
  bool vrInput = false;
  app.ProcessSystemKeys(&controls, &vrInput);
  EXPECT_FALSE(app.reloadScript);
  controls.keyPressed[116] = 1;
  app.ProcessSystemKeys(&controls, &vrInput);
  EXPECT_TRUE(app.reloadScript);
}

TEST_F(SculptAppControlsTest, CurrentMaterialReadsTheScriptGlobalsInRecordOrder) {
  app.script.SetNumber("material_r", 0.1);
  app.script.SetNumber("material_g", 0.2);
  app.script.SetNumber("material_b", 0.3);
  app.script.SetNumber("material_roughness", 0.4);
  app.script.SetNumber("material_metalness", 0.5);
  const std::array<float, 5> material = app.CurrentMaterial();
  EXPECT_FLOAT_EQ(material[0], 0.1f);
  EXPECT_FLOAT_EQ(material[1], 0.2f);
  EXPECT_FLOAT_EQ(material[2], 0.3f);
  EXPECT_FLOAT_EQ(material[3], 0.4f);
  EXPECT_FLOAT_EQ(material[4], 0.5f);
}

TEST_F(SculptAppControlsTest, NullControlsAreIgnored) {
  bool vrInput = false;
  app.ProcessControls(nullptr, &vrInput);
  app.ProcessSystemKeys(nullptr, &vrInput);
  EXPECT_EQ(app.cameraOffset.z, 0.0f);
  EXPECT_FALSE(app.reloadScript);
}

}  // namespace

namespace {

class SculptAppKeysTest : public ::testing::Test {
 protected:
  void Press(int key) {
    controls.keyPressed[key] = 1;
    bool vrInput = false;
    app.ProcessControls(&controls, &vrInput);
    controls.keyPressed[key] = 0;
  }
  DataRoots roots = {""};
  SculptApplication app{&roots};
  Controls controls;
};

TEST_F(SculptAppKeysTest, NumberKeysPickToolsAndBracketsSizeTheBrush) {
  app.script.SetupScript(nullptr);
  const char* tools[] = {"Add", "Subtract", "Paint", "Dropper", "Buff", "Sandpaper"};
  for (int k = 5; k >= 0; --k) {
    Press('1' + k);
    EXPECT_EQ(app.script.GetString(ScriptGlobals::kTool), tools[k]);
  }
  app.script.SetNumber(ScriptGlobals::kDrawSize, 0.04);
  Press(221);  // ]
  EXPECT_NEAR(app.script.GetNumber(ScriptGlobals::kDrawSize), 0.048, 1e-9);
  Press(219);  // [
  EXPECT_NEAR(app.script.GetNumber(ScriptGlobals::kDrawSize), 0.04, 1e-9);
  // Within the panel slider's range.
  for (int i = 0; i < 40; ++i) Press(221);
  EXPECT_NEAR(app.script.GetNumber(ScriptGlobals::kDrawSize), 0.15, 1e-9);
  for (int i = 0; i < 40; ++i) Press(219);
  EXPECT_NEAR(app.script.GetNumber(ScriptGlobals::kDrawSize), 0.005, 1e-9);
}

}  // namespace

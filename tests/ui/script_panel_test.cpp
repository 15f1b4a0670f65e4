// The widget functions as the script sees them, drawing through the real panel and driver, and
// the panel script of the data tree driven by a hand controller.
#include <cmath>
#include <cstring>

#include <gtest/gtest.h>

#include "sculpt/sculpt_document.h"
#include "sculpt/test_scenes.h"
#include "sculpt/voxel_grid.h"
#include "tests/gfx/opengl_test_util.h"
#include "tests/support/log_capture.h"
#include "tests/ui/panel_test_util.h"
#include "tests/ui/script_test_util.h"

namespace {

using paneltest::BeginVREye;
using paneltest::PointerAt;
using scripttest::ScriptFixture;

class ScriptPanelTest : public paneltest::PanelTestBase {
 protected:
  void SetUp() override {
    PanelTestBase::SetUp();
    if (IsSkipped()) return;
    script_ = std::make_unique<ScriptFixture>(
        ScriptTargets{.panel = &ui_, .sceneConstants = scene_.bytes.data()});
  }

  // Sets up a script whose processUI is body, on the context of the fixture.
  void Setup(const std::string& body) {
    script_->Setup("function init() end\nfunction processUI()\n" + body + "\nend\n", context_);
    ASSERT_TRUE(script_->errors().empty()) << script_->ErrorText();
  }
  // One eye of a VR frame: the pointer at panel point (x, y) with the trigger at trigger.
  bool Eye(int eye, float x, float y, float trigger) {
    BeginVREye(ui_, context_, eye, trigger, PointerAt(x, y));
    context_->BindPipeline(resources_->textured.get());
    return script_->host().CallFunction("processUI");
  }
  ScriptHost& host() { return script_->host(); }

  std::unique_ptr<ScriptFixture> script_;
};

TEST_F(ScriptPanelTest, WidgetCallsInInitWork) {
  script_->Setup(R"(
    function init()
      setTextScale(0.5)
      beginPanel(0, 0, 64, 64)
      label("init", 2, 10)
      done = 1
    end)", context_);
  EXPECT_TRUE(script_->errors().empty()) << script_->ErrorText();
  EXPECT_EQ(host().GetInteger("done"), 1);
  EXPECT_EQ(ui_.textScale, 0.5f);
}

TEST_F(ScriptPanelTest, SliderAwayFromThePointerReturnsItsValueAsAFloat) {
  Setup(R"(
    beginPanel(0, 0, 64, 64)
    size = slider("Size", 4, 4, 40, 8, 0, 1, 0.1)
  )");
  ASSERT_TRUE(Eye(0, 60, 60, 0.0f));
  EXPECT_EQ(host().GetNumber("size"), double(0.1f));
  EXPECT_NE(host().GetNumber("size"), 0.1);
  // Held on its left edge it gives exactly the minimum.
  ASSERT_TRUE(Eye(0, 4, 8, 1.0f));
  EXPECT_EQ(host().GetNumber("size"), 0.0);
}

TEST_F(ScriptPanelTest, UnknownIconsAreNeverClicked) {
  // A click over all three buttons: only the one with a known icon answers.
  script_->Setup(R"(function init() end
    function processUI() beginPanel(0, 0, 64, 64)
      results = tostring(picButton("nonexistent", 0, 0, 64, 64, true)) .. " " ..
                tostring(button("Text", "nonexistent", 0, 0, 64, 64, true)) .. " " ..
                tostring(picButton("plus", 0, 0, 64, 64, false))
    end)", context_);
  ASSERT_TRUE(Eye(0, 32, 32, 0.0f));
  ASSERT_TRUE(Eye(0, 32, 32, 1.0f));
  EXPECT_EQ(host().GetString("results"), "false false true");
}

TEST_F(ScriptPanelTest, TextButtonClickCountsOncePerFrame) {
  Setup(R"(
    beginPanel(0, 0, 64, 64)
    if textButton("Go", 10, 10, 20, 10, false) then clicks = (clicks or 0) + 1 end
  )");
  ASSERT_TRUE(Eye(0, 20, 15, 0.0f));
  ASSERT_TRUE(Eye(0, 20, 15, 0.5f));
  ASSERT_TRUE(Eye(1, 20, 15, 0.5f));
  ASSERT_TRUE(Eye(0, 20, 15, 0.5f));
  EXPECT_EQ(host().GetInteger("clicks"), 1);
}

TEST_F(ScriptPanelTest, ColorPickerWritesBothColourForms) {
  Setup(R"(
    beginPanel(0, 0, 64, 64)
    colorPicker("material", 12, 12, 40, 40, 0)
  )");
  // Nothing set and the pointer away: every component reads and is written back as 0.
  ASSERT_TRUE(Eye(0, 2, 2, 0.0f));
  for (const char* name : {"material_h", "material_s", "material_v", "material_r", "material_g",
                           "material_b"}) {
    EXPECT_EQ(host().GetString(name), "0.0") << name;  // a number, not nil
  }
  // Held at the centre of the square: saturation and value 0.5 at hue 0.
  ASSERT_TRUE(Eye(0, 32, 32, 1.0f));
  EXPECT_NEAR(host().GetNumber("material_s"), 0.5, 1e-6);
  EXPECT_NEAR(host().GetNumber("material_v"), 0.5, 1e-6);
  EXPECT_NEAR(host().GetNumber("material_r"), 0.5, 1e-6);
  EXPECT_NEAR(host().GetNumber("material_g"), 0.25, 1e-6);
  EXPECT_NEAR(host().GetNumber("material_b"), 0.25, 1e-6);
  // The picker shader was given the colour it draws.
  float pushed[3];
  std::memcpy(pushed, scene_.bytes.data() + 368, sizeof(pushed));
  EXPECT_EQ(pushed[1], 0.0f);  // pushed before the widget changed it
  // A hue set by the script (or the dropper) is what the next frame shows.
  host().SetNumber("material_h", 2.0 / 3.0);
  host().SetNumber("material_s", 1.0);
  host().SetNumber("material_v", 1.0);
  ASSERT_TRUE(Eye(0, 2, 2, 0.0f));
  EXPECT_NEAR(host().GetNumber("material_b"), 1.0, 1e-6);
  EXPECT_NEAR(host().GetNumber("material_r"), 0.0, 1e-6);
  std::memcpy(pushed, scene_.bytes.data() + 368, sizeof(pushed));
  EXPECT_NEAR(pushed[0], 2.0f / 3.0f, 1e-6f);
}

TEST_F(ScriptPanelTest, RectPacksItsColour) {
  gltest::OffscreenTarget target(context_, kTargetSize, kTargetSize);
  const float black[4] = {0, 0, 0, 1};
  target.Begin(context_, black);
  gltest::SetFullViewport(context_, kTargetSize, kTargetSize);
  scene_.Push(context_);
  Setup(R"(rect(0, 0, 64, 64, 2, -1, 0.5, 1))");
  ASSERT_TRUE(Eye(0, 2, 2, 0.0f));
  const uint32_t pixel = gl_->Pixel(32, 32);
  EXPECT_EQ(pixel & 0xFF, 255u);
  EXPECT_EQ((pixel >> 8) & 0xFF, 0u);
  EXPECT_NEAR(double((pixel >> 16) & 0xFF), 127.0, 1.0);
}

// The panel script of the data tree, as the application runs it.
class SculptScriptTest : public ScriptPanelTest {
 protected:
  void SetUp() override {
    ScriptPanelTest::SetUp();
    if (IsSkipped()) return;
    AddDataRoot(roots_, LOOMWORK_DATA_DIR);
    host_ = std::make_unique<ScriptHost>(ScriptTargets{
        .panel = &ui_, .sceneConstants = scene_.bytes.data(), .dataRoots = &roots_});
    host_->SetErrorHandler([this](int status, const std::string& message, std::exception_ptr) {
      errors_ += std::to_string(status) + ": " + message + "\n";
    });
  }
  // A frame of two eyes with the pointer at panel point (x, y).
  void Frame(float x, float y, float trigger) {
    for (int eye = 0; eye < 2; ++eye) {
      BeginVREye(ui_, context_, eye, trigger, PointerAt(x, y));
      context_->BindPipeline(resources_->textured.get());
      host_->CallFunction("processUI");
      ui_.DrawPointer(context_);
      host_->CallFunction("renderEye", eye);
    }
  }

  DataRoots roots_;
  std::unique_ptr<ScriptHost> host_;
  std::string errors_;
};

TEST_F(SculptScriptTest, RunsWithoutErrorsAndItsToolButtonsSetTheTool) {
  host_->SetupScript(context_);
  EXPECT_EQ(errors_, "");
  EXPECT_EQ(host_->GetString("tool"), "Add");
  EXPECT_EQ(host_->GetString("toolShape"), "Sphere");
  EXPECT_GT(host_->GetNumber("drawSize"), 0.0);
  EXPECT_EQ(host_->GetInteger("light_env"), 1);

  Frame(100, 100, 0.0f);  // pointer off the panel
  EXPECT_EQ(errors_, "");
  // The third button of the tool row is "Paint" (the row starts at (-17.5, -27), 5 wide with a
  // gap of 1); press and release.
  Frame(-3, -24.5f, 0.0f);
  Frame(-3, -24.5f, 1.0f);
  Frame(-3, -24.5f, 0.0f);
  EXPECT_EQ(errors_, "");
  EXPECT_EQ(host_->GetString("tool"), "Paint");

  // A reload keeps the user's choice.
  host_->SetupScript(context_);
  EXPECT_EQ(host_->GetString("tool"), "Paint");
  EXPECT_EQ(errors_, "");
}

// The Save button of the panel script says what really happened: a save into a folder that does
// not exist prints a failure and shows it on the panel, and "Saved" only follows a real save.
TEST_F(ScriptPanelTest, PanelScriptSaysWhetherTheSaveWorked) {
  VoxelGrid grid(kGridSize, kGridChannels);
  DataRoots documentRoots;
  SculptDocument document(&grid, &documentRoots);
  ScriptFixture panelScript(ScriptTargets{
      .panel = &ui_, .document = &document, .sceneConstants = scene_.bytes.data()});
  AddDataRoot(documentRoots, panelScript.root().Path());
  std::vector<uint8_t> source;
  ASSERT_TRUE(ReadFile(std::string(LOOMWORK_DATA_DIR) + "/script/sculpt.lua", source));
  panelScript.Setup(std::string(source.begin(), source.end()), context_);
  ASSERT_TRUE(panelScript.errors().empty()) << panelScript.ErrorText();

  // Save sits at panel point (13.5, 17): press and release there.
  auto clickSave = [&] {
    for (float trigger : {0.0f, 1.0f, 0.0f}) {
      for (int eye = 0; eye < 2; ++eye) {
        BeginVREye(ui_, context_, eye, trigger, PointerAt(13.5f, 17.0f));
        context_->BindPipeline(resources_->textured.get());
        panelScript.host().CallFunction("processUI");
      }
    }
  };
  LogCapture log;
  clickSave();  // no "sculptures" folder yet
  EXPECT_TRUE(log.Contains("Save failed: sculptures/slot1.sculpt was not written"));
  EXPECT_FALSE(log.Contains("Saved"));
  panelScript.root().MakeDirectory("sculptures");
  clickSave();
  EXPECT_TRUE(log.Contains("Saved sculptures/slot1.sculpt"));
  EXPECT_EQ(panelScript.root().ReadFile("sculptures/slot1.sculpt").size(), 12u);
  EXPECT_TRUE(panelScript.errors().empty()) << panelScript.ErrorText();

  // Export, below the history row, writes the sculpture beside the slot's file as glTF.
  auto clickExport = [&] {
    for (float trigger : {0.0f, 1.0f, 0.0f}) {
      for (int eye = 0; eye < 2; ++eye) {
        BeginVREye(ui_, context_, eye, trigger, PointerAt(-11.5f, 40.5f));
        context_->BindPipeline(resources_->textured.get());
        panelScript.host().CallFunction("processUI");
      }
    }
  };
  clickExport();  // an empty sculpture has no surface
  EXPECT_TRUE(log.Contains("Export: the sculpture has no surface to export"));
  BuildTestScene(document, "marble");
  clickExport();
  EXPECT_TRUE(log.Contains("Export: wrote '")) << log.Text();
  EXPECT_EQ(panelScript.root().ReadFile("sculptures/slot1.glb").substr(0, 4), "glTF");
  EXPECT_TRUE(panelScript.errors().empty()) << panelScript.ErrorText();
}

}  // namespace

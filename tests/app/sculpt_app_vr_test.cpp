// SculptApplication's VR frame against a headset stand-in: what the hand controllers make of
// triggers, D-pad and menu buttons, the records a stroke writes, the dropper, mirroring, the
// replay taking precedence, and the frame submission. Drawn with the real OpenGL driver.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <unistd.h>
#include <string>

#include "app/brush_stroke.h"
#include "app/controls.h"
#include "app/sculpt_app.h"
#include "app/stroke_spacing.h"
#include "sculpt/test_scenes.h"
#include "tests/gfx/gl_test_context.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_directory.h"
#include "tests/support/text_count.h"
#include "ui/script_globals.h"
#include "vr/vr_system.h"

namespace {

constexpr uint32_t kLeft = 1;
constexpr uint32_t kRight = 2;

class FakeHeadset : public VRSystem {
 public:
  DeviceKind kinds[kDeviceCount] = {};
  ControllerState states[kDeviceCount];
  Matrix4x4 poses[kDeviceCount];
  bool valid[kDeviceCount] = {};
  int submits = 0;

  uint32_t GetDeviceCount() override { return kDeviceCount; }
  DeviceKind GetDeviceKind(uint32_t index) override { return kinds[index]; }
  bool GetDevicePose(uint32_t index, Matrix4x4* pose) override {
    if (!valid[index]) return false;
    *pose = poses[index];
    return true;
  }
  ControllerState* GetControllerState(uint32_t index) override { return &states[index]; }
  void TriggerHapticPulse(uint32_t, uint16_t) override {}
  void SubmitFrame() override { ++submits; }
  const Mesh* GetRenderModel(uint32_t) override { return nullptr; }
  Draw::Texture* GetRenderModelTexture(uint32_t) override { return nullptr; }
  bool ReservedQuery() override { return false; }
};

// Row-vector rotation about x by the angle whose cosine and sine are given.
Matrix4x4 RotationX(float c, float s) {
  Matrix4x4 m = Matrix4x4::Identity();
  m.m[5] = c;
  m.m[6] = s;
  m.m[9] = -s;
  m.m[10] = c;
  return m;
}

class SculptAppVrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_GL(gl_);
    // The shader library is listed from the working directory, as the program runs.
    ASSERT_NE(getcwd(previousDirectory_, sizeof previousDirectory_), nullptr);
    ASSERT_EQ(chdir(LOOMWORK_DATA_DIR), 0);
    app_ = std::make_unique<SculptApplication>(&roots_);
    FrameInfo init;
    init.isVR = true;
    init.viewCount = 2;
    init.vrSystem = &headset_;
    app_->Init(gl_.Context(), nullptr, &init);

    frame_.isVR = true;
    frame_.viewCount = 2;
    frame_.width = 64;
    frame_.height = 64;
    frame_.eyeProjection[0] = frame_.eyeProjection[1] = Matrix4x4::Identity();
    frame_.headView = Matrix4x4::Identity();
    frame_.vrSystem = &headset_;

    for (uint32_t index : {kLeft, kRight}) {
      headset_.kinds[index] = DeviceKind::Controller;
      headset_.valid[index] = true;
      headset_.states[index].triggerAxis = 1;
    }
    headset_.states[kLeft].role = kRoleLeftHand;
    headset_.states[kRight].role = kRoleRightHand;
    // The left hand holds the panel far off to the side; the right hand is at (0, 1, 0),
    // pointing along -z, in the middle of the grid.
    headset_.poses[kLeft] = Matrix4x4::Translation({-5.0f, 1.0f, 5.0f});
    headset_.poses[kRight] = Matrix4x4::Translation({0.0f, 1.0f, 0.0f});
  }
  void TearDown() override {
    if (app_ != nullptr) app_->Shutdown(gl_.Context());
    if (previousDirectory_[0] != 0) {
      EXPECT_EQ(chdir(previousDirectory_), 0);
    }
  }

  void Frame(float trigger) {
    headset_.states[kRight].axes[1].x = trigger;
    bool vrInput = true;
    app_->ProcessSystemKeys(&controls_, &vrInput);
    app_->ProcessControls(&controls_, &vrInput);
    gl_.Context()->BeginFrame();
    app_->UpdateAndRender(gl_.Context(), &frame_);
    headset_.states[kRight].buttonsPressedNow = 0;
    headset_.states[kLeft].buttonsPressedNow = 0;
  }
  size_t Records() const { return app_->document.OperationLog().size(); }
  std::string Tool() { return app_->script.GetString(ScriptGlobals::kTool); }

  GLTestContext gl_{64, 64};
  char previousDirectory_[4096] = {};
  DataRoots roots_ = {""};
  std::unique_ptr<SculptApplication> app_;
  FakeHeadset headset_;
  Controls controls_;
  FrameInfo frame_;
};

TEST_F(SculptAppVrTest, TriggerPastFiveHundredthsStrokesOneRecordPerFrame) {
  Frame(0.05f);
  EXPECT_EQ(Records(), 0u) << "a trigger of exactly 0.05 rests";
  EXPECT_EQ(headset_.submits, 1) << "both eyes go to the headset once per frame";
  Frame(0.0501f);
  Frame(0.0501f);
  ASSERT_EQ(Records(), 2u);

  const SculptOp& op = app_->document.OperationLog()[0];
  EXPECT_EQ(op.type, kOpSphere);
  EXPECT_EQ(op.mode, 2);
  EXPECT_EQ(op.channelMask, 63u);
  const float drawSize = float(app_->script.GetNumber(ScriptGlobals::kDrawSize));
  EXPECT_FLOAT_EQ(op.radius, drawSize * 96.0f);
  // World (0, 1, 0) is the grid's centre column at one metre: (96, 96, 96).
  EXPECT_NEAR(op.matrix.m[12], 96.0f, 1e-3f);
  EXPECT_NEAR(op.matrix.m[13], 96.0f, 1e-3f);
  EXPECT_NEAR(op.matrix.m[14], 96.0f, 1e-3f);
  EXPECT_NEAR(op.matrix.m[0], drawSize * 96.0f, 1e-4f);
  const std::array<float, 5> material = app_->CurrentMaterial();
  EXPECT_EQ(op.red, material[0]);
  EXPECT_EQ(op.roughness, material[3]);
  EXPECT_EQ(op.metalness, material[4]);
  for (uint8_t byte : op.reserved) EXPECT_EQ(byte, 0);
  EXPECT_GT(app_->volume.SampleAt({96, 96, 96}, 0), 0) << "the stroke raised the surface";
}

TEST_F(SculptAppVrTest, ToolsChooseModesMasksAndShapes) {
  struct Case {
    const char* tool;
    const char* shape;
    OpType type;
    int32_t mode;
    uint32_t mask;
  };
  const Case cases[] = {{"Add", "Box", kOpBox, 2, 63},         {"Subtract", "Sphere", kOpSphere, 3, 1},
                        {"Paint", "Cylinder", kOpCylinder, 1, 62}, {"Buff", "Sphere", kOpSphere, 5, 63},
                        {"Sandpaper", "Box", kOpBox, 4, 63},   {"Chisel", "Cone", kOpSphere, 2, 63}};
  for (const Case& c : cases) {
    app_->script.SetString(ScriptGlobals::kTool, c.tool);
    app_->script.SetString(ScriptGlobals::kToolShape, c.shape);
    const size_t before = Records();
    Frame(1.0f);
    ASSERT_EQ(Records(), before + 1) << c.tool;
    const SculptOp& op = app_->document.OperationLog().back();
    EXPECT_EQ(op.type, c.type) << c.tool;
    EXPECT_EQ(op.mode, c.mode) << c.tool;
    EXPECT_EQ(op.channelMask, c.mask) << c.tool;
  }
}

TEST_F(SculptAppVrTest, MirrorAddsTheMirroredCopy) {
  app_->script.SetNumber(ScriptGlobals::kMirror, 1);
  headset_.poses[kRight] = Matrix4x4::Translation({0.5f, 1.0f, 0.0f});
  // No scene has set a mirror: strokes are mirrored across the grid's middle.
  Frame(1.0f);
  ASSERT_EQ(Records(), 2u);
  EXPECT_NEAR(app_->document.OperationLog()[0].matrix.m[12], 144.0f, 1e-3f);
  EXPECT_NEAR(app_->document.OperationLog()[1].matrix.m[12], 48.0f, 1e-3f);

  // A scene's mirror is used as it is: the copy's matrix is the brush matrix times the mirror.
  app_->mirrorMatrix = Matrix4x4::Scale({-1.0f, 1.0f, 1.0f});
  Frame(1.0f);
  ASSERT_EQ(Records(), 4u);
  const SculptOp& first = app_->document.OperationLog()[2];
  const SculptOp& second = app_->document.OperationLog()[3];
  EXPECT_NEAR(second.matrix.m[12], -first.matrix.m[12], 1e-3f);
  EXPECT_EQ(second.matrix.m[0], -first.matrix.m[0]);
  EXPECT_EQ(second.mode, first.mode);
  EXPECT_EQ(second.radius, first.radius);
}

// A slow frame: the hand moved 20 cm between two frames of one stroke. Stamps a third of the
// radius apart fill the path (each with its mirrored copy), so the line is continuous; a new
// stroke starts from nothing.
TEST_F(SculptAppVrTest, AFarMoveBetweenFramesOfAStrokeFillsThePath) {
  app_->script.SetNumber(ScriptGlobals::kMirror, 1);
  headset_.poses[kRight] = Matrix4x4::Translation({0.1f, 1.0f, 0.0f});
  Frame(1.0f);
  ASSERT_EQ(Records(), 2u);
  headset_.poses[kRight] = Matrix4x4::Translation({0.3f, 1.0f, 0.0f});
  Frame(1.0f);
  const std::vector<SculptOp>& log = app_->document.OperationLog();
  const float radius = log[0].radius;
  ASSERT_GT(Records(), 4u);
  ASSERT_EQ(Records() % 2, 0u);
  float previousX = log[0].matrix.m[12];
  for (size_t i = 2; i < log.size(); i += 2) {
    const float x = log[i].matrix.m[12];
    EXPECT_GT(x, previousX) << "record " << i;
    EXPECT_LE(x - previousX, radius / 3.0f + 1e-3f) << "record " << i;
    EXPECT_NEAR(log[i + 1].matrix.m[12], 192.0f - x, 1e-3f) << "its mirrored copy";
    previousX = x;
  }
  EXPECT_NEAR(previousX, 96.0f + 0.3f * 96.0f, 1e-3f) << "the line ends at this frame's stamp";
  for (float x = 96.0f + 9.6f; x <= 96.0f + 28.8f; x += 1.0f) {
    EXPECT_GT(app_->volume.SampleAt({x, 96, 96}, 0), 0) << "a gap at x = " << x;
  }

  // Let go and press again elsewhere: no line back to the old stroke.
  const size_t before = Records();
  Frame(0.0f);
  headset_.poses[kRight] = Matrix4x4::Translation({-0.3f, 1.0f, 0.0f});
  Frame(1.0f);
  EXPECT_EQ(Records(), before + 2);
}

// A stroke (press to release, its mirrored copies included) is one unit: the left hand's D-pad left
// takes it back whole, right brings it back, and the grid is what the log replays to.
TEST_F(SculptAppVrTest, TheLeftDPadUndoesAndRedoesWholeStrokes) {
  app_->script.SetNumber(ScriptGlobals::kMirror, 1);
  headset_.poses[kRight] = Matrix4x4::Translation({0.5f, 1.0f, 0.0f});
  for (int i = 0; i < 3; ++i) Frame(1.0f);
  Frame(0.0f);
  headset_.poses[kRight] = Matrix4x4::Translation({0.2f, 1.3f, 0.1f});
  for (int i = 0; i < 2; ++i) Frame(1.0f);
  Frame(0.0f);
  ASSERT_EQ(Records(), 10u);
  const Vec3 firstStroke = {144, 96, 96}, secondStroke = {115.2f, 124.8f, 105.6f};
  ASSERT_GT(app_->volume.SampleAt(secondStroke, 0), 0);

  headset_.states[kLeft].buttonsPressedNow = kButtonDPadLeft;
  Frame(0.0f);
  EXPECT_EQ(Records(), 6u);
  EXPECT_EQ(app_->volume.SampleAt(secondStroke, 0), 0);
  EXPECT_GT(app_->volume.SampleAt(firstStroke, 0), 0);
  EXPECT_GT(app_->volume.SampleAt({48, 96, 96}, 0), 0) << "the mirrored copy stays with its stroke";
  headset_.states[kLeft].buttonsPressedNow = kButtonDPadLeft;
  Frame(0.0f);
  EXPECT_EQ(Records(), 0u);
  EXPECT_EQ(app_->volume.SampleAt({48, 96, 96}, 0), 0);
  headset_.states[kLeft].buttonsPressedNow = kButtonDPadRight;
  Frame(0.0f);
  EXPECT_EQ(Records(), 6u);
  EXPECT_GT(app_->volume.SampleAt({48, 96, 96}, 0), 0);
  EXPECT_EQ(Tool(), "Add") << "the left D-pad does not choose tools";
}

TEST_F(SculptAppVrTest, DPadChoosesToolsAndTheLaterOneWins) {
  struct Case {
    uint64_t held;
    const char* tool;
  };
  const Case cases[] = {{kButtonDPadLeft, "Add"},
                        {kButtonDPadRight, "Subtract"},
                        {kButtonDPadDown, "Paint"},
                        {kButtonDPadUp, "Dropper"},
                        {kButtonDPadLeft | kButtonDPadUp, "Dropper"},
                        {kButtonDPadLeft | kButtonDPadRight, "Subtract"}};
  for (const Case& c : cases) {
    app_->script.SetString(ScriptGlobals::kTool, "Buff");
    headset_.states[kRight].buttonsPressed = c.held;
    Frame(0.0f);
    EXPECT_EQ(Tool(), c.tool);
  }
  // The left hand's D-pad chooses nothing.
  app_->script.SetString(ScriptGlobals::kTool, "Buff");
  headset_.states[kRight].buttonsPressed = 0;
  headset_.states[kLeft].buttonsPressed = kButtonDPadUp;
  Frame(0.0f);
  EXPECT_EQ(Tool(), "Buff");
}

TEST_F(SculptAppVrTest, DropperPicksTheColourUnderTheBrushWithoutARecord) {
  app_->script.SetString(ScriptGlobals::kTool, "Dropper");
  Frame(1.0f);
  EXPECT_EQ(Records(), 0u);
  for (const char* name : {ScriptGlobals::kMaterialR, ScriptGlobals::kMaterialG,
                           ScriptGlobals::kMaterialB, ScriptGlobals::kMaterialH,
                           ScriptGlobals::kMaterialS, ScriptGlobals::kMaterialV}) {
    EXPECT_EQ(app_->script.GetNumber(name), 0.0) << name << " over an empty region";
  }

  // A blob of orange (1, 0.5, 0) under the brush.
  SculptOp blob;
  blob.type = kOpSphere;
  blob.matrix = Matrix4x4::Translation({96.0f, 96.0f, 96.0f});
  blob.mode = 2;
  blob.radius = 10.0f;
  blob.red = 1.0f;
  blob.green = 0.5f;
  blob.channelMask = 63;
  app_->document.ApplyOperation(blob);
  Frame(1.0f);
  EXPECT_EQ(Records(), 1u) << "only the blob";
  EXPECT_NEAR(app_->script.GetNumber(ScriptGlobals::kMaterialR), 1.0, 1e-3);
  EXPECT_NEAR(app_->script.GetNumber(ScriptGlobals::kMaterialG), 0.5, 1e-3);
  EXPECT_NEAR(app_->script.GetNumber(ScriptGlobals::kMaterialB), 0.0, 1e-3);
  EXPECT_NEAR(app_->script.GetNumber(ScriptGlobals::kMaterialH), 1.0 / 12.0, 1e-3);
  EXPECT_NEAR(app_->script.GetNumber(ScriptGlobals::kMaterialS), 1.0, 1e-3);
  EXPECT_NEAR(app_->script.GetNumber(ScriptGlobals::kMaterialV), 1.0, 1e-3);
}

TEST_F(SculptAppVrTest, PointerOnThePanelClicksInsteadOfStroking) {
  // The panel lies flat 5 cm above the left hand; the right hand points straight down at it.
  headset_.poses[kLeft] = Matrix4x4::Translation({0.0f, 1.0f, 0.0f});
  headset_.poses[kRight] = RotationX(0.0f, -1.0f) * Matrix4x4::Translation({0.0f, 1.3f, 0.0f});
  Frame(0.0f);
  EXPECT_TRUE(app_->panel.pointerOnPanel);
  Frame(1.0f);
  EXPECT_EQ(Records(), 0u);

  // Once the panel is hidden the same pose strokes.
  app_->TogglePanel();
  app_->panelAnim.startTime -= 1.0;  // the shrinking is over
  Frame(0.0f);
  Frame(1.0f);
  EXPECT_EQ(Records(), 1u);
}

TEST_F(SculptAppVrTest, ReplayTakesPrecedenceOverTheTrigger) {
  SculptOp op;
  op.type = kOpSphere;
  op.matrix = Matrix4x4::Translation({20.0f, 20.0f, 20.0f});
  op.mode = 2;
  op.radius = 3.0f;
  op.channelMask = 1;
  for (int i = 0; i < 3; ++i) app_->document.ApplyOperation(op);
  const std::string path = "sculptures/vr_test_replay.sculpt";
  ASSERT_TRUE(app_->document.SaveSculpture(path));
  app_->document.NewSculpture();
  ASSERT_TRUE(app_->document.LoadSculpture(path, 2));
  std::remove(path.c_str());
  Frame(1.0f);
  EXPECT_EQ(Records(), 2u);
  Frame(1.0f);
  EXPECT_EQ(Records(), 3u);
  for (const SculptOp& applied : app_->document.OperationLog()) {
    EXPECT_EQ(applied.matrix.m[12], 20.0f) << "a stroke slipped into the replay";
  }
  Frame(1.0f);
  EXPECT_EQ(Records(), 4u) << "strokes resume once the queue is empty";
}

// A load at once is meshed whole in the frame that follows, whatever the frame budget, and that
// frame says so once.
TEST_F(SculptAppVrTest, TheFrameAfterALoadAtOnceShowsItWhole) {
  BuildTestScene(app_->document, "materials");
  const std::string path = "sculptures/vr_test_load_shown.sculpt";
  ASSERT_TRUE(app_->document.SaveSculpture(path));
  app_->document.NewSculpture();
  Frame(0.0f);
  ASSERT_TRUE(app_->document.LoadSculpture(path, 0));
  std::remove(path.c_str());
  EXPECT_GE(app_->document.LoadStartSeconds(), 0.0);
  LogCapture log;
  app_->meshingBudgetSeconds = 0.0f;  // an ordinary frame would mesh nothing
  Frame(0.0f);
  EXPECT_EQ(app_->tessellator.DirtyCount(), 0);
  EXPECT_LT(app_->document.LoadStartSeconds(), 0.0) << "shown, and forgotten";
  Frame(0.0f);
  EXPECT_EQ(Occurrences(log.Text(), "Load shown: 513 records applied, meshed and drawn"), 1)
      << log.Text();
}

TEST_F(SculptAppVrTest, LeftMenuButtonTogglesThePanelAndAnInvalidRightHandNeverStrokes) {
  headset_.states[kLeft].buttonsPressedNow = kButtonApplicationMenu;
  headset_.states[kLeft].buttonsPressed = kButtonApplicationMenu;
  Frame(0.0f);
  EXPECT_FALSE(app_->panelVisible);
  Frame(0.0f);  // still held: no second toggle
  EXPECT_FALSE(app_->panelVisible);

  headset_.valid[kRight] = false;
  Frame(1.0f);
  headset_.valid[kRight] = true;
  headset_.states[kRight].triggerAxis = -1;
  Frame(1.0f);
  EXPECT_EQ(Records(), 0u);
}

// Files dropped on the window open as a Load does, but the work no file holds is asked about
// first on the panel: Cancel keeps it, Save writes it back to the file it was opened from (the
// sculpture's own file, not a slot) and then opens the next, Discard drops it. A quit asks the
// same.
TEST_F(SculptAppVrTest, DroppedFilesAndQuitsAskAboutUnsavedWorkFirst) {
  TempDirectory dir;
  const std::string marble = dir.File("marble.sculpt"), materials = dir.File("materials.sculpt");
  BuildTestScene(app_->document, "marble");
  ASSERT_TRUE(app_->document.SaveSculpture(marble, &roots_));
  BuildTestScene(app_->document, "materials");
  ASSERT_TRUE(app_->document.SaveSculpture(materials, &roots_));
  const std::string materialsBytes = dir.ReadFile("materials.sculpt");
  const size_t marbleRecords = TestSceneRecords("marble").size();
  app_->document.NewSculpture();
  Frame(0.0f);
  auto question = [&] { return app_->script.GetString(ScriptGlobals::kQuestion); };
  auto answer = [&](const char* choice) {
    app_->script.SetString(ScriptGlobals::kQuestionAnswer, choice);
    Frame(0.0f);
    EXPECT_EQ(question(), "");
  };
  auto stroke = [&] {
    Frame(1.0f);
    Frame(0.0f);
  };

  // Nothing unsaved: it opens at once.
  app_->OpenDroppedFile(marble);
  Frame(0.0f);
  EXPECT_EQ(question(), "");
  EXPECT_EQ(Records(), marbleRecords);
  EXPECT_EQ(app_->document.FilePath(), marble);

  stroke();
  app_->OpenDroppedFile(materials);
  Frame(0.0f);
  EXPECT_EQ(question(), "Save changes to marble.sculpt?");
  answer("Cancel");
  EXPECT_EQ(Records(), marbleRecords + 1);

  app_->OpenDroppedFile(materials);
  Frame(0.0f);
  EXPECT_EQ(question(), "Save changes to marble.sculpt?");
  answer("Save");
  EXPECT_EQ(app_->document.FilePath(), materials);
  ASSERT_TRUE(app_->document.LoadSculpture(marble, 0, &roots_));
  EXPECT_EQ(Records(), marbleRecords + 1) << "saved back to the file it was opened from";
  ASSERT_TRUE(app_->document.LoadSculpture(materials, 0, &roots_));

  stroke();
  EXPECT_FALSE(app_->ConfirmQuit());
  Frame(0.0f);
  EXPECT_EQ(question(), "Save changes to materials.sculpt?");
  answer("Discard");
  EXPECT_EQ(dir.ReadFile("materials.sculpt"), materialsBytes) << "discarded, not saved";
}

// Reloading the panel script while it asks drops the question and the action it asked about,
// never the work.
TEST_F(SculptAppVrTest, AReloadDuringAQuestionDropsTheQuestionNotTheWork) {
  TempDirectory dir;
  BuildTestScene(app_->document, "marble");
  ASSERT_TRUE(app_->document.SaveSculpture(dir.File("marble.sculpt"), &roots_));
  app_->document.NewSculpture();
  Frame(1.0f);
  Frame(0.0f);
  ASSERT_EQ(Records(), 1u);
  app_->OpenDroppedFile(dir.File("marble.sculpt"));
  Frame(0.0f);
  ASSERT_EQ(app_->script.GetString(ScriptGlobals::kQuestion), "Save changes to slot 1?");
  app_->reloadScript = true;
  Frame(0.0f);
  EXPECT_EQ(app_->script.GetString(ScriptGlobals::kQuestion), "");
  EXPECT_EQ(Records(), 1u);
  EXPECT_TRUE(app_->document.HasUnsavedChanges());
}

// Without a state folder to keep the work in, the panel says so and sculpting goes on.
TEST_F(SculptAppVrTest, AnUnwritableStateFolderIsSaidOnThePanelAndSculptingGoesOn) {
  TempDirectory dir;
  dir.WriteFile("state", "a file where the folder would be");
  app_->Shutdown(gl_.Context());
  app_->autosaveFolder = dir.File("state/loomwork");
  FrameInfo init;
  init.isVR = true;
  init.viewCount = 2;
  init.vrSystem = &headset_;
  LogCapture log;
  app_->Init(gl_.Context(), nullptr, &init);
  Frame(0.0f);
  EXPECT_EQ(app_->script.GetString(ScriptGlobals::kNotice), "No autosave: save your work");
  EXPECT_TRUE(log.Contains("No autosave (")) << log.Text();
  Frame(1.0f);
  Frame(0.0f);
  EXPECT_EQ(Records(), 1u);
  EXPECT_EQ(dir.ReadFile("state"), "a file where the folder would be");
}

TEST(BrushStrokeTest, HsvOfPrimariesGreysAndBlack) {
  struct Case {
    float r, g, b, h, s, v;
  };
  const Case cases[] = {{1, 0, 0, 0, 1, 1},          {0, 1, 0, 1.0f / 3, 1, 1},
                        {0, 0, 1, 2.0f / 3, 1, 1},   {1, 1, 0, 1.0f / 6, 1, 1},
                        {0.5f, 0.5f, 0.5f, 0, 0, 0.5f}, {0, 0, 0, 0, 0, 0},
                        {1, 0, 1, 5.0f / 6, 1, 1}};
  for (const Case& c : cases) {
    const std::array<float, 3> hsv = RgbToHsv(c.r, c.g, c.b);
    EXPECT_NEAR(hsv[0], c.h, 1e-5f) << c.r << " " << c.g << " " << c.b;
    EXPECT_NEAR(hsv[1], c.s, 1e-5f);
    EXPECT_NEAR(hsv[2], c.v, 1e-5f);
  }
}

}  // namespace

namespace {

TEST(StrokeSpacingTest, StampsInBetweenOnlyForMovesPastAThirdOfTheRadiusAndShortOfAJump) {
  struct Case {
    float move;     // samples along x between the two stamps
    size_t added;   // stamps added between them
  };
  // Radius 3: a stamp at least every sample.
  const Case cases[] = {{0.0f, 0}, {0.9f, 0}, {1.0f, 0}, {1.5f, 1}, {10.0f, 9}, {65.0f, 64},
                        {65.5f, 0}, {NAN, 0}};
  for (const Case& c : cases) {
    StrokeSpacing spacing;
    SculptOp first{};
    first.radius = 3.0f;
    first.matrix = Matrix4x4::Translation({10.0f, 20.0f, 30.0f});
    SculptOp second = first;
    second.matrix.m[12] += c.move;
    std::vector<SculptOp> out;
    spacing.Stamp(first, &out);
    ASSERT_EQ(out.size(), 1u);
    out.clear();
    spacing.Stamp(second, &out);
    ASSERT_EQ(out.size(), c.added + 1) << "move " << c.move;
    EXPECT_EQ(std::memcmp(&out.back(), &second, sizeof second), 0) << "the frame's own stamp last";
    for (size_t i = 0; i + 1 < out.size(); ++i) {
      EXPECT_NEAR(out[i].matrix.m[12], 10.0f + c.move * float(i + 1) / float(c.added + 1), 1e-4f);
      EXPECT_EQ(out[i].matrix.m[13], 20.0f);
    }
    // Lifted: the next stamp starts a new stroke.
    spacing.Lift();
    out.clear();
    spacing.Stamp(first, &out);
    EXPECT_EQ(out.size(), 1u);
  }

  // A move counts from the stroke's last stamp, not its first: steps under the spacing add none.
  StrokeSpacing spacing;
  SculptOp op{};
  op.radius = 3.0f;
  op.matrix = Matrix4x4::Translation({10.0f, 20.0f, 30.0f});
  std::vector<SculptOp> out;
  for (int i = 0; i < 5; ++i) {
    op.matrix.m[12] += 0.9f;
    spacing.Stamp(op, &out);
  }
  EXPECT_EQ(out.size(), 5u);
}

}  // namespace

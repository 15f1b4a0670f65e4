// A whole sculpting session in VR: the real program on the simulated headset, driven by a
// timeline. The right hand picks tools with the D-pad and the panel, strokes with every tool,
// picks a colour, mirrors, hides and shows the panel with the menu button and saves through the
// panel; then the saved file's records and the captured eye images are checked.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "base/math_types.h"
#include "tests/support/png_image.h"
#include "tests/support/run_process.h"
#include "tests/support/saved_sculpture.h"
#include "tests/support/temp_directory.h"

namespace {

// The left hand holds the panel pitched up 90 degrees: panel point (u, v) (centimetres, v
// downwards, centred on the hand) lies at the hand + (u, -v, 5) cm, facing the user at +z.
constexpr Vec3 kLeftHand = {-0.55f, 1.35f, 1.5f};
// The clay colour the panel script starts with.
constexpr float kClayGreen = 0.6511f;

// Writes a timeline frame by frame.
class TimelineWriter {
 public:
  void At(int frame, const std::string& commands) {
    text_ += "at " + std::to_string(frame) + "\n" + commands;
  }
  // Points the right hand at panel point (u, v) from 25 cm in front and pulls the trigger for
  // one frame.
  void Click(float u, float v) {
    const Vec3 p = {kLeftHand.x + 0.01f * u, kLeftHand.y - 0.01f * v, kLeftHand.z + 0.05f};
    At(frame_, "aim right " + Xyz({p.x, p.y, p.z + 0.25f}) + " " + Xyz(p) + "\ntrigger right 0\n");
    At(frame_ + 1, "trigger right 1\n");
    At(frame_ + 2, "trigger right 0\n");
    frame_ += 3;
  }
  // Moves the right hand there first, then holds the trigger for `frames` frames.
  void Stroke(Vec3 at, float yaw, int frames) {
    At(frame_, "pose right " + Xyz(at) + " " + std::to_string(yaw) + " 0 0\ntrigger right 0\n");
    At(frame_ + 1, "trigger right 1\n");
    At(frame_ + 1 + frames, "trigger right 0\n");
    frame_ += frames + 2;
  }
  void Press(const std::string& hand, const std::string& button) {
    At(frame_, "press " + hand + " " + button + "\n");
    At(frame_ + 2, "release " + hand + " " + button + "\n");
    frame_ += 3;
  }
  void Wait(int frames, const std::string& commands = "") {
    At(frame_, commands);
    frame_ += frames;
  }
  const std::string& Text() const { return text_; }

 private:
  static std::string Xyz(Vec3 v) {
    return std::to_string(v.x) + " " + std::to_string(v.y) + " " + std::to_string(v.z);
  }
  std::string text_;
  int frame_ = 1;
};

// Pixels inside [x0, x1) x [y0, y1) (fractions of the image) that pass the test.
template <class Test>
int Count(const Image& image, float x0, float x1, float y0, float y1, Test test) {
  int count = 0;
  for (int y = int(y0 * image.height); y < int(y1 * image.height); ++y) {
    for (int x = int(x0 * image.width); x < int(x1 * image.width); ++x) {
      const uint8_t* p = image.At(x, y);
      if (test(int(p[0]), int(p[1]), int(p[2]))) ++count;
    }
  }
  return count;
}

bool Orange(int r, int g, int b) { return r > 170 && g > 70 && g < 170 && b < 60; }
// The panel's selected buttons.
bool PanelGreen(int r, int g, int b) { return g > r + 40 && g > b + 40 && r < 120; }
// The sculpture in its clay or red paint: warm and clearly brighter in red than in blue.
bool Clay(int r, int g, int b) { return r > b + 40 && r > 90; }

// The whole session's timeline; captures go to dir/hidden.png, dir/left.png and dir/right.png.
std::string SessionTimeline(const TempDirectory& temp, const std::string& dir) {
  TimelineWriter t;
  t.At(0, "pose left " + std::to_string(kLeftHand.x) + " " + std::to_string(kLeftHand.y) + " " +
              std::to_string(kLeftHand.z) + " 0 90 0\n");
  // Panel rows (centimetres): tools at v = -24.5 (Add -15 ... Sandpaper 15, 6 apart), shapes at
  // v = -13.5 (Sphere -15, Box -9, Cylinder -3), the colour ring's right edge at (-3.25, 2.5),
  // the size slider from 0.5 to 17.5 at v = -13.5, Save at (13.5, 17), Mirror at (-6.5, 27).
  t.Click(-9, -13.5);                   // Box
  t.Stroke({0.0f, 1.0f, 0.3f}, 30, 3);  // Add, 3 records
  t.Click(-3, -13.5);                   // Cylinder
  t.Stroke({0.3f, 1.0f, 0.3f}, 0, 2);   // Add, 2 records
  t.Click(-15, -13.5);                  // Sphere
  t.Press("right", "dpad_right");       // Subtract
  t.Stroke({0.3f, 1.0f, 0.3f}, 0, 2);   // 2 records
  t.Click(-3.25f, 2.5f);                // red on the colour ring
  t.Press("right", "dpad_down");        // Paint
  t.Stroke({-0.3f, 1.0f, 0.3f}, 0, 2);  // 2 records in red
  t.Press("right", "dpad_up");          // Dropper
  t.Stroke({0.0f, 1.0f, 0.3f}, 0, 2);   // picks the clay of the box: no records
  t.Click(9, -24.5);                    // Buff
  t.Stroke({0.0f, 1.2f, 0.3f}, 0, 1);   // 1 record in clay again
  t.Click(15, -24.5);                   // Sandpaper
  t.Stroke({0.0f, 1.2f, 0.3f}, 0, 1);   // 1 record
  t.Click(-15, -24.5);                  // Add
  t.Click(-6.5f, 27);                   // Mirror on
  t.Click(9, -13.5);                    // the size slider's middle: 0.0775 m
  t.Stroke({0.5f, 1.0f, 0.3f}, 0, 1);   // 2 records: the stroke and its mirror image
  // The panel eases in and out over 0.15 s of wall-clock time, which unpaced frames can pass in
  // a few frames or in many: wait long enough for either.
  t.Press("left", "menu");              // hide the panel
  t.Wait(60);
  t.Wait(12, "capture left " + dir + "/hidden.png" + "\n");
  t.Press("left", "menu");              // show it again
  t.Wait(60);
  t.Click(13.5f, 17);                   // Save
  t.Wait(4, "pose right 0.25 1.2 1.8\n");
  t.Wait(1, "capture left " + dir + "/left.png" + "\ncapture right " +
                dir + "/right.png" + "\n");
  t.Wait(1, "quit\n");
  return t.Text();
}

struct SessionRun {
  ProcessResult process;
  std::string log;
  std::string dir;  // the data root and user data home: loomwork/sculptures/ and the eye captures
};

// Runs the program on the session's timeline with the given headset environment.
SessionRun RunSession(const TempDirectory& temp, const std::string& name,
                      std::vector<std::string> environment) {
  SessionRun run;
  run.dir = temp.Path() + "/" + name;
  temp.MakeDirectory(name);
  temp.WriteFile(name + "/session.timeline", SessionTimeline(temp, run.dir));
  ProcessOptions options;
  options.workingDirectory = LOOMWORK_DATA_DIR;
  environment.insert(environment.end(), {"XDG_DATA_HOME=" + run.dir,
                                         "LOOMWORK_VR_TIMELINE=" + run.dir + "/session.timeline",
                                         "LOOMWORK_VR_UNPACED=1", "LOOMWORK_VR_EYE_SIZE=432x480"});
  options.extraEnvironment = environment;
  run.process = RunProcess(LOOMWORK_PATH, {"--verbose", "--dataroot=" + run.dir}, options);
  run.log = run.process.err + run.process.out;
  return run;
}

// The eyes: the sculpture and the controllers in both, the panel in the left one (on the
// left-hand side); with the panel hidden, none of its green.
void ExpectEyes(const std::string& dir, const std::string& log) {
  const Image left = LoadPng(dir + "/left.png");
  const Image right = LoadPng(dir + "/right.png");
  const Image hidden = LoadPng(dir + "/hidden.png");
  ASSERT_EQ(left.width, 432) << log;
  ASSERT_EQ(right.width, 432) << log;
  ASSERT_EQ(hidden.width, 432) << log;
  for (const Image* eye : {&left, &right}) {
    EXPECT_GT(Count(*eye, 0.3f, 0.8f, 0.3f, 0.7f, Clay), 200) << "no sculpture in view";
    EXPECT_GT(Count(*eye, 0.0f, 1.0f, 0.0f, 1.0f, Orange), 10) << "no controller ring in view";
  }
  EXPECT_GT(Count(left, 0.0f, 0.4f, 0.2f, 0.7f, PanelGreen), 50) << "no panel on the left";
  // (A stray pixel of grass at the horizon may pass for the panel's green.)
  EXPECT_LT(Count(hidden, 0.0f, 0.4f, 0.2f, 0.7f, PanelGreen), 5) << "the panel did not hide";
}

TEST(VrSessionTest, SculptsPaintsPicksMirrorsAndSavesThroughThePanel) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') GTEST_SKIP() << "no X display";
  TempDirectory temp;
  const SessionRun run = RunSession(temp, "simulated", {"LOOMWORK_VR_RUNTIME=simulated"});
  const std::string& log = run.log;
  ASSERT_EQ(run.process.exitCode, 0) << run.process.Describe();
  EXPECT_NE(log.find("Saved sculptures/slot1.sculpt"), std::string::npos) << log;

  std::vector<SculptOp> records;
  std::string error;
  ASSERT_TRUE(ReadSculptureRecords(run.dir + "/loomwork/sculptures/slot1.sculpt", &records, &error))
      << error << "\n" << log;
  struct Expected {
    OpType type;
    int32_t mode;
    uint32_t mask;
  };
  const Expected expected[] = {
      {kOpBox, 2, 63},      {kOpBox, 2, 63},      {kOpBox, 2, 63},       // Add box
      {kOpCylinder, 2, 63}, {kOpCylinder, 2, 63},                         // Add cylinder
      {kOpSphere, 3, 1},    {kOpSphere, 3, 1},                            // Subtract
      {kOpSphere, 1, 62},   {kOpSphere, 1, 62},                           // Paint
      {kOpSphere, 5, 63},                                                 // Buff
      {kOpSphere, 4, 63},                                                 // Sandpaper
      {kOpSphere, 2, 63},   {kOpSphere, 2, 63},                           // Add, mirrored
  };
  ASSERT_EQ(records.size(), std::size(expected)) << log;
  for (size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(records[i].type, expected[i].type) << "record " << i;
    EXPECT_EQ(records[i].mode, expected[i].mode) << "record " << i;
    EXPECT_EQ(records[i].channelMask, expected[i].mask) << "record " << i;
    const float size = i < 11 ? 0.04f : 0.0775f;  // the slider set the last stroke's size
    EXPECT_NEAR(records[i].radius, size * 96.0f, 1e-3f) << "record " << i;
  }
  // Matrices: the first box at world (0, 1, 0.3) is grid (96, 96, 124.8), turned 30 degrees
  // about y with the brush size as scale.
  const Matrix4x4& box = records[0].matrix;
  EXPECT_NEAR(box.m[12], 96.0f, 0.01f);
  EXPECT_NEAR(box.m[13], 96.0f, 0.01f);
  EXPECT_NEAR(box.m[14], 124.8f, 0.01f);
  const float s = 0.04f * 96.0f;
  EXPECT_NEAR(box.m[0], s * std::cos(0.5235988f), 1e-3f);
  EXPECT_NEAR(std::fabs(box.m[2]), s * std::sin(0.5235988f), 1e-3f);
  // Colours: clay, then red paint from the ring, then clay again from the dropper.
  EXPECT_NEAR(records[0].green, kClayGreen, 1e-4f);
  EXPECT_LT(records[7].green, kClayGreen - 0.1f) << "the ring's red did not reach the paint";
  EXPECT_NEAR(records[7].red, records[0].red, 1e-3f);
  EXPECT_NEAR(records[9].green, kClayGreen, 1e-3f) << "the dropper did not pick the clay";
  // The mirror image across the grid's middle.
  EXPECT_NEAR(records[11].matrix.m[12], 144.0f, 0.01f);
  EXPECT_NEAR(records[12].matrix.m[12], 48.0f, 0.01f);
  EXPECT_EQ(records[12].matrix.m[13], records[11].matrix.m[13]);

  ExpectEyes(run.dir, log);

  // The same session through the Khronos loader on the simulated headset's OpenXR runtime, with
  // the core validation layer: the same file, byte for byte, and the same eye pictures.
  const SessionRun xr = RunSession(
      temp, "openxr",
      {"LOOMWORK_VR_RUNTIME=openxr", "XR_RUNTIME_JSON=" LOOMWORK_XR_SIM_MANIFEST,
       "XR_ENABLE_API_LAYERS=XR_APILAYER_LUNARG_core_validation", "XR_LOADER_DEBUG=info"});
  ASSERT_EQ(xr.process.exitCode, 0) << xr.process.Describe();
  EXPECT_NE(xr.log.find("OpenXR runtime: Loomwork simulated headset"), std::string::npos)
      << xr.log;
  EXPECT_NE(xr.log.find("XR_APILAYER_LUNARG_core_validation"), std::string::npos)
      << "the validation layer was not loaded\n" << xr.log;
  EXPECT_EQ(xr.log.find("VUID"), std::string::npos) << xr.log;
  EXPECT_EQ(xr.log.find("Error ["), std::string::npos) << xr.log;
  const std::string saved = FileBytes(run.dir + "/loomwork/sculptures/slot1.sculpt");
  EXPECT_FALSE(saved.empty());
  EXPECT_TRUE(FileBytes(xr.dir + "/loomwork/sculptures/slot1.sculpt") == saved)
      << "the OpenXR session saved another sculpture\n" << xr.log;
  ExpectEyes(xr.dir, xr.log);
}

}  // namespace

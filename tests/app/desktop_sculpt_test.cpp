// Sculpting in the desktop window with the real program and real X input (xdotool): the mouse
// clicks the panel's buttons, strokes onto the surface under the cursor, and saves; a save that
// cannot be written says so and never "Saved". Runs alone on the display (see the build file).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sculpt/sculpture_file.h"
#include "sculpt/test_scenes.h"
#include "tests/support/png_image.h"
#include "tests/support/run_process.h"
#include "tests/support/saved_sculpture.h"
#include "tests/support/temp_directory.h"
#include "tests/support/text_count.h"
#include "tests/support/x_input.h"

namespace {

constexpr const char* kWindow = "Loomwork";
constexpr int kWidth = 1280, kHeight = 720;

struct Pixel {
  int x, y;
};

// Where panel point (u, v) (centimetres, v downwards) shows in the desktop window at the start:
// the panel hangs 1 m in front of the camera, 0.62 m left of the middle, 5 cm towards the
// viewer; the projection is 90 degrees wide.
Pixel PanelPixel(float u, float v) {
  const float x = 0.01f * u - 0.62f, y = -0.01f * v, depth = 0.95f;
  const float aspect = float(kWidth) / float(kHeight);
  return {int((1.0f + x / depth) * 0.5f * kWidth), int((1.0f - y / depth * aspect) * 0.5f * kHeight)};
}

// The program run from the data tree, with its user data and state in `temp`.
ProcessOptions InFolders(const TempDirectory& temp) {
  ProcessOptions options;
  options.workingDirectory = LOOMWORK_DATA_DIR;
  options.extraEnvironment = {"XDG_DATA_HOME=" + temp.Path(),
                              "XDG_STATE_HOME=" + temp.File("state")};
  return options;
}

std::string MoveTo(Pixel p) {
  return "mousemove --window %1 " + std::to_string(p.x) + " " + std::to_string(p.y) + " ";
}

// A tap far shorter than a frame of the software renderer: presses and releases are queued, so
// however slow the frames (a loaded machine), the click is seen where it was made.
std::string Click(Pixel p) { return MoveTo(p) + "click --window %1 1 "; }

TEST(DesktopSculptTest, TheMouseClicksThePanelStrokesOnTheSurfaceAndSaves) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') GTEST_SKIP() << "no X display";
  // The "marble" scene's block fills x and z from -0.5 to 0.5 m and stands 1 m tall; the camera
  // starts at (0, 1, 2) looking along -z. The ray through this pixel meets the block's front
  // face (z = 0.5 m) at half its height; with no surface it would stop 2 m out, at z = 0.
  const Pixel marble = PanelPixel(14.25f, 27.0f), save = PanelPixel(13.5f, 17.0f);
  const Pixel front = {kWidth / 2, 573};
  // The drag is as quick: the stroke still reaches the point where the button is let go.
  const std::string actions = Click(marble) + MoveTo(front) + "mousedown --window %1 1 " +
                              MoveTo({front.x + 30, front.y}) + "mouseup --window %1 1 " +
                              Click(save);

  struct Case {
    const char* name;
    bool writable;  // false: slot 1's file cannot be written
  };
  for (const Case c : {Case{"saves", true}, Case{"cannot save", false}}) {
    SCOPED_TRACE(c.name);
    TempDirectory temp;
    if (!c.writable) {
      // A folder where the slot's file would go: no save can replace it (not even as root).
      temp.MakeDirectory("loomwork");
      temp.MakeDirectory("loomwork/sculptures");
      temp.MakeDirectory("loomwork/sculptures/slot1.sculpt");
    }
    const std::string shot = temp.File("shot.png");
    ProcessOptions options;
    options.workingDirectory = LOOMWORK_DATA_DIR;
    options.extraEnvironment = {"XDG_DATA_HOME=" + temp.Path(), "LOOMWORK_CAPTURE_PNG=" + shot};
    options.triggers = {
        {"Tess time (216 blocks)", [&](int pid) { SendToWindow(pid, kWindow, actions); }},
        {c.writable ? "Saved sculptures/slot1.sculpt" : "Save failed", CloseProcess},
    };
    const ProcessResult result =
        RunProcess(LOOMWORK_PATH, {"--novr", "--verbose", "--dataroot=" + temp.Path()}, options);
    const std::string log = result.err + result.out;
    ASSERT_EQ(result.exitCode, 0) << result.Describe();
    const Image image = LoadPng(shot);
    EXPECT_EQ(image.width, kWidth) << log;
    if (!c.writable) {
      EXPECT_EQ(Occurrences(log, "Save failed: sculptures/slot1.sculpt was not written"), 1) << log;
      EXPECT_EQ(log.find("Saved"), std::string::npos) << log;
      continue;
    }
    EXPECT_EQ(Occurrences(log, "Saved sculptures/slot1.sculpt"), 1) << log;

    std::vector<SculptOp> records;
    std::string error;
    ASSERT_TRUE(ReadSculptureRecords(temp.File("loomwork/sculptures/slot1.sculpt"), &records,
                                     &error))
        << error << "\n" << log;
    // One click, one scene: its clear and its block, then the stroke's stamps.
    ASSERT_GT(records.size(), 3u) << log;
    EXPECT_EQ(records[0].type, kOpClear);
    EXPECT_EQ(records[1].type, kOpBox);
    for (size_t i = 2; i < records.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(records[i].type, kOpSphere);
      EXPECT_EQ(records[i].mode, 2);
      // On the front face (grid z = 144), half way up (grid y = 48), from the middle rightwards.
      EXPECT_NEAR(records[i].matrix.m[14], 144.0f, 1.5f);
      EXPECT_NEAR(records[i].matrix.m[13], 48.0f, 3.0f);
      EXPECT_GE(records[i].matrix.m[12], 95.0f);
    }
    EXPECT_GT(records.back().matrix.m[12], records[2].matrix.m[12] + 2.0f) << "the drag moved";
  }
}

// Quitting with work that no file holds asks on the panel: Cancel keeps the program and the work,
// Discard quits and leaves no autosave, Save writes the slot and quits.
TEST(DesktopSculptTest, QuittingWithUnsavedWorkAsksToSaveDiscardOrCancel) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') GTEST_SKIP() << "no X display";
  const Pixel marble = PanelPixel(14.25f, 27.0f);
  // The question's buttons: Save, Discard, Cancel from the left, 10 cm wide, 11.5 cm apart.
  const Pixel save = PanelPixel(-12.5f, 4.5f), discard = PanelPixel(-1.0f, 4.5f),
              cancel = PanelPixel(10.5f, 4.5f);
  const std::string quit = "key --window %1 ctrl+q ";
  const std::string asked = "Asking: Save changes to slot 1?";
  for (const bool saving : {false, true}) {
    SCOPED_TRACE(saving ? "save" : "discard");
    TempDirectory temp;
    ProcessOptions options = InFolders(temp);
    options.triggers = {
        // A scene is work no file holds.
        {"Tess time (216 blocks)", [&](int pid) { SendToWindow(pid, kWindow, Click(marble)); }},
        {"Autosaved", [&](int pid) { SendToWindow(pid, kWindow, quit); }},
        {asked, [&](int pid) { SendToWindow(pid, kWindow, Click(cancel)); }},
        {"Answered: Cancel", [&](int pid) { SendToWindow(pid, kWindow, quit); }},
        {asked, [&](int pid) { SendToWindow(pid, kWindow, Click(saving ? save : discard)); }},
    };
    const ProcessResult result =
        RunProcess(LOOMWORK_PATH, {"--novr", "--verbose", "--dataroot=" + temp.Path()}, options);
    const std::string log = result.err + result.out;
    ASSERT_EQ(result.exitCode, 0) << result.Describe();
    EXPECT_EQ(Occurrences(log, asked), 2) << log;
    const std::string slot = temp.File("loomwork/sculptures/slot1.sculpt");
    const std::string autosave = temp.File("state/loomwork/autosave.sculpt");
    std::vector<SculptOp> records;
    std::string error;
    if (saving) {
      ASSERT_TRUE(ReadSculptureRecords(slot, &records, &error)) << error << "\n" << log;
      EXPECT_EQ(records.size(), 2u);  // the scene's clear and its block
    } else {
      EXPECT_FALSE(ReadSculptureRecords(slot, &records, &error));
    }
    // Saved or discarded, no unsaved work is left to offer at the next start.
    EXPECT_FALSE(ReadSculptureRecords(autosave, &records, &error)) << log;
  }
}

// New, like Load and the scenes, asks before it drops work no file holds; Discard drops it, and
// then nothing is left to ask about at the quit.
TEST(DesktopSculptTest, NewAsksBeforeDroppingUnsavedWork) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') GTEST_SKIP() << "no X display";
  const Pixel marble = PanelPixel(14.25f, 27.0f), newButton = PanelPixel(-15.5f, 17.0f);
  const Pixel discard = PanelPixel(-1.0f, 4.5f), cancel = PanelPixel(10.5f, 4.5f);
  const std::string asked = "Asking: Save changes to slot 1?";
  TempDirectory temp;
  ProcessOptions options = InFolders(temp);
  options.triggers = {
      {"Tess time (216 blocks)", [&](int pid) { SendToWindow(pid, kWindow, Click(marble)); }},
      {"Autosaved", [&](int pid) { SendToWindow(pid, kWindow, Click(newButton)); }},
      {asked, [&](int pid) { SendToWindow(pid, kWindow, Click(cancel)); }},
      {"Answered: Cancel", [&](int pid) { SendToWindow(pid, kWindow, Click(newButton)); }},
      {asked, [&](int pid) { SendToWindow(pid, kWindow, Click(discard)); }},
      {"Answered: Discard",
       [&](int pid) { SendToWindow(pid, kWindow, "key --window %1 ctrl+q"); }},
  };
  const ProcessResult result =
      RunProcess(LOOMWORK_PATH, {"--novr", "--verbose", "--dataroot=" + temp.Path()}, options);
  const std::string log = result.err + result.out;
  ASSERT_EQ(result.exitCode, 0) << result.Describe();
  EXPECT_EQ(Occurrences(log, asked), 2) << log;
  std::vector<SculptOp> records;
  std::string error;
  EXPECT_FALSE(ReadSculptureRecords(temp.File("state/loomwork/autosave.sculpt"), &records, &error))
      << log;
}

// A sculpture opened from the command line is the document: the panel's Save writes it back, not
// a slot, and the status names it.
TEST(DesktopSculptTest, SaveWritesBackToTheFileOpenedOnTheCommandLine) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') GTEST_SKIP() << "no X display";
  TempDirectory temp;
  const std::vector<SculptOp> marble = TestSceneRecords("marble");
  const std::vector<uint8_t> bytes = SerializeSculpture(marble);
  temp.WriteFile("work.sculpt", std::string(bytes.begin(), bytes.end()));
  const std::string path = temp.File("work.sculpt");
  const Pixel save = PanelPixel(13.5f, 17.0f);
  const Pixel front = {kWidth / 2, 573};
  const std::string stroke = MoveTo(front) + "mousedown --window %1 1 " +
                             MoveTo({front.x + 30, front.y}) + "mouseup --window %1 1 " +
                             Click(save);
  ProcessOptions options = InFolders(temp);
  options.triggers = {
      {"Load shown", [&](int pid) { SendToWindow(pid, kWindow, stroke); }},
      {"Saved " + path, CloseProcess},
  };
  const ProcessResult result = RunProcess(
      LOOMWORK_PATH, {"--novr", "--verbose", "--dataroot=" + temp.Path(), path}, options);
  ASSERT_EQ(result.exitCode, 0) << result.Describe();
  std::vector<SculptOp> saved;
  std::string error;
  ASSERT_TRUE(ReadSculptureRecords(path, &saved, &error)) << error;
  ASSERT_GT(saved.size(), marble.size()) << result.Describe();
  EXPECT_EQ(std::memcmp(saved.data(), marble.data(), marble.size() * sizeof(SculptOp)), 0);
  EXPECT_FALSE(ReadSculptureRecords(temp.File("loomwork/sculptures/slot1.sculpt"), &saved, &error));
}

// Work a program left in its autosave is offered on the panel at the next start; restored, it is
// the document, with the unsaved changes a quit then asks about.
TEST(DesktopSculptTest, LeftWorkIsOfferedOnThePanelAndRestored) {
  const char* display = std::getenv("DISPLAY");
  if (display == nullptr || display[0] == '\0') GTEST_SKIP() << "no X display";
  TempDirectory temp;
  const std::vector<SculptOp> left = TestSceneRecords("marble");
  const std::vector<uint8_t> bytes = SerializeSculpture(left);
  temp.MakeDirectory("state");
  temp.MakeDirectory("state/loomwork");
  temp.WriteFile("state/loomwork/autosave.sculpt", std::string(bytes.begin(), bytes.end()));
  // Two lines of question, then Restore and Keep aside.
  const Pixel restore = PanelPixel(-12.5f, 6.5f), save = PanelPixel(-12.5f, 4.5f);
  ProcessOptions options = InFolders(temp);
  options.triggers = {
      {"Asking: Restore the unsaved sculpture (" + std::to_string(left.size()) + " records, from ",
       [&](int pid) { SendToWindow(pid, kWindow, Click(restore)); }},
      {"Restored the unsaved sculpture", [](int) {}},
      // Kept by the autosave once the frame has taken in the restored work.
      {"Autosaved", [&](int pid) { SendToWindow(pid, kWindow, "key --window %1 ctrl+q"); }},
      {"Asking: Save changes to slot 1?",
       [&](int pid) { SendToWindow(pid, kWindow, Click(save)); }},
  };
  const ProcessResult result =
      RunProcess(LOOMWORK_PATH, {"--novr", "--verbose", "--dataroot=" + temp.Path()}, options);
  ASSERT_EQ(result.exitCode, 0) << result.Describe();
  std::vector<SculptOp> saved;
  std::string error;
  ASSERT_TRUE(ReadSculptureRecords(temp.File("loomwork/sculptures/slot1.sculpt"), &saved, &error))
      << error << "\n" << result.Describe();
  ASSERT_EQ(saved.size(), left.size());
  EXPECT_EQ(std::memcmp(saved.data(), left.data(), left.size() * sizeof(SculptOp)), 0);
  // Saved, nothing is left to offer.
  EXPECT_FALSE(ReadSculptureRecords(temp.File("state/loomwork/autosave.sculpt"), &saved, &error));
}

}  // namespace

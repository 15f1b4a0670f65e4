// Scripted runs: malformed timelines refuse to start with a located message, good ones drive the
// devices frame by frame.
#include <SDL.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <string>

#include "base/log.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_directory.h"
#include "tests/vr/runtime_test_util.h"

namespace vr::sim::testing {
namespace {

SimulatedHeadsetOptions WithTimeline(const std::string& path) {
  SimulatedHeadsetOptions options = Unpaced();
  options.timelinePath = path;
  return options;
}

TEST(SimulatedTimeline, MalformedTimelinesRefuseToStart) {
  struct Case {
    std::string text;
    int line;
    const char* what;
  };
  const Case cases[] = {
      {"jump head\n", 1, "unknown command 'jump'"},
      {"pose foot 0 0 0\n", 1, "unknown device 'foot'"},
      {"pose head 0 0\n", 1, "'pose' takes"},
      {"pose head 0 0 0 10\n", 1, "'pose' takes"},
      {"pose head 0 0 0 1 2 3 4\n", 1, "'pose' takes"},
      {"pose head 0 zero 0\n", 1, "'zero' is not a finite number"},
      {"pose head 0 nan 0\n", 1, "'nan' is not a finite number"},
      {"pose head 0 inf 0\n", 1, "'inf' is not a finite number"},
      {"pose head 1e39 0 0\n", 1, "'1e39' is not a finite number"},
      {"pose head 0x10 0 0\n", 1, "'0x10' is not a finite number"},
      {"pose head 1.5.2 0 0\n", 1, "is not a finite number"},
      {"aim right 0 1 0 0 1 0\n", 1, "own position"},
      {"aim right 0 1 0 0 1\n", 1, "'aim' takes"},
      {"trigger head 1\n", 1, "the head has no trigger"},
      {"trigger left\n", 1, "'trigger' takes"},
      {"press right kick\n", 1, "unknown button 'kick'"},
      {"release left\n", 1, "'release' takes"},
      {"press base menu\n", 1, "unknown device 'base'"},
      {"valid\n", 1, "'valid' takes"},
      {"invalid head left\n", 1, "'invalid' takes"},
      {"capture middle out.png\n", 1, "unknown eye 'middle'"},
      {"capture left a b\n", 1, "'capture' takes"},
      {"quit now\n", 1, "'quit' takes no arguments"},
      {"at 5\nat 3\n", 2, "frame 3 comes after frame 5"},
      {"at -1\n", 1, "not a whole number"},
      {"at 1.5\n", 1, "not a whole number"},
      {"at\n", 1, "'at' takes a frame number"},
      {"at 4000000001\n", 1, "not a whole number"},
      {"at 16777217\nat 16777216\n", 2, "frame 16777216 comes after frame 16777217"},
      {"# a comment\n\n  pose head 1 2 3 # another\r\nbogus\n", 4, "unknown command 'bogus'"},
      {"pose head 0\x01 0 0\n", 1, "control character 0x01"},
      {std::string("pose\0head 0 0 0\n", 16), 1, "control character 0x00"},
      {"pose head " + std::string(5000, '1') + "\n", 1, "longer than 4096 bytes"},
  };
  TempDirectory dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string path = dir.File("bad.txt");
    dir.WriteFile("bad.txt", c.text);
    LogCapture log;
    SimulatedSession session(WithTimeline(path));
    EXPECT_EQ(session.error, VRInitError_Init_InstallationCorrupt);
    EXPECT_EQ(session.token, 0u);
    EXPECT_EQ(ActiveHeadset(), nullptr);
    bool found = false;
    for (const auto& [level, text] : log.Messages()) {
      if (level == int(LogLevel::Error) &&
          text.rfind(path + ":" + std::to_string(c.line) + ": ", 0) == 0 &&
          text.find(c.what) != std::string::npos) {
        found = true;
      }
    }
    EXPECT_TRUE(found);
  }
}

TEST(SimulatedTimeline, EveryBadLineIsReportedAndManyAreCut) {
  TempDirectory dir;
  std::string text = "pose head 0 1 2\n";
  for (int i = 0; i < 30; ++i) {
    text += "bogus\n";
  }
  dir.WriteFile("many.txt", text);
  LogCapture log;
  SimulatedSession session(WithTimeline(dir.File("many.txt")));
  EXPECT_EQ(session.error, VRInitError_Init_InstallationCorrupt);
  EXPECT_TRUE(log.Contains(":2: unknown command"));
  EXPECT_TRUE(log.Contains(":21: unknown command"));
  EXPECT_FALSE(log.Contains(":22: unknown command"));
  EXPECT_TRUE(log.Contains("10 more errors not shown"));
}

TEST(SimulatedTimeline, UnreadableTimelinesAreFilesNotFound) {
  TempDirectory dir;
  dir.MakeDirectory("folder");
  // A FIFO nobody writes would block the open itself: refused without waiting.
  ASSERT_EQ(mkfifo(dir.File("fifo").c_str(), 0600), 0);
  for (const std::string& path : {dir.File("missing.txt"), dir.File("folder"), dir.File("fifo")}) {
    SCOPED_TRACE(path);
    LogCapture log;
    SimulatedSession session(WithTimeline(path));
    EXPECT_EQ(session.error, VRInitError_Init_FileNotFound);
    EXPECT_STREQ(VR_GetVRInitErrorAsEnglishDescription(session.error), "File Not Found (103)");
    EXPECT_TRUE(log.Contains(path + ":0: cannot"));
  }
}

TEST(SimulatedTimeline, CommandsApplyFrameByFrameAndPersist) {
  TempDirectory dir;
  dir.WriteFile("run.txt",
                "\xEF\xBB\xBF# frame 0 applies at start\n"
                "pose head 0 1.6 2\n"
                "at 1\n"
                "pose right 0.1 1.2 1.5\n"
                "trigger right 0.5\n"
                "press right menu\n"
                "invalid left\n"
                "at 3\n"
                "release right menu\n"
                "trigger right 2\n"
                "valid left\n"
                "press left grip\n"
                "\tpress  left\tdpad_down   # tabs and runs of spaces separate too\n"
                "at 3\n"
                "aim left 0 1 1 1 1 1\n");
  SimulatedSession session(WithTimeline(dir.File("run.txt")));
  ASSERT_EQ(session.error, VRInitError_None);
  SimulatedHeadset* headset = session.Headset();
  IVRSystem* system = session.System();
  EXPECT_TRUE(headset->TimelineActive());
  EXPECT_TRUE(Near(Position(headset->DevicePose(0)), {0, 1.6f, 2}, 1e-6f));

  const auto state = [&](TrackedDeviceIndex_t index) {
    VRControllerState_t s{};
    EXPECT_TRUE(system->GetControllerState(index, &s, sizeof(s)));
    return s;
  };
  const HmdMatrix34_t leftAtStart = headset->DevicePose(1);
  EXPECT_EQ(state(2).ulButtonPressed, 0u);
  TrackedDevicePose_t poses[k_unMaxTrackedDeviceCount];
  for (int frame = 1; frame <= 4; ++frame) {
    SCOPED_TRACE(frame);
    session.NextFrame(poses);
    EXPECT_EQ(headset->FrameIndex(), uint64_t(frame));
    const VRControllerState_t right = state(2), left = state(1);
    EXPECT_TRUE(Near(Position(poses[0].mDeviceToAbsoluteTracking), {0, 1.6f, 2}, 1e-6f));
    EXPECT_TRUE(Near(Position(poses[2].mDeviceToAbsoluteTracking), {0.1f, 1.2f, 1.5f}, 1e-6f));
    EXPECT_TRUE(Near(Forward(poses[2].mDeviceToAbsoluteTracking), {0, 0, -1}, 1e-6f));
    if (frame < 3) {
      EXPECT_EQ(right.rAxis[1].x, 0.5f);
      EXPECT_EQ(right.ulButtonPressed, ButtonMaskFromId(k_EButton_ApplicationMenu));
      EXPECT_EQ(right.ulButtonTouched, ButtonMaskFromId(k_EButton_Axis1));
      EXPECT_FALSE(poses[1].bPoseIsValid);
      EXPECT_EQ(left.ulButtonPressed, 0u);
      EXPECT_EQ(std::memcmp(&poses[1].mDeviceToAbsoluteTracking, &leftAtStart,
                            sizeof(leftAtStart)),
                0);
    } else {
      EXPECT_EQ(right.rAxis[1].x, 1.0f);
      EXPECT_EQ(right.ulButtonPressed, 0u);
      EXPECT_TRUE(poses[1].bPoseIsValid);
      EXPECT_EQ(left.ulButtonPressed,
                ButtonMaskFromId(k_EButton_Grip) | ButtonMaskFromId(k_EButton_DPad_Down));
      const HmdMatrix34_t& aimed = poses[1].mDeviceToAbsoluteTracking;
      EXPECT_TRUE(Near(Position(aimed), {0, 1, 1}, 1e-6f));
      EXPECT_TRUE(Near(Forward(aimed), {1, 0, 0}, 1e-6f));
      EXPECT_TRUE(Near(Column(aimed, 0), {0, 0, 1}, 1e-6f));
      EXPECT_TRUE(Near(Column(aimed, 1), {0, 1, 0}, 1e-6f));
    }
  }
}

// Orientation conventions: roll first, then pitch, then yaw, all right-handed; aim keeps x level.
TEST(SimulatedTimeline, PoseAnglesAndAimOrientDevices) {
  const float s30 = 0.5f, c30 = std::sqrt(3.0f) / 2.0f;
  struct Case {
    const char* command;
    Vec3 forward;
    Vec3 x;
  };
  const Case cases[] = {
      {"pose right 0 1 0", {0, 0, -1}, {1, 0, 0}},
      {"pose right 0 1 0 90 0 0", {-1, 0, 0}, {0, 0, -1}},
      {"pose right 0 1 0 180 0 0", {0, 0, 1}, {-1, 0, 0}},
      {"pose right 0 1 0 0 30 0", {0, s30, -c30}, {1, 0, 0}},
      {"pose right 0 1 0 0 -30 0", {0, -s30, -c30}, {1, 0, 0}},
      {"pose right 0 1 0 0 0 90", {0, 0, -1}, {0, 1, 0}},
      {"pose right 0 1 0 90 30 0", {-c30, s30, 0}, {0, 0, -1}},
      {"pose right 0 1 0 90 0 90", {-1, 0, 0}, {0, 1, 0}},
      {"pose right 0 1 0 +90 0 0", {-1, 0, 0}, {0, 0, -1}},
      {"aim right 0 1 0 0 2 -1", {0, 0.70710678f, -0.70710678f}, {1, 0, 0}},
      {"aim right 0 1 0 -3 1 0", {-1, 0, 0}, {0, 0, -1}},
      {"aim right 0 1 0 0 5 0", {0, 1, 0}, {1, 0, 0}},  // straight up keeps x at world x
  };
  TempDirectory dir;
  std::string text;
  for (size_t i = 0; i < std::size(cases); ++i) {
    text += "at " + std::to_string(i + 1) + "\n" + cases[i].command + "\n";
  }
  dir.WriteFile("angles.txt", text);
  SimulatedSession session(WithTimeline(dir.File("angles.txt")));
  ASSERT_EQ(session.error, VRInitError_None);
  TrackedDevicePose_t poses[k_unMaxTrackedDeviceCount];
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command);
    session.NextFrame(poses);
    const HmdMatrix34_t& m = poses[2].mDeviceToAbsoluteTracking;
    EXPECT_TRUE(Near(Forward(m), c.forward, 1e-5f));
    EXPECT_TRUE(Near(Column(m, 0), c.x, 1e-5f));
    // A proper rotation: y = z x x.
    EXPECT_TRUE(Near(Column(m, 1), Cross(Column(m, 2), Column(m, 0)), 1e-5f));
    EXPECT_TRUE(Near(Position(m), {0, 1, 0}, 1e-6f));
  }
}

TEST(SimulatedTimeline, QuitPostsAnSdlQuitEventInItsFrame) {
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_EVENTS), 0) << SDL_GetError();
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  TempDirectory dir;
  dir.WriteFile("quit.txt", "at 2\nquit\n");
  {
    SimulatedSession session(WithTimeline(dir.File("quit.txt")));
    ASSERT_EQ(session.error, VRInitError_None);
    const auto quitQueued = [] {
      SDL_PumpEvents();
      return SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_QUIT, SDL_QUIT) > 0;
    };
    TrackedDevicePose_t poses[k_unMaxTrackedDeviceCount];
    session.NextFrame(poses);
    EXPECT_FALSE(quitQueued());
    EXPECT_EQ(session.Headset()->QuitRequests(), 0u);
    session.NextFrame(poses);
    EXPECT_TRUE(quitQueued());
    EXPECT_EQ(session.Headset()->QuitRequests(), 1u);
    session.NextFrame(poses);
    EXPECT_EQ(session.Headset()->QuitRequests(), 1u);  // commands run once
  }
  SDL_FlushEvents(SDL_FIRSTEVENT, SDL_LASTEVENT);
  SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

}  // namespace
}  // namespace vr::sim::testing

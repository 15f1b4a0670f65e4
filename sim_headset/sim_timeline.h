#pragma once
// Scripted runs of the simulated headset: a text file of commands grouped by the frame they
// apply to. Frame 0 is applied when the headset starts, frame N by the N-th WaitGetPoses.
//
//   # comment                     blank lines and everything after '#' are ignored
//   at N                          the following commands belong to frame N (N never decreases)
//   pose DEVICE x y z [yaw pitch roll]     DEVICE: head, left, right; degrees
//   aim DEVICE x y z tx ty tz     forward (-z) towards the target, x horizontal
//   trigger HAND value            HAND: left, right; clamped to 0..1
//   press HAND BUTTON / release HAND BUTTON
//                                 BUTTON: menu, dpad_left, dpad_up, dpad_right, dpad_down, grip,
//                                 system, trackpad
//   valid DEVICE / invalid DEVICE pose validity from then on
//   capture left|right PATH       write that eye's image submitted in this frame as PNG
//   quit                          close the application as if its window was closed
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim_headset/sim_pose.h"
#include "vr_api/openvr_api.h"

namespace vr::sim {

struct TimelineCommand {
  enum class Kind : uint8_t { Pose, Trigger, Press, Release, Valid, Invalid, Capture, Quit };
  uint64_t frame = 0;
  int line = 0;
  Kind kind = Kind::Quit;
  TrackedDeviceIndex_t device = 0;
  SimPose pose;                         // Pose
  float value = 0.0f;                   // Trigger, already clamped
  EVRButtonId button = k_EButton_System;  // Press, Release
  EVREye eye = Eye_Left;                // Capture
  std::string path;                     // Capture
};

// Commands in file order, so frames never decrease along the list.
struct Timeline {
  std::string path;
  std::vector<TimelineCommand> commands;
};

enum class TimelineStatus { Ok, Unreadable, Malformed };

// Every problem is logged as "<path>:<line>: <what is wrong>"; out is filled only on success.
TimelineStatus LoadTimeline(const std::string& path, Timeline* out);
TimelineStatus ParseTimeline(std::string_view text, const std::string& path, Timeline* out);

// The button that a timeline name stands for; false for unknown names.
bool ButtonFromName(std::string_view name, EVRButtonId* button);

}  // namespace vr::sim

#include "app/hand_input.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "app/brush_stroke.h"
#include "app/controls.h"
#include "app/grid_placement.h"
#include "app/orbit_camera.h"
#include "app/surface_pick.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/stamp_mode.h"
#include "sculpt/voxel_grid.h"
#include "ui/panel_ui.h"
#include "ui/script_globals.h"
#include "ui/script_host.h"
#include "vr/vr_system.h"

namespace {

// Windows virtual-key code of Shift, as the controls store it.
constexpr int kKeyShift = 16;
// A right-button press that moved less than this (pixels, both axes added) is a click.
constexpr float kClickSlopPixels = 5.0f;
// A trigger pulled past this strokes; anything below is a resting finger.
constexpr float kStrokeThreshold = 0.05f;

}  // namespace

std::array<float, 5> MaterialFromScript(ScriptHost& script) {
  return {float(script.GetNumber(ScriptGlobals::kMaterialR)),
          float(script.GetNumber(ScriptGlobals::kMaterialG)),
          float(script.GetNumber(ScriptGlobals::kMaterialB)),
          float(script.GetNumber(ScriptGlobals::kMaterialRoughness)),
          float(script.GetNumber(ScriptGlobals::kMaterialMetalness))};
}

HandInput::HandInput(Parts parts) : parts_(std::move(parts)) {}

void HandInput::ReadFrame(const FrameInfo* info, bool desktop, const HandSpace& space,
                          std::vector<SculptOp>& frameOps) {
  // Without a headset's controllers or the desktop's mouse nothing strokes and no preview is
  // drawn.
  poses_ = HandPoses{};
  if (info->vrSystem != nullptr) {
    ReadControllers(info->vrSystem, space, frameOps);
    poses_.pointer = poses_.right;
    poses_.pointerValid = poses_.rightValid;
    poses_.pointerTrigger = poses_.rightTrigger;
  } else if (desktop) {
    ReadDesktopBrush(info, space, frameOps);
  }
}

void HandInput::ReadMouse(const Controls& controls) {
  const int32_t dx = mouseX_ >= 0 ? controls.mouseX - mouseX_ : 0;
  const int32_t dy = mouseY_ >= 0 ? controls.mouseY - mouseY_ : 0;
  mouseX_ = controls.mouseX;
  mouseY_ = controls.mouseY;
  mouseInside_ = mouseX_ >= 0 && mouseY_ >= 0;
  const uint32_t held = controls.mouseButtons;
  const bool shift = controls.keyDown[kKeyShift] != 0;
  // Right drag orbits (with Shift it pans); a right click that hardly moved shows or hides the
  // panel, as it always did. The middle button pans.
  if ((controls.mousePressed & Controls::kMouseRight) != 0) rightDrag_ = 0.0f;
  if ((held & Controls::kMouseRight) != 0) {
    rightDrag_ += float(std::abs(dx) + std::abs(dy));
    if (shift) {
      parts_.orbit->Pan(float(dx), float(dy), viewHeight_, desktopProjectionScale_[1]);
    } else {
      parts_.orbit->Orbit(float(dx), float(dy));
    }
  }
  if ((controls.mouseReleased & Controls::kMouseRight) != 0 && rightDrag_ < kClickSlopPixels) {
    parts_.togglePanel();
  }
  if ((held & Controls::kMouseMiddle) != 0) {
    parts_.orbit->Pan(float(dx), float(dy), viewHeight_, desktopProjectionScale_[1]);
  }
  parts_.orbit->Zoom(controls.wheel);
  if (controls.keyPressed['F'] != 0) parts_.orbit->FrameVolume();
  // The left button strokes unless it went down on the panel, where it clicks.
  if ((controls.mousePressed & Controls::kMouseLeft) != 0) {
    strokeAllowed_ = !parts_.panel->pointerOnPanel;
  }
  leftHeld_ = (held & Controls::kMouseLeft) != 0;
  if (!leftHeld_) strokeAllowed_ = false;
}

void HandInput::ReadControllers(VRSystem* system, const HandSpace& space,
                                std::vector<SculptOp>& frameOps) {
  const uint32_t count = std::min(system->GetDeviceCount(), VRSystem::kDeviceCount);
  for (uint32_t index = 0; index < count; ++index) {
    if (system->GetDeviceKind(index) != DeviceKind::Controller) {
      continue;
    }
    const ControllerState* state = system->GetControllerState(index);
    Matrix4x4 pose;
    const bool valid = system->GetDevicePose(index, &pose);
    const Matrix4x4 worldPose = pose * space.trackingToWorld;
    const float trigger = state->triggerAxis >= 0 && state->triggerAxis <= 4
                              ? state->axes[state->triggerAxis].x
                              : 0.0f;
    if (state->role == kRoleLeftHand) {
      poses_.left = worldPose;
      poses_.leftValid = valid;
      if ((state->buttonsPressedNow & kButtonApplicationMenu) != 0) {
        parts_.togglePanel();
      }
      // The left trackpad or thumbstick: left undoes, right redoes.
      if ((state->buttonsPressedNow & kButtonDPadLeft) != 0) parts_.document->Undo();
      if ((state->buttonsPressedNow & kButtonDPadRight) != 0) parts_.document->Redo();
      continue;
    }
    if (state->role != kRoleRightHand) {
      continue;
    }
    // A later one wins when several are held.
    const uint64_t held = state->buttonsPressed;
    if ((held & kButtonDPadLeft) != 0) parts_.script->SetString(ScriptGlobals::kTool, "Add");
    if ((held & kButtonDPadRight) != 0) parts_.script->SetString(ScriptGlobals::kTool, "Subtract");
    if ((held & kButtonDPadDown) != 0) parts_.script->SetString(ScriptGlobals::kTool, "Paint");
    if ((held & kButtonDPadUp) != 0) parts_.script->SetString(ScriptGlobals::kTool, "Dropper");
    StrokeWithRightHand(worldPose, valid, trigger, space, frameOps);
  }
}

void HandInput::ReadDesktopBrush(const FrameInfo* info, const HandSpace& space,
                                 std::vector<SculptOp>& frameOps) {
  desktopProjectionScale_[0] = info->eyeProjection[0].m[0];
  desktopProjectionScale_[1] = info->eyeProjection[0].m[5];
  viewHeight_ = float(info->height);
  if (!mouseInside_ || info->width == 0 || info->height == 0 ||
      !(desktopProjectionScale_[0] > 0.0f) || !(desktopProjectionScale_[1] > 0.0f)) {
    strokeSpacing_.Lift();
    return;
  }
  Vec3 origin, direction;
  parts_.orbit->Ray(float(mouseX_), float(mouseY_), float(info->width), float(info->height),
            desktopProjectionScale_[0], desktopProjectionScale_[1], &origin, &direction);
  poses_.pointer = PoseLookingAlong(origin, direction);
  poses_.pointerValid = true;
  poses_.pointerTrigger = leftHeld_ ? 1.0f : 0.0f;

  // The brush sits on the surface under the mouse, facing the camera; where the ray meets no
  // surface, at the target's distance. A stroke keeps the distance it started at: following the
  // surface it is raising would pile each stamp onto the last, towards the camera.
  float depth = strokeDepth_;
  if (!(depth > 0.0f)) {
    depth = parts_.orbit->distance;
    Vec3 hit;
    const Vec3 gridOrigin = TransformPoint(space.worldToGrid, origin);
    const Vec3 gridDirection = direction * kSamplesPerMetre;
    if (FirstSolidAlongRay(*parts_.volume, gridOrigin, gridDirection, &hit)) {
      depth = Length(TransformPoint(space.gridToWorld, hit) - origin);
    }
  }
  strokeDepth_ = strokeAllowed_ ? depth : -1.0f;
  const Vec3 at = origin + direction * depth;
  Matrix4x4 brush = parts_.orbit->CameraToWorld();
  brush.m[12] = at.x;
  brush.m[13] = at.y;
  brush.m[14] = at.z;
  poses_.right = brush;
  poses_.rightValid = true;
  poses_.rightTrigger = strokeAllowed_ ? 1.0f : 0.0f;
  StrokeWithRightHand(brush, true, poses_.rightTrigger, space, frameOps);
}

void HandInput::StrokeWithRightHand(const Matrix4x4& worldPose, bool valid, float trigger,
                                    const HandSpace& space, std::vector<SculptOp>& frameOps) {
  poses_.right = worldPose;
  poses_.rightValid = valid;
  poses_.rightTrigger = trigger;
  // The pointer on the panel (as the previous view left it) clicks instead of stroking.
  if (!valid || parts_.panel->pointerOnPanel || !(trigger > kStrokeThreshold)) {
    strokeSpacing_.Lift();
    return;
  }
  const std::string tool = parts_.script->GetString(ScriptGlobals::kTool);
  const float drawSize = float(parts_.script->GetNumber(ScriptGlobals::kDrawSize));
  const Matrix4x4 brushMatrix =
      Matrix4x4::Scale({drawSize, drawSize, drawSize}) * worldPose * space.worldToGrid;
  if (ToolIndexFromName(tool) == kToolDropper) {
    strokeSpacing_.Lift();
    PickColour(brushMatrix);
    return;
  }
  const std::string shape = parts_.script->GetString(ScriptGlobals::kToolShape);
  const SculptOp op = BrushRecord(tool, shape, brushMatrix, drawSize * kSamplesPerMetre,
                                  MaterialFromScript(*parts_.script));
  std::vector<SculptOp> stamps;
  strokeSpacing_.Stamp(op, &stamps);
  for (const SculptOp& stamp : stamps) {
    frameOps.push_back(stamp);
    if (space.mirrorEnabled) {
      SculptOp mirrored = stamp;
      mirrored.matrix = stamp.matrix * space.mirrorMatrix;
      frameOps.push_back(mirrored);
    }
  }
}

void HandInput::PickColour(const Matrix4x4& brushMatrix) {
  const Vec3 centre = {brushMatrix.m[12], brushMatrix.m[13], brushMatrix.m[14]};
  const float r = float(parts_.volume->SampleAt(centre, 1)) / 32767.0f;
  const float g = float(parts_.volume->SampleAt(centre, 2)) / 32767.0f;
  const float b = float(parts_.volume->SampleAt(centre, 3)) / 32767.0f;
  parts_.script->SetNumber(ScriptGlobals::kMaterialR, r);
  parts_.script->SetNumber(ScriptGlobals::kMaterialG, g);
  parts_.script->SetNumber(ScriptGlobals::kMaterialB, b);
  const std::array<float, 3> hsv = RgbToHsv(r, g, b);
  parts_.script->SetNumber(ScriptGlobals::kMaterialH, hsv[0]);
  parts_.script->SetNumber(ScriptGlobals::kMaterialS, hsv[1]);
  parts_.script->SetNumber(ScriptGlobals::kMaterialV, hsv[2]);
}

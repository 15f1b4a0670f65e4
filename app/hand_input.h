#pragma once
// Reading the hands each frame: the controllers of a headset, or the mouse and the desktop camera
// in the window. The right hand strokes (or picks a colour with the dropper), the left carries the
// panel; what they do becomes this frame's records and poses.
#include <array>
#include <cstdint>
#include <functional>
#include <vector>

#include "app/hand_poses.h"
#include "app/stroke_spacing.h"
#include "application/application.h"
#include "base/math_types.h"
#include "sculpt/sculpt_op.h"

class Controls;
class OrbitCamera;
class PanelUI;
class ScriptHost;
class SculptDocument;
class VRSystem;
class VoxelGrid;

// Where the hands act this frame: the grid's place in the world, the tracking space's, and the
// mirror that doubles strokes.
struct HandSpace {
  Matrix4x4 gridToWorld;
  Matrix4x4 worldToGrid;
  Matrix4x4 trackingToWorld;
  bool mirrorEnabled = false;
  Matrix4x4 mirrorMatrix;
};

// (red, green, blue, roughness, metalness) from the script globals.
std::array<float, 5> MaterialFromScript(ScriptHost& script);

class HandInput {
 public:
  struct Parts {
    ScriptHost* script;          // the tool, shape, size and material; the dropper's pick
    SculptDocument* document;    // undo and redo from the left controller
    const VoxelGrid* volume;     // what the dropper picks and the mouse's ray meets
    const PanelUI* panel;        // a press on the panel clicks it instead of stroking
    OrbitCamera* orbit;          // the desktop camera the mouse moves
    std::function<void()> togglePanel;
  };
  explicit HandInput(Parts parts);

  // The desktop's mouse, before the frame: right drag orbits (with Shift it pans), a right
  // click shows or hides the panel, the middle button pans, the wheel zooms, F frames the
  // volume; the left button strokes unless it went down on the panel.
  void ReadMouse(const Controls& controls);
  // This frame's hands: from the headset's controllers when there is one, else (desktop) from
  // the mouse's ray. Records go to frameOps.
  void ReadFrame(const FrameInfo* info, bool desktop, const HandSpace& space,
                 std::vector<SculptOp>& frameOps);
  const HandPoses& Poses() const { return poses_; }

 private:
  void ReadControllers(VRSystem* system, const HandSpace& space,
                       std::vector<SculptOp>& frameOps);
  // The mouse points at the panel along the camera's ray and puts the brush on the surface under
  // it (or at the target's distance where the ray meets none).
  void ReadDesktopBrush(const FrameInfo* info, const HandSpace& space,
                        std::vector<SculptOp>& frameOps);
  // The right hand's stamp for this frame (or its colour pick with the dropper).
  void StrokeWithRightHand(const Matrix4x4& worldPose, bool valid, float trigger,
                           const HandSpace& space, std::vector<SculptOp>& frameOps);
  void PickColour(const Matrix4x4& brushMatrix);

  Parts parts_;
  HandPoses poses_;
  StrokeSpacing strokeSpacing_;
  // The desktop's mouse: position, the left button held for strokes (only when it was pressed
  // off the panel), and the right button's drag so far (a short one is a click).
  int32_t mouseX_ = -1, mouseY_ = -1;
  bool mouseInside_ = false;
  bool leftHeld_ = false;
  bool strokeAllowed_ = false;
  float rightDrag_ = 0.0f;
  float strokeDepth_ = -1.0f;  // metres from the eye while a desktop stroke goes on
  // The desktop projection's horizontal and vertical scales and the view's height, for rays and
  // pans.
  float desktopProjectionScale_[2] = {1.0f, 1.0f};
  float viewHeight_ = 720.0f;
};

#pragma once
// The desktop window's camera: it circles a target point (the sculpture's middle to begin with)
// at a distance, turned by yaw about the vertical and pitch above or below the horizon. Mouse
// drags orbit and pan, the wheel zooms, and the frame key brings the whole working volume into
// view. Matrices are row-vector (v' = v x M), as everywhere in the program.
#include "base/math_types.h"

class OrbitCamera {
 public:
  // The start: 2 m in front of the sculpture's middle, level, as the window always began.
  Vec3 target{0.0f, 1.0f, 0.0f};
  float yaw = 0.0f;    // radians; 0 looks along -z
  float pitch = 0.0f;  // radians; positive looks down on the target
  float distance = 2.0f;

  Vec3 Eye() const;
  // Camera to world: its rows are the camera's right, up and back axes, then the eye.
  Matrix4x4 CameraToWorld() const;
  // World to camera, rotation only (the eye's translation is applied separately).
  Matrix4x4 Rotation() const;

  // Pixels dragged with the orbit button: 0.3 degrees each; pitch stays short of the poles.
  void Orbit(float dx, float dy);
  // Pixels dragged with the pan button: the target moves in the view plane, a pixel at the
  // target's distance per pixel for a view of the given height and vertical scale (projection
  // m[5]).
  void Pan(float dx, float dy, float viewHeight, float verticalScale);
  // Wheel notches, positive away from the user: each brings the camera a tenth closer.
  void Zoom(float notches);
  // The 2 m cube of the sculpture, whole, from the front and a little above.
  void FrameVolume();

  // The ray through window pixel (x, y) of a width x height view with the given projection's
  // scales (m[0], m[5]); direction normalised.
  void Ray(float x, float y, float width, float height, float horizontalScale,
           float verticalScale, Vec3* origin, Vec3* direction) const;
};

// A pose (rows: right, up, back, position) at origin whose -z axis points along direction.
Matrix4x4 PoseLookingAlong(Vec3 origin, Vec3 direction);

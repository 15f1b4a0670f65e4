#pragma once
// The listener follows the view the frame is drawn from, so sounds stay put in the world while
// the head (or the desktop camera) moves.
#include "base/math_types.h"

namespace Audio {

class Mixer3D;

// The frame's view matrix: translation by -cameraOffset, then headView (in the row-vector
// convention, that product in that order). Hands it to the mixer as its world-to-head listener
// transform and returns it, so the frame's scene constants use the very same matrix.
// Call once per frame on the frame thread.
Matrix4x4 SetListenerFromView(Mixer3D& mixer, Vec3 cameraOffset, const Matrix4x4& headView);

}  // namespace Audio

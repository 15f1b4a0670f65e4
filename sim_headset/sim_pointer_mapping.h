#pragma once
// Mouse mode: the right hand follows the mouse through the companion window. The window shows
// the left eye in its left half and the right eye in its right half when it is wider than 1.5
// times its height, otherwise the left eye over the whole window. The hand sits on the ray from
// the eye under the mouse through the mouse point, at the brush reach, pointing along the ray;
// it stops in front of the tool panel held by the left hand, so its pointer lands on the panel.
#include "base/math_types.h"
#include "vr_api/openvr_api.h"

namespace vr::sim {

constexpr float kDefaultReach = 1.9f;
constexpr float kMinReach = 0.2f;
constexpr float kMaxReach = 4.0f;
// The application hangs its tool panel 5 cm along the left hand's y axis; the panel plane has
// that axis as its normal.
constexpr float kPanelOffset = 0.05f;
constexpr float kPanelCatchRadius = 0.45f;  // around the left hand: covers the 38 x 62 cm panel
constexpr float kPanelStandOff = 0.1f;      // the right hand stops this far in front of it

// R and F move the brush out and in at this speed while held, in metres per second (a mouse
// wheel's notch or two each tenth of a second).
constexpr float kReachSpeed = 0.75f;

// The reach after R (steps +1) or F (-1) was held for `seconds` (cut to a tenth of a second, so a
// stalled frame cannot fling it): never nearer than the panel the left hand holds, never beyond
// the far side of the sculpture's volume (the 2 m cube standing on the origin).
float NextReach(float reach, int steps, float seconds, const HmdMatrix34_t& head,
                const HmdMatrix34_t& leftHand);

struct DesktopPointer {
  float x = 0.0f, y = 0.0f;  // window coordinates, y down
  int windowWidth = 0, windowHeight = 0;
};

struct EyeOptics {
  HmdMatrix44_t projection;  // as GetProjectionMatrix returns it
  HmdMatrix34_t eyeToHead;
};

struct PointerRay {
  EVREye eye = Eye_Left;
  Vec3 origin;
  Vec3 direction;  // unit
};

struct HandPlacement {
  HmdMatrix34_t pose;
  bool atPanel = false;
};

// False for an empty window or a degenerate projection.
bool PointerRayFromWindow(const DesktopPointer& pointer, const HmdMatrix34_t& head,
                          const EyeOptics eyes[2], PointerRay* ray);
bool RightHandFromPointer(const DesktopPointer& pointer, const HmdMatrix34_t& head,
                          const EyeOptics eyes[2], float reach, const HmdMatrix34_t& leftHand,
                          HandPlacement* placement);

}  // namespace vr::sim

#include "sim_headset/sim_pointer_mapping.h"

#include <algorithm>
#include <cmath>

#include "sim_headset/sim_pose.h"

namespace vr::sim {

bool PointerRayFromWindow(const DesktopPointer& pointer, const HmdMatrix34_t& head,
                          const EyeOptics eyes[2], PointerRay* ray) {
  if (pointer.windowWidth <= 0 || pointer.windowHeight <= 0 || !std::isfinite(pointer.x) ||
      !std::isfinite(pointer.y)) {
    return false;
  }
  const float width = float(pointer.windowWidth), height = float(pointer.windowHeight);
  const float x = std::clamp(pointer.x, 0.0f, width);
  const float y = std::clamp(pointer.y, 0.0f, height);
  const bool sideBySide = width > 1.5f * height;
  const float eyeWidth = sideBySide ? 0.5f * width : width;
  const EVREye eye = sideBySide && x >= eyeWidth ? Eye_Right : Eye_Left;
  const float u = (x - (eye == Eye_Right ? eyeWidth : 0.0f)) / eyeWidth;
  const float ndcX = 2.0f * u - 1.0f;
  const float ndcY = 1.0f - 2.0f * (y / height);

  // The view-space point at z = -1 that the projection maps to (ndcX, ndcY).
  const HmdMatrix44_t& p = eyes[eye].projection;
  if (std::fabs(p.m[0][0]) < 1e-6f || std::fabs(p.m[1][1]) < 1e-6f) {
    return false;
  }
  const Vec3 view{(ndcX + p.m[0][2]) / p.m[0][0], (ndcY + p.m[1][2]) / p.m[1][1], -1.0f};
  const HmdMatrix34_t eyeToWorld = Compose(head, eyes[eye].eyeToHead);
  ray->eye = eye;
  ray->origin = TransformPoint(eyeToWorld, {0, 0, 0});
  ray->direction = Normalized(TransformDirection(eyeToWorld, view));
  return Length(ray->direction) > 0.5f;
}

bool RightHandFromPointer(const DesktopPointer& pointer, const HmdMatrix34_t& head,
                          const EyeOptics eyes[2], float reach, const HmdMatrix34_t& leftHand,
                          HandPlacement* placement) {
  PointerRay ray;
  if (!PointerRayFromWindow(pointer, head, eyes, &ray)) {
    return false;
  }
  float distance = std::clamp(reach, kMinReach, kMaxReach);
  bool atPanel = false;
  const SimPose left = FromMatrix34(leftHand);
  const Vec3 normal = Normalized(left.y);
  const Vec3 panelCentre = left.position + normal * kPanelOffset;
  const float facing = Dot(ray.direction, normal);
  if (std::fabs(facing) > 1e-4f) {
    const float hitDistance = Dot(panelCentre - ray.origin, normal) / facing;
    const Vec3 hit = ray.origin + ray.direction * hitDistance;
    if (hitDistance > 0.0f && hitDistance < distance &&
        Length(hit - left.position) < kPanelCatchRadius) {
      distance = std::max(hitDistance - kPanelStandOff, 0.0f);
      atPanel = true;
    }
  }
  SimPose hand;
  PoseLookingAlong(ray.origin + ray.direction * distance, ray.direction, &hand);
  placement->pose = ToMatrix34(hand);
  placement->atPanel = atPanel;
  return true;
}

float NextReach(float reach, int steps, float seconds, const HmdMatrix34_t& head,
                const HmdMatrix34_t& leftHand) {
  const Vec3 eye = {head.m[0][3], head.m[1][3], head.m[2][3]};
  const Vec3 hand = {leftHand.m[0][3], leftHand.m[1][3], leftHand.m[2][3]};
  // The far side: the middle of the volume's face away from the eye, along its largest axis.
  const Vec3 centre = {0.0f, 1.0f, 0.0f};
  const Vec3 away = eye - centre;
  Vec3 far = centre;
  if (std::fabs(away.x) > std::fabs(away.z)) {
    far.x = away.x > 0.0f ? -1.0f : 1.0f;
  } else {
    far.z = away.z > 0.0f ? -1.0f : 1.0f;
  }
  const float nearest = std::clamp(Length(hand - eye), kMinReach, kMaxReach);
  const float farthest = std::clamp(Length(far - eye), nearest, kMaxReach);
  const float dt = std::isfinite(seconds) ? std::clamp(seconds, 0.0f, 0.1f) : 0.0f;
  const float next = reach + float(steps) * kReachSpeed * dt;
  return std::clamp(std::isfinite(next) ? next : kDefaultReach, nearest, farthest);
}

}  // namespace vr::sim

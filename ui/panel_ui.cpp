#include "ui/panel_ui.h"

#include <algorithm>
#include <cmath>
#include <numbers>

#include "base/log.h"

namespace {

constexpr float kTwoPi = 2.0f * std::numbers::pi_v<float>;
constexpr uint32_t kWhite = 0xFFFFFFFFu;
// Below this the ray runs along the panel plane.
constexpr float kParallelDeterminant = 1e-6f;
// Text sizes relative to textScale: button faces, and captions under icons.
constexpr float kButtonTextSize = 0.6f;
constexpr float kCaptionTextSize = 0.4f;
// The colour picker in coordinates n from (-1, -1) at its upper left to (1, 1) at its lower
// right: the saturation/value square inside |n| < 0.5, the hue ring at radius 0.8 to 1. The
// picker shader draws the same geometry.
constexpr float kSquareHalf = 0.5f;
constexpr float kRingInner = 0.8f;
constexpr float kRingOuter = 1.0f;
constexpr float kHueMarkerOrbit = 0.45f;  // the ring's middle, in units of the picker's size

// Möller-Trumbore, both faces: the distance along the ray to the triangle, if it is hit in
// front of the origin.
bool IntersectTriangle(Vec3 origin, Vec3 dir, Vec3 v0, Vec3 v1, Vec3 v2, float* t) {
  const Vec3 edge1 = v1 - v0;
  const Vec3 edge2 = v2 - v0;
  const Vec3 p = Cross(dir, edge2);
  const float determinant = Dot(edge1, p);
  if (!(std::fabs(determinant) >= kParallelDeterminant)) {
    return false;
  }
  const float inverse = 1.0f / determinant;
  const Vec3 s = origin - v0;
  const float u = Dot(s, p) * inverse;
  if (!(u >= 0.0f && u <= 1.0f)) {
    return false;
  }
  const Vec3 q = Cross(s, edge1);
  const float v = Dot(dir, q) * inverse;
  if (!(v >= 0.0f && u + v <= 1.0f)) {
    return false;
  }
  *t = Dot(edge2, q) * inverse;
  return *t > 0.0f;
}

}  // namespace

bool PanelUI::Init(Draw::DrawContext* context, Draw::Texture* atlasTexture, float whiteX,
                   float whiteY, float iconScale, std::span<const IconRect> table) {
  atlas = atlasTexture;
  int32_t width = 0, height = 0;
  context->GetTextureDimensions(atlasTexture, &width, &height, nullptr);
  icons.assign(table.begin(), table.end());
  if (width <= 0 || height <= 0) {
    Log(LogLevel::Error, "PanelUI: the icon atlas has no size; icons cannot be drawn");
    whiteU = whiteV = 0.0f;
    for (IconRect& icon : icons) {
      icon.x = icon.y = icon.w = icon.h = 0.0f;
    }
    return false;
  }
  const float w = float(width), h = float(height);
  whiteU = whiteX / w;
  whiteV = whiteY / h;
  for (IconRect& icon : icons) {
    icon.x = iconScale * icon.x / w;
    icon.y = iconScale * icon.y / h;
    icon.w = iconScale * icon.w / w;
    icon.h = iconScale * icon.h / h;
  }
  return true;
}

void PanelUI::SetEye(int eye, bool vrPresent) {
  if (eye == 0 && vrPresent) {
    pointerSource = 0;
  }
}

void PanelUI::UpdateTrigger(float value) {
  if (pointerSource != 0) {
    return;
  }
  clicked = value > kTriggerThreshold && previousTrigger <= kTriggerThreshold;
  previousTrigger = value;
  held = value > kTriggerThreshold;
}

void PanelUI::SetPointer(bool active, const Matrix4x4& pose) {
  pointerValid = active && pointerSource == 0;
  pointerPose = pose;
}

void PanelUI::SetTransform(Draw::DrawContext* /*context*/, const Matrix4x4& matrix) {
  panelMatrix = matrix;
  if (!InvertMatrix(matrix, panelInverse)) {
    // A zero inverse maps every ray to a zero direction, which BeginPanel treats as a miss.
    panelInverse = Matrix4x4{};
  }
}

void PanelUI::BeginPanel(Draw::DrawContext* context, const PanelRect& rect) {
  pointerOnPanel = false;
  BindTexturedAtlas(context);
  SolidQuad(context, rect, normalColor);

  if (!pointerValid) {
    return;
  }
  const float* pose = pointerPose.m;
  // The controller points along its local -Z axis.
  rayOrigin = TransformPoint(panelInverse, {pose[12], pose[13], pose[14]});
  const Vec3 dir = TransformVector(panelInverse, {-pose[8], -pose[9], -pose[10]});
  const float length = Length(dir);
  if (!(length > 0.0f && std::isfinite(length))) {
    return;
  }
  rayDir = dir * (1.0f / length);

  const Vec3 upperLeft = {rect.x, rect.y, 0.0f};
  const Vec3 upperRight = {rect.x + rect.w, rect.y, 0.0f};
  const Vec3 lowerLeft = {rect.x, rect.y + rect.h, 0.0f};
  const Vec3 lowerRight = {rect.x + rect.w, rect.y + rect.h, 0.0f};
  float t = 0.0f;
  if (IntersectTriangle(rayOrigin, rayDir, upperLeft, upperRight, lowerLeft, &t) ||
      IntersectTriangle(rayOrigin, rayDir, upperRight, lowerRight, lowerLeft, &t)) {
    pointerOnPanel = true;
    hitT = t;
    hitPoint = rayOrigin + rayDir * t;
    pointerX = hitPoint.x;
    pointerY = hitPoint.y;
  }
}

void PanelUI::DrawPointer(Draw::DrawContext* context) {
  if (!pointerOnPanel) {
    return;
  }
  BindTexturedAtlas(context);
  DrawLine(context, rayOrigin, hitPoint, whiteU, whiteV, kWhite);
  SolidQuad(context, {pointerX - 1.0f, pointerY - 1.0f, 2.0f, 2.0f}, kWhite);
}

void PanelUI::Rect(Draw::DrawContext* context, const PanelRect& rect, uint32_t color) {
  BindTexturedAtlas(context);
  SolidQuad(context, rect, color);
}

void PanelUI::Label(Draw::DrawContext* context, std::string_view text, float x, float y,
                    float size) {
  BindTexturedAtlas(context);
  Text(context, text, x, y, size * textScale);
}

bool PanelUI::TextButton(Draw::DrawContext* context, std::string_view text,
                         const PanelRect& rect, bool selected) {
  const bool hovered = Hovered(rect);
  const float size = kButtonTextSize * textScale;
  const Vec2 textSize = MeasureText(text, size);
  BindTexturedAtlas(context);
  SolidQuad(context, rect, ButtonColor(selected, hovered));
  Text(context, text, rect.x + (rect.w - textSize.x) / 2,
       rect.y + (rect.h - textSize.y) / 2 + textSize.y, size);
  return hovered && clicked;
}

bool PanelUI::PicButton(Draw::DrawContext* context, int icon, const PanelRect& rect,
                        bool selected) {
  const bool hovered = Hovered(rect);
  BindTexturedAtlas(context);
  SolidQuad(context, rect, ButtonColor(selected, hovered));
  IconQuad(context, icon, rect, textColor);
  return hovered && clicked;
}

bool PanelUI::Button(Draw::DrawContext* context, std::string_view text, int icon,
                     const PanelRect& rect, bool selected) {
  const bool hovered = Hovered(rect);
  BindTexturedAtlas(context);
  SolidQuad(context, rect, ButtonColor(selected, hovered));
  IconQuad(context, icon, rect, textColor);
  Caption(context, text, rect);
  return hovered && clicked;
}

float PanelUI::Slider(Draw::DrawContext* context, std::string_view text, const PanelRect& rect,
                      int icon, float min, float max, float value) {
  const bool hovered = Hovered(rect);
  if (hovered && held) {
    // No capture: the value follows only while the pointer stays on the slider.
    const float f = std::clamp((pointerX - rect.x) / rect.w, 0.0f, 1.0f);
    value = (1.0f - f) * min + f * max;
  }
  BindTexturedAtlas(context);
  SolidQuad(context, rect, hovered ? hoverColor : normalColor);
  IconQuad(context, icon, rect, sliderImageColor);
  // The knob is one unit wide and centred on its position; an empty range has no position.
  const float knobX = rect.x + (value - min) * (rect.w - 1.0f) / (max - min) - 0.5f;
  if (std::isfinite(knobX)) {
    SolidQuad(context, {knobX, rect.y, 1.0f, rect.h},
              hovered ? selectedHoverColor : selectedColor);
  }
  Caption(context, text, rect);
  return value;
}

void PanelUI::ColorPicker(Draw::DrawContext* context, const PanelRect& rect, Vec3& hsv) {
  if (pickerPipeline != nullptr) {
    context->BindPipeline(pickerPipeline);
  }
  DrawQuad(context, rect, 0.0f, 0.0f, 1.0f, 1.0f, kWhite);

  if (Hovered(rect) && held) {
    const float nx = ((pointerX - rect.x) / rect.w - 0.5f) * 2.0f;
    const float ny = ((pointerY - rect.y) / rect.h - 0.5f) * 2.0f;
    if (std::fabs(nx) < kSquareHalf && std::fabs(ny) < kSquareHalf) {
      hsv.y = nx + 0.5f;
      hsv.z = 1.0f - (ny + 0.5f);
    } else {
      const float radius = std::sqrt(nx * nx + ny * ny);
      if (radius >= kRingInner && radius < kRingOuter) {
        float angle = std::atan2(ny, nx);
        if (angle < 0.0f) {
          angle += kTwoPi;
        }
        // A tiny negative angle can round up to a whole turn.
        hsv.x = angle < kTwoPi ? angle / kTwoPi : 0.0f;
      }
    }
  }

  BindTexturedAtlas(context);
  const float hueAngle = kTwoPi * hsv.x;
  SolidQuad(context,
            {rect.x + rect.w * (kHueMarkerOrbit * std::cos(hueAngle) + 0.5f) - 1.0f,
             rect.y + rect.h * (kHueMarkerOrbit * std::sin(hueAngle) + 0.5f) - 1.0f, 2.0f, 2.0f},
            kWhite);
  SolidQuad(context,
            {rect.x + rect.w * (0.5f * hsv.y + 0.25f) - 1.0f,
             rect.y + rect.h * (0.5f * (1.0f - hsv.z) + 0.25f) - 1.0f, 2.0f, 2.0f},
            kWhite);
}

int PanelUI::FindIcon(std::string_view name) const {
  for (size_t i = 0; i < kToolIcons.size(); ++i) {
    if (kToolIcons[i].name == name) {
      return int(i);
    }
  }
  return -1;
}

bool PanelUI::Hovered(const PanelRect& rect) const {
  return pointerOnPanel && rect.x <= pointerX && pointerX < rect.x + rect.w && rect.y <= pointerY &&
         pointerY < rect.y + rect.h;
}

uint32_t PanelUI::ButtonColor(bool selected, bool hovered) const {
  if (selected) {
    return hovered ? selectedHoverColor : selectedColor;
  }
  return hovered ? hoverColor : normalColor;
}

bool PanelUI::ValidIcon(int icon) const { return icon >= 0 && size_t(icon) < icons.size(); }

void PanelUI::BindTexturedAtlas(Draw::DrawContext* context) const {
  if (texturedPipeline != nullptr) {
    context->BindPipeline(texturedPipeline);
  }
  context->BindTexture(0, atlas);
}

void PanelUI::SolidQuad(Draw::DrawContext* context, const PanelRect& rect, uint32_t color) const {
  DrawQuad(context, rect, whiteU, whiteV, whiteU, whiteV, color);
}

void PanelUI::IconQuad(Draw::DrawContext* context, int icon, const PanelRect& rect,
                       uint32_t tint) const {
  if (!ValidIcon(icon)) {
    return;
  }
  const IconRect& uv = icons[size_t(icon)];
  DrawQuad(context, rect, uv.x, uv.y, uv.x + uv.w, uv.y + uv.h, tint);
}

void PanelUI::Text(Draw::DrawContext* context, std::string_view text, float x, float y,
                   float size) const {
  if (font != nullptr) {
    font->DrawText(context, {x, y, 0.0f}, {1.0f, 0.0f, 0.0f}, {0.0f, -1.0f, 0.0f}, text,
                   textColor, size);
  }
}

void PanelUI::Caption(Draw::DrawContext* context, std::string_view text,
                      const PanelRect& rect) const {
  const float size = kCaptionTextSize * textScale;
  const Vec2 textSize = MeasureText(text, size);
  Text(context, text, rect.x + (rect.w - textSize.x) / 2, rect.y + rect.h + textSize.y, size);
}

Vec2 PanelUI::MeasureText(std::string_view text, float size) const {
  return font != nullptr ? font->MeasureText(text, size) : Vec2{};
}

#pragma once
// PanelUI: the immediate-mode widgets of the tool panel. Every frame, for every eye, the panel
// script calls widget functions that draw the widget and answer for it in the same call
// (`if (TextButton(...))`); nothing is kept between calls but this small record.
//
// Interaction comes from one hand controller used as a laser pointer: BeginPanel intersects its
// ray with the panel's rectangle and turns the hit into a pointer position in panel
// coordinates (x right, y down, z = 0 is the panel plane); the controller's trigger clicks and
// drags. Drawing goes through the drawing context with immediate vertices, the tool-icon atlas
// and the font atlas, and two pipelines the application owns: a textured one for quads and text,
// and the colour-picker one.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "base/math_types.h"
#include "gfx/draw_context.h"
#include "ui/panel_draw.h"
#include "ui/panel_font.h"
#include "ui/tool_icons.h"

class PanelUI {
 public:
  // The trigger value above which the trigger counts as pressed.
  static constexpr float kTriggerThreshold = 0.1f;

  // Stores the atlas and copies the icon table, each rectangle converted from atlas pixels to
  // texture coordinates (times iconScale); (whiteX, whiteY) is an opaque white atlas pixel that
  // solid quads sample. False, logged, when the atlas has no size: icons and solid quads then
  // sample texture coordinate 0.
  bool Init(Draw::DrawContext* context, Draw::Texture* atlas, float whiteX, float whiteY,
            float iconScale, std::span<const IconRect> table);

  // ---- per eye, from the frame update

  // The hand controller becomes the pointer once the first eye of a VR frame is drawn; on the
  // desktop the panel is drawn but never reacts.
  void SetEye(int eye, bool vrPresent);
  // Called once per eye with the same value, so a press shows as `clicked` in the first eye only.
  void UpdateTrigger(float value);
  void SetPointer(bool active, const Matrix4x4& pose);
  // Panel-to-world transform of this eye's panel. A singular one (a panel scaled to nothing)
  // cannot be hit.
  void SetTransform(Draw::DrawContext* context, const Matrix4x4& matrix);

  // ---- widgets, from the script (rectangles in panel coordinates)

  // Draws the panel background and hit-tests the pointer against this rectangle; the widgets
  // after it answer to that hit.
  void BeginPanel(Draw::DrawContext* context, const PanelRect& rect);
  // The ray from the controller to the panel and a dot where it hits, if it hits.
  void DrawPointer(Draw::DrawContext* context);
  void Rect(Draw::DrawContext* context, const PanelRect& rect, uint32_t color);
  // Text with its baseline starting at (x, y).
  void Label(Draw::DrawContext* context, std::string_view text, float x, float y, float size);
  // Buttons answer true when clicked while the pointer is over them. An icon is a row of the
  // icon table; -1 (or any row the table does not have) draws no icon.
  bool TextButton(Draw::DrawContext* context, std::string_view text, const PanelRect& rect,
                  bool selected);
  bool PicButton(Draw::DrawContext* context, int icon, const PanelRect& rect, bool selected);
  // The icon fills the rectangle; the text is a caption under it.
  bool Button(Draw::DrawContext* context, std::string_view text, int icon, const PanelRect& rect,
              bool selected);
  // While held with the pointer over it, the value follows the pointer from min at the left
  // edge towards max at the right; otherwise value comes back unchanged.
  float Slider(Draw::DrawContext* context, std::string_view text, const PanelRect& rect, int icon,
               float min, float max, float value);
  // hsv = (hue, saturation, value), each 0 to 1: a press on the ring sets the hue, on the inner
  // square the saturation and value. The caller has already pushed the current colour to the
  // picker shader's constants.
  void ColorPicker(Draw::DrawContext* context, const PanelRect& rect, Vec3& hsv);
  // Row of kToolIcons named exactly name, or -1.
  int FindIcon(std::string_view name) const;

  // ---- state, owned by the application apart from the icon list
  Draw::Pipeline* texturedPipeline = nullptr;
  Draw::Pipeline* pickerPipeline = nullptr;
  PanelFont* font = nullptr;
  Draw::Texture* atlas = nullptr;
  std::vector<IconRect> icons;  // texture coordinates
  int32_t pointerSource = -1;   // -1: no pointer input; 0: the VR hand controller
  float whiteU = 0.0f, whiteV = 0.0f;
  uint32_t textColor = 0xFFFFFFFFu;  // RGBA8, red in the lowest byte
  uint32_t sliderImageColor = 0xFF909090u;
  uint32_t normalColor = 0x80000000u;
  uint32_t selectedColor = 0x8040C040u;
  uint32_t selectedHoverColor = 0x8080FF80u;
  uint32_t hoverColor = 0x80606060u;
  float textScale = 1.0f;
  bool pointerValid = false;
  bool pointerOnPanel = false;  // left by the latest BeginPanel; the sculpting hand reads it
  Matrix4x4 pointerPose;        // world space
  Vec3 rayOrigin;               // panel space
  Vec3 rayDir;                  // panel space, unit length
  float hitT = 0.0f;
  Vec3 hitPoint;  // panel space
  float pointerX = 0.0f, pointerY = 0.0f;
  float previousTrigger = 0.0f;
  bool clicked = false;
  bool held = false;
  Matrix4x4 panelMatrix;
  Matrix4x4 panelInverse;

 private:
  bool Hovered(const PanelRect& rect) const;
  uint32_t ButtonColor(bool selected, bool hovered) const;
  bool ValidIcon(int icon) const;
  void BindTexturedAtlas(Draw::DrawContext* context) const;
  void SolidQuad(Draw::DrawContext* context, const PanelRect& rect, uint32_t color) const;
  void IconQuad(Draw::DrawContext* context, int icon, const PanelRect& rect, uint32_t tint) const;
  void Text(Draw::DrawContext* context, std::string_view text, float x, float y,
            float size) const;
  void Caption(Draw::DrawContext* context, std::string_view text, const PanelRect& rect) const;
  Vec2 MeasureText(std::string_view text, float size) const;
};

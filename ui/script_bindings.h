#pragma once
// The functions the panel script may call. Each registration sets Lua globals and may raise a
// Lua error (out of memory), so the host calls them inside protected calls.
#include "gfx/draw_context.h"

struct lua_State;
class ScriptHost;

// print(text): the text to every log sink at the raw level, without a prefix or a line break.
// Replaces the standard print, which accepts anything; this one wants a string or a number.
void RegisterPrint(lua_State* L);
// curToolShape(): always "sphere".
void RegisterCurToolShape(lua_State* L);
// textButton, picButton, button, label, colorPicker, slider, rect, beginPanel, drawPointer,
// setTextScale, clear, load, save, testScene: forward to the host's panel and document, drawing
// through context.
void RegisterPanelFunctions(lua_State* L, ScriptHost* host, Draw::DrawContext* context);

// Hue in turns (wrapped into 0..1), saturation and value to red, green, blue, by the hexcone
// model with the sectors red, yellow, green, cyan, blue, magenta.
void HsvToRgb(float h, float s, float v, float& r, float& g, float& b);
// Each component 0..1 to a byte (255 at 1 or more, 0 at 0 or less, else the integer part of
// c * 255), red in the lowest byte.
uint32_t PackColor(double r, double g, double b, double a);

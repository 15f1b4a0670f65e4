#include "ui/script_bindings.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include <lua.hpp>

#include "base/log.h"
#include "export/export_document.h"
#include "file/file_util.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/sculpt_history.h"
#include "sculpt/test_scenes.h"
#include "ui/lua_binding.h"
#include "ui/panel_ui.h"
#include "ui/script_host.h"

using LuaBinding::CheckInteger;
using LuaBinding::CheckNumber;
using LuaBinding::CheckPath;
using LuaBinding::CheckString;
using LuaBinding::Guarded;
using LuaBinding::ToBoolean;

// Every body reads all of its arguments before anything else: an argument error jumps out of
// the function, and at that point only plain values may be on the C++ stack.

namespace {

ScriptHost* HostOf(lua_State* L) { return static_cast<ScriptHost*>(LuaBinding::Upvalue(L, 1)); }
Draw::DrawContext* ContextOf(lua_State* L) {
  return static_cast<Draw::DrawContext*>(LuaBinding::Upvalue(L, 2));
}

// The panel and the context the widgets draw with; raises a script error when the application
// has not provided them.
PanelUI* PanelOf(lua_State* L) {
  PanelUI* panel = HostOf(L)->Targets().panel;
  if (panel == nullptr || ContextOf(L) == nullptr) {
    luaL_error(L, "no panel to draw on");
  }
  return panel;
}

SculptDocument* DocumentOf(lua_State* L) {
  SculptDocument* document = HostOf(L)->Targets().document;
  if (document == nullptr) luaL_error(L, "no sculpture document");
  return document;
}

PanelRect CheckRect(lua_State* L, int firstArg) {
  return {float(CheckNumber(L, firstArg)), float(CheckNumber(L, firstArg + 1)),
          float(CheckNumber(L, firstArg + 2)), float(CheckNumber(L, firstArg + 3))};
}

int Print(lua_State* L) {
  LogRaw(CheckString(L, 1));
  return 0;
}

int CurToolShape(lua_State* L) {
  lua_pushliteral(L, "sphere");
  return 1;
}

int TextButton(lua_State* L) {
  std::string_view text = CheckString(L, 1);
  PanelRect rect = CheckRect(L, 2);
  bool selected = ToBoolean(L, 6);
  PanelUI* panel = PanelOf(L);
  lua_pushboolean(L, panel->TextButton(ContextOf(L), text, rect, selected));
  return 1;
}

int PicButton(lua_State* L) {
  std::string_view iconName = CheckString(L, 1);
  PanelRect rect = CheckRect(L, 2);
  bool selected = ToBoolean(L, 6);
  PanelUI* panel = PanelOf(L);
  int icon = panel->FindIcon(iconName);
  // An unknown icon draws nothing at all, not even the button behind it.
  lua_pushboolean(L, icon >= 0 && panel->PicButton(ContextOf(L), icon, rect, selected));
  return 1;
}

int Button(lua_State* L) {
  std::string_view text = CheckString(L, 1);
  std::string_view iconName = CheckString(L, 2);
  PanelRect rect = CheckRect(L, 3);
  bool selected = ToBoolean(L, 7);
  PanelUI* panel = PanelOf(L);
  int icon = panel->FindIcon(iconName);
  lua_pushboolean(L, icon >= 0 && panel->Button(ContextOf(L), text, icon, rect, selected));
  return 1;
}

int Label(lua_State* L) {
  std::string_view text = CheckString(L, 1);
  float x = float(CheckNumber(L, 2));
  float y = float(CheckNumber(L, 3));
  PanelOf(L)->Label(ContextOf(L), text, x, y, 0.6f);
  return 0;
}

// The global prefix..suffix, with the prefix at prefixArg.
void PushGlobalName(lua_State* L, int prefixArg, const char* suffix) {
  lua_pushvalue(L, prefixArg);
  lua_pushstring(L, suffix);
  lua_concat(L, 2);
}

// Missing or not a number: 0.
float ReadComponent(lua_State* L, int prefixArg, const char* suffix) {
  lua_rawgeti(L, LUA_REGISTRYINDEX, LUA_RIDX_GLOBALS);
  PushGlobalName(L, prefixArg, suffix);
  lua_gettable(L, -2);
  int isNumber = 0;
  lua_Number value = lua_tonumberx(L, -1, &isNumber);
  lua_pop(L, 2);
  return isNumber ? float(value) : 0.0f;
}

void WriteComponent(lua_State* L, int prefixArg, const char* suffix, float value) {
  lua_rawgeti(L, LUA_REGISTRYINDEX, LUA_RIDX_GLOBALS);
  PushGlobalName(L, prefixArg, suffix);
  lua_pushnumber(L, lua_Number(value));
  lua_settable(L, -3);
  lua_pop(L, 1);
}

int ColorPicker(lua_State* L) {
  CheckString(L, 1);  // the prefix stays on the stack at index 1
  PanelRect rect = CheckRect(L, 2);
  CheckInteger(L, 6);  // accepted for the script's sake; the picker has one size
  PanelUI* panel = PanelOf(L);
  Draw::DrawContext* context = ContextOf(L);

  Vec3 hsv{ReadComponent(L, 1, "_h"), ReadComponent(L, 1, "_s"), ReadComponent(L, 1, "_v")};
  if (uint8_t* constants = HostOf(L)->Targets().sceneConstants) {
    const float picked[3] = {hsv.x, hsv.y, hsv.z};
    std::memcpy(constants + ScriptHost::kPickerHsvOffset, picked, sizeof(picked));
    context->PushUniforms(0, constants, ScriptHost::kSceneConstantsSize);
  }
  panel->ColorPicker(context, rect, hsv);

  float r, g, b;
  HsvToRgb(hsv.x, hsv.y, hsv.z, r, g, b);
  WriteComponent(L, 1, "_h", hsv.x);
  WriteComponent(L, 1, "_s", hsv.y);
  WriteComponent(L, 1, "_v", hsv.z);
  WriteComponent(L, 1, "_r", r);
  WriteComponent(L, 1, "_g", g);
  WriteComponent(L, 1, "_b", b);
  return 0;
}

int Slider(lua_State* L) {
  std::string_view text = CheckString(L, 1);
  PanelRect rect = CheckRect(L, 2);
  float min = float(CheckNumber(L, 6));
  float max = float(CheckNumber(L, 7));
  float value = float(CheckNumber(L, 8));
  PanelUI* panel = PanelOf(L);
  int icon = panel->FindIcon("slider");
  lua_pushnumber(L, lua_Number(panel->Slider(ContextOf(L), text, rect, icon, min, max, value)));
  return 1;
}

int Rect(lua_State* L) {
  PanelRect rect = CheckRect(L, 1);
  double r = CheckNumber(L, 5), g = CheckNumber(L, 6), b = CheckNumber(L, 7),
         a = CheckNumber(L, 8);
  PanelOf(L)->Rect(ContextOf(L), rect, PackColor(r, g, b, a));
  return 0;
}

int BeginPanel(lua_State* L) {
  PanelRect rect = CheckRect(L, 1);
  PanelOf(L)->BeginPanel(ContextOf(L), rect);
  return 0;
}

int DrawPointer(lua_State* L) {
  PanelOf(L)->DrawPointer(ContextOf(L));
  return 0;
}

int SetTextScale(lua_State* L) {
  float scale = float(CheckNumber(L, 1));
  PanelOf(L)->textScale = scale;
  return 0;
}

int Clear(lua_State* L) {
  DocumentOf(L)->NewSculpture();
  return 0;
}

// What a load tells the script: true; true, "damaged" and what was lost (for the status line);
// or false and "failed".
int PushLoaded(lua_State* L, const SculptDocument& document, bool loaded) {
  lua_pushboolean(L, loaded);
  if (loaded && document.LoadWarning().empty()) return 1;
  lua_pushstring(L, loaded ? "damaged" : "failed");
  if (!loaded) return 2;
  lua_pushstring(L, document.LoadWarning().c_str());
  return 3;
}

int Load(lua_State* L) {
  std::string_view path = CheckPath(L, 1);
  int64_t rate = CheckInteger(L, 2);
  SculptDocument* document = DocumentOf(L);
  const int clampedRate = int(std::clamp<int64_t>(rate, std::numeric_limits<int>::min(),
                                                  std::numeric_limits<int>::max()));
  // Failures are logged by the document; the script is told whether it loaded and, when not,
  // whether there was nothing to load ("empty") or the file was refused ("failed").
  if (FILE* file = OpenDataFile(document->Roots(), std::string(path), "rb")) {
    fclose(file);
  } else {
    lua_pushboolean(L, false);
    lua_pushstring(L, "empty");
    return 2;
  }
  return PushLoaded(L, *document, document->LoadSculpture(std::string(path), clampedRate));
}

// A file named by the person (dropped on the window): its path as given, not among the slots.
// The same answers as load.
int OpenFile(lua_State* L) {
  std::string_view path = CheckPath(L, 1);
  SculptDocument* document = DocumentOf(L);
  static const DataRoots kAsGiven = {""};
  return PushLoaded(L, *document, document->LoadSculpture(std::string(path), 0, &kAsGiven));
}

// Back to the file the sculpture came from or was last saved to; false without one.
int SaveDocument(lua_State* L) {
  lua_pushboolean(L, DocumentOf(L)->SaveToFile());
  return 1;
}

int Save(lua_State* L) {
  std::string_view path = CheckPath(L, 1);
  SculptDocument* document = DocumentOf(L);
  // The script must not tell the user "Saved" after a save that failed.
  const bool saved = document->SaveSculpture(std::string(path));
  lua_pushboolean(L, saved);
  return 1;
}

// The current sculpture as a glTF binary file; true when it was written (the path is logged).
int ExportSculpture(lua_State* L) {
  std::string_view path = CheckPath(L, 1);
  SculptDocument* document = DocumentOf(L);
  // Beside the sculpture's slot files, wherever those live.
  lua_pushboolean(L, ExportDocumentAsGlb(*document, document->Roots(), std::string(path)));
  return 1;
}

int Undo(lua_State* L) {
  lua_pushboolean(L, DocumentOf(L)->Undo());
  return 1;
}

int Redo(lua_State* L) {
  lua_pushboolean(L, DocumentOf(L)->Redo());
  return 1;
}

// The scrubber: steps number every record of the history, 0 the empty start. A panel without a
// sculpture (or without history) has no steps, so the panel script draws no scrubber.
SculptHistory* HistoryOrNull(lua_State* L) {
  SculptDocument* document = HostOf(L)->Targets().document;
  return document ? document->History() : nullptr;
}

int HistorySteps(lua_State* L) {
  SculptHistory* history = HistoryOrNull(L);
  lua_pushinteger(L, lua_Integer(history ? history->StepCount() : 0));
  return 1;
}

int HistoryStep(lua_State* L) {
  SculptHistory* history = HistoryOrNull(L);
  lua_pushinteger(L, lua_Integer(history ? history->CurrentStep() : 0));
  return 1;
}

int HistoryMoveTo(lua_State* L) {
  const int64_t step = CheckInteger(L, 1);
  SculptDocument* document = DocumentOf(L);
  lua_pushboolean(L, step >= 0 && document->MoveToHistoryStep(size_t(step)));
  return 1;
}

int TestScene(lua_State* L) {
  std::string_view name = CheckString(L, 1);
  SculptDocument* document = DocumentOf(L);
  BuildTestScene(*document, name, HostOf(L)->Targets().mirrorMatrix);
  return 0;
}

}  // namespace

void HsvToRgb(float h, float s, float v, float& r, float& g, float& b) {
  float turns = std::isfinite(h) ? h - std::floor(h) : 0.0f;
  float scaled = turns * 6.0f;
  int sector = int(scaled);  // 0..6; 6 when turns rounds up to just below 1
  float f = scaled - float(sector);
  sector %= 6;
  float p = v * (1.0f - s);
  float q = v * (1.0f - s * f);
  float t = v * (1.0f - s * (1.0f - f));
  switch (sector) {
    case 0: r = v, g = t, b = p; break;
    case 1: r = q, g = v, b = p; break;
    case 2: r = p, g = v, b = t; break;
    case 3: r = p, g = q, b = v; break;
    case 4: r = t, g = p, b = v; break;
    default: r = v, g = p, b = q; break;
  }
}

uint32_t PackColor(double r, double g, double b, double a) {
  auto byte = [](double c) -> uint32_t {
    if (c >= 1.0) return 255;
    if (!(c > 0.0)) return 0;  // also NaN
    return uint32_t(c * 255.0);
  };
  return byte(r) | byte(g) << 8 | byte(b) << 16 | byte(a) << 24;
}

void RegisterPrint(lua_State* L) { LuaBinding::RegisterFunction(L, "print", Guarded<Print>); }

void RegisterCurToolShape(lua_State* L) {
  LuaBinding::RegisterFunction(L, "curToolShape", Guarded<CurToolShape>);
}

void RegisterPanelFunctions(lua_State* L, ScriptHost* host, Draw::DrawContext* context) {
  struct Entry {
    const char* name;
    lua_CFunction function;
  };
  static const Entry kFunctions[] = {
      {"textButton", Guarded<TextButton>},   {"picButton", Guarded<PicButton>},
      {"button", Guarded<Button>},           {"label", Guarded<Label>},
      {"colorPicker", Guarded<ColorPicker>}, {"slider", Guarded<Slider>},
      {"rect", Guarded<Rect>},               {"beginPanel", Guarded<BeginPanel>},
      {"drawPointer", Guarded<DrawPointer>}, {"setTextScale", Guarded<SetTextScale>},
      {"clear", Guarded<Clear>},             {"load", Guarded<Load>},
      {"save", Guarded<Save>},               {"testScene", Guarded<TestScene>},
      {"openFile", Guarded<OpenFile>},       {"saveDocument", Guarded<SaveDocument>},
      {"undo", Guarded<Undo>},               {"redo", Guarded<Redo>},
      {"historySteps", Guarded<HistorySteps>}, {"historyStep", Guarded<HistoryStep>},
      {"historyMoveTo", Guarded<HistoryMoveTo>}, {"exportSculpture", Guarded<ExportSculpture>},
  };
  for (const Entry& entry : kFunctions) {
    LuaBinding::RegisterFunction(L, entry.name, entry.function, host, context);
  }
}

#pragma once
// ScriptHost: the application's one Lua state and the panel script that runs in it.
//
// The panel's layout and behaviour come from "script/sculpt.lua" under the data roots. The host
// lends the script its functions (widgets, drawing, file commands), runs the file, calls its
// entry points `init`, `processUI` and `renderEye`, and shares the brush settings with the
// application as plain Lua globals (ui/script_globals.h), read and written by name on every
// access so that neither side ever holds a stale copy.
//
// Script errors never stop the application: they go to the error handler (by default logged as
// "lua exception (<status>): <message>") and the next call runs as usual. Everything here runs
// on the application's frame thread.
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/math_types.h"
#include "file/file_util.h"
#include "gfx/draw_context.h"

struct lua_State;
class PanelUI;
class SculptDocument;

// What the script's functions act on; the application owns all of it and keeps it alive as long
// as the host. A null member makes the functions that need it raise a script error.
struct ScriptTargets {
  PanelUI* panel = nullptr;              // the widgets
  SculptDocument* document = nullptr;    // clear, load, save, testScene
  Matrix4x4* mirrorMatrix = nullptr;     // set by testScene("default")
  // The application's scene constant block (kSceneConstantsSize bytes, uniform slot 0). The
  // colour picker stores its colour at kPickerHsvOffset and pushes the block so that the picker
  // shader draws the ring and square for it.
  uint8_t* sceneConstants = nullptr;
  const DataRoots* dataRoots = nullptr;  // where the script file is looked for; null: as given
};

struct ScriptLimits;

class ScriptHost {
 public:
  static constexpr size_t kSceneConstantsSize = 384;
  static constexpr size_t kPickerHsvOffset = 368;
  static constexpr const char* kScriptPath = "script/sculpt.lua";

  // status is the Lua status (2 run-time error, 3 syntax error, 7 file error, ...); exception is
  // set when the failure was a C++ exception in the host itself.
  using ErrorHandler =
      std::function<void(int status, const std::string& message, std::exception_ptr exception)>;

  // Creates the state with every standard library open. Throws std::runtime_error when the state
  // cannot be created: the application cannot run without it.
  explicit ScriptHost(const ScriptTargets& targets);
  // Runs a full collection, then closes the state.
  ~ScriptHost();
  ScriptHost(const ScriptHost&) = delete;
  ScriptHost& operator=(const ScriptHost&) = delete;

  // Replaces the error handler for the life of the host; null restores LogScriptError.
  void SetErrorHandler(ErrorHandler handler);
  // The default handler: logs "lua exception (%d): %s" as an error.
  static void LogScriptError(int status, const std::string& message, std::exception_ptr exception);

  // Registers print, runs the first "script/sculpt.lua" found under the data roots, registers
  // the remaining functions (capturing context) and calls the script's init. Called once at
  // start-up and again for every reload: the file then runs over the existing globals and init
  // runs again. A script that fails to load is reported and the user told; setup goes on.
  void SetupScript(Draw::DrawContext* context);

  // Calls a global script function under a traceback handler; false (reported) on an error.
  bool CallFunction(const char* name);
  bool CallFunction(const char* name, int64_t argument);

  // Shared globals. Missing or of another type: 0 or "". A number read as a string gives its
  // text; an integer read accepts a float with an integral value.
  double GetNumber(const char* name);
  int64_t GetInteger(const char* name);
  std::string GetString(const char* name);
  void SetNumber(const char* name, double value);
  void SetString(const char* name, std::string_view value);

  const ScriptTargets& Targets() const { return targets_; }

 private:
  bool LoadScriptFile(const std::string& path);
  void Report(int status, const std::string& message, std::exception_ptr exception = nullptr);
  // Pops the error value a failed protected call left and reports it.
  void ReportFailedCall(int status);

  std::unique_ptr<ScriptLimits> limits_;  // outlives the state, which allocates through it
  lua_State* L_ = nullptr;
  ScriptTargets targets_;
  ErrorHandler errorHandler_;
};

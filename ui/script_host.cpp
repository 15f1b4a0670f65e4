#include "ui/script_host.h"

#include <stdexcept>

#include <lua.hpp>

#include "base/ask_user.h"
#include "base/log.h"
#include "ui/lua_binding.h"
#include "ui/script_bindings.h"
#include "ui/script_limits.h"

namespace {

// Every touch of the state from outside a script call goes through a protected call: a script
// can put metatables on the globals or make a collection fail, and an unprotected Lua error
// would end the process.

int OpenLibraries(lua_State* L) {
  luaL_openlibs(L);
  return 0;
}

int FullCollection(lua_State* L) {
  lua_gc(L, LUA_GCCOLLECT, 0);
  return 0;
}

struct GlobalRead {
  const char* name;
  enum Kind { Number, Integer, Text } kind;
};

// Leaves the converted value on the stack: a number, an integer, or a string (never nil).
int ReadGlobal(lua_State* L) {
  auto* read = static_cast<const GlobalRead*>(lua_touserdata(L, 1));
  lua_getglobal(L, read->name);
  switch (read->kind) {
    case GlobalRead::Number: {
      int isNumber = 0;
      lua_Number value = lua_tonumberx(L, -1, &isNumber);
      lua_pushnumber(L, isNumber ? value : 0.0);
      break;
    }
    case GlobalRead::Integer: {
      int isInteger = 0;
      lua_Integer value = lua_tointegerx(L, -1, &isInteger);
      lua_pushinteger(L, isInteger ? value : 0);
      break;
    }
    case GlobalRead::Text:
      if (lua_type(L, -1) == LUA_TSTRING || lua_type(L, -1) == LUA_TNUMBER) {
        lua_tolstring(L, -1, nullptr);  // a number becomes its text in place
        lua_pushvalue(L, -1);
      } else {
        lua_pushliteral(L, "");
      }
      break;
  }
  return 1;
}

struct GlobalWrite {
  const char* name;
  bool isText;
  double number;
  std::string_view text;
};

int WriteGlobal(lua_State* L) {
  auto* write = static_cast<const GlobalWrite*>(lua_touserdata(L, 1));
  if (write->isText) {
    lua_pushlstring(L, write->text.data(), write->text.size());
  } else {
    lua_pushnumber(L, write->number);
  }
  lua_setglobal(L, write->name);
  return 0;
}

struct GlobalCall {
  const char* name;
  bool hasArgument;
  int64_t argument;
};

int CallGlobal(lua_State* L) {
  auto* call = static_cast<const GlobalCall*>(lua_touserdata(L, 1));
  lua_getglobal(L, call->name);
  if (call->hasArgument) lua_pushinteger(L, lua_Integer(call->argument));
  lua_call(L, call->hasArgument ? 1 : 0, 0);
  return 0;
}

// Message handler of calls into the script: the error as text with the script's call stack.
int TracebackHandler(lua_State* L) {
  const char* message;
  if (lua_isnoneornil(L, 1)) {
    message = "<not set>";
  } else if (lua_type(L, 1) != LUA_TSTRING) {
    message = "<error object>";
  } else {
    message = lua_tostring(L, 1);
  }
  // Level 1 starts at the function that raised the error, as debug.traceback(message, 2) would
  // when called from here.
  luaL_traceback(L, L, message, 1);
  return 1;
}

struct Registration {
  ScriptHost* host;
  Draw::DrawContext* context;
};

int RegisterPrintProtected(lua_State* L) {
  RegisterPrint(L);
  return 0;
}

int RegisterCurToolShapeProtected(lua_State* L) {
  RegisterCurToolShape(L);
  return 0;
}

int RegisterPanelFunctionsProtected(lua_State* L) {
  auto* registration = static_cast<const Registration*>(lua_touserdata(L, 1));
  RegisterPanelFunctions(L, registration->host, registration->context);
  return 0;
}

}  // namespace

ScriptHost::ScriptHost(const ScriptTargets& targets) : targets_(targets) {
  limits_ = std::make_unique<ScriptLimits>();
  L_ = NewLimitedLuaState(limits_.get());
  if (L_ == nullptr) throw std::runtime_error("ScriptHost: cannot create the Lua state");
  if (LuaBinding::ProtectedCall(L_, OpenLibraries, nullptr) != LUA_OK) {
    lua_close(L_);
    throw std::runtime_error("ScriptHost: cannot open the Lua libraries");
  }
}

ScriptHost::~ScriptHost() {
  // A script's finaliser may fail here; the state closes all the same.
  ResetInstructionBudget(L_);
  if (LuaBinding::ProtectedCall(L_, FullCollection, nullptr) != LUA_OK) lua_pop(L_, 1);
  lua_close(L_);
}

void ScriptHost::SetErrorHandler(ErrorHandler handler) { errorHandler_ = std::move(handler); }

void ScriptHost::LogScriptError(int status, const std::string& message, std::exception_ptr) {
  Log(LogLevel::Error, "lua exception (%d): %s", status, message.c_str());
}

void ScriptHost::Report(int status, const std::string& message, std::exception_ptr exception) {
  try {
    if (errorHandler_) {
      errorHandler_(status, message, exception);
    } else {
      LogScriptError(status, message, exception);
    }
  } catch (...) {
    // A handler that throws must not take the frame with it.
    Log(LogLevel::Error, "lua exception (%d): %s", status, message.c_str());
  }
}

void ScriptHost::ReportFailedCall(int status) {
  std::string message;
  if (lua_type(L_, -1) == LUA_TSTRING) message = lua_tostring(L_, -1);
  lua_pop(L_, 1);
  Report(status, message);
}

void ScriptHost::SetupScript(Draw::DrawContext* context) {
  try {
    int status = LuaBinding::ProtectedCall(L_, RegisterPrintProtected, nullptr);
    if (status != LUA_OK) ReportFailedCall(status);

    // The first root that has the file is the one the script comes from, whether it loads or
    // not: a broken script is reported rather than silently replaced by an older copy.
    static const DataRoots kWorkingDirectory = {""};
    const DataRoots& roots = targets_.dataRoots ? *targets_.dataRoots : kWorkingDirectory;
    for (const std::string& root : roots) {
      const std::string path = root + kScriptPath;
      if (!FileExists(path)) continue;
      if (!LoadScriptFile(path)) {
        AskUser("", "Failed to load LUA file, check debug output", AskUserButtons::Ok);
      }
      break;
    }

    status = LuaBinding::ProtectedCall(L_, RegisterCurToolShapeProtected, nullptr);
    if (status != LUA_OK) ReportFailedCall(status);
    Registration registration{this, context};
    status = LuaBinding::ProtectedCall(L_, RegisterPanelFunctionsProtected, &registration);
    if (status != LUA_OK) ReportFailedCall(status);

    CallFunction("init");
  } catch (const std::exception& e) {
    Report(LUA_ERRRUN, e.what(), std::current_exception());
  }
}

bool ScriptHost::LoadScriptFile(const std::string& path) {
  // Text chunks only: precompiled bytecode is not checked by the interpreter and could crash it.
  int status = luaL_loadfilex(L_, path.c_str(), "t");
  if (status != LUA_OK) {
    if (status == LUA_ERRSYNTAX || status == LUA_ERRFILE) {
      std::string message = lua_type(L_, -1) == LUA_TSTRING
                                ? std::string(lua_tostring(L_, -1))
                                : path + (status == LUA_ERRSYNTAX ? ": syntax error" : ": file error");
      lua_pop(L_, 1);
      Report(status, message);
    } else {
      lua_pop(L_, 1);
    }
    return false;
  }
  ResetInstructionBudget(L_);
  status = lua_pcall(L_, 0, 0, 0);
  if (status != LUA_OK) {
    std::string message = lua_type(L_, -1) == LUA_TSTRING ? std::string(lua_tostring(L_, -1))
                                                           : path + ": dofile failed";
    lua_pop(L_, 1);
    Report(status, message);
    return false;
  }
  return true;
}

namespace {

bool CallUnderTraceback(lua_State* L, const GlobalCall& call, int& status) {
  ResetInstructionBudget(L);
  lua_pushcfunction(L, TracebackHandler);
  const int handler = lua_gettop(L);
  lua_pushcfunction(L, CallGlobal);
  lua_pushlightuserdata(L, const_cast<GlobalCall*>(&call));
  status = lua_pcall(L, 1, 0, handler);
  lua_remove(L, handler);  // the error value, if any, stays on top
  return status == LUA_OK;
}

}  // namespace

bool ScriptHost::CallFunction(const char* name) {
  int status = LUA_OK;
  if (CallUnderTraceback(L_, {name, false, 0}, status)) return true;
  ReportFailedCall(status);
  return false;
}

bool ScriptHost::CallFunction(const char* name, int64_t argument) {
  int status = LUA_OK;
  if (CallUnderTraceback(L_, {name, true, argument}, status)) return true;
  ReportFailedCall(status);
  return false;
}

double ScriptHost::GetNumber(const char* name) {
  ResetInstructionBudget(L_);  // a metatable on the globals runs script code
  GlobalRead read{name, GlobalRead::Number};
  lua_pushcfunction(L_, ReadGlobal);
  lua_pushlightuserdata(L_, &read);
  int status = lua_pcall(L_, 1, 1, 0);
  if (status != LUA_OK) {
    ReportFailedCall(status);
    return 0.0;
  }
  double value = double(lua_tonumber(L_, -1));
  lua_pop(L_, 1);
  return value;
}

int64_t ScriptHost::GetInteger(const char* name) {
  ResetInstructionBudget(L_);  // a metatable on the globals runs script code
  GlobalRead read{name, GlobalRead::Integer};
  lua_pushcfunction(L_, ReadGlobal);
  lua_pushlightuserdata(L_, &read);
  int status = lua_pcall(L_, 1, 1, 0);
  if (status != LUA_OK) {
    ReportFailedCall(status);
    return 0;
  }
  int64_t value = int64_t(lua_tointeger(L_, -1));
  lua_pop(L_, 1);
  return value;
}

std::string ScriptHost::GetString(const char* name) {
  ResetInstructionBudget(L_);  // a metatable on the globals runs script code
  GlobalRead read{name, GlobalRead::Text};
  lua_pushcfunction(L_, ReadGlobal);
  lua_pushlightuserdata(L_, &read);
  int status = lua_pcall(L_, 1, 1, 0);
  if (status != LUA_OK) {
    ReportFailedCall(status);
    return {};
  }
  size_t length = 0;
  const char* text = lua_tolstring(L_, -1, &length);  // already a string: no conversion
  std::string value(text, length);
  lua_pop(L_, 1);
  return value;
}

void ScriptHost::SetNumber(const char* name, double value) {
  ResetInstructionBudget(L_);
  GlobalWrite write{name, false, value, {}};
  int status = LuaBinding::ProtectedCall(L_, WriteGlobal, &write);
  if (status != LUA_OK) ReportFailedCall(status);
}

void ScriptHost::SetString(const char* name, std::string_view value) {
  ResetInstructionBudget(L_);
  GlobalWrite write{name, true, 0.0, value};
  int status = LuaBinding::ProtectedCall(L_, WriteGlobal, &write);
  if (status != LUA_OK) ReportFailedCall(status);
}

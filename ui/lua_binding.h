#pragma once
// The thin layer between native functions and Lua: argument readers that raise the auxiliary
// library's argument errors, a guard that turns C++ exceptions into Lua errors, and protected
// calls for everything the host does to the state from outside a script call.
//
// Lua reports errors with longjmp. A frame it jumps over must hold no object with a destructor,
// so bound functions read all their arguments first (into plain locals), do their C++ work in a
// scope that closes before they touch Lua again, and exceptions are caught and turned into a
// Lua error only after the C++ objects that raised them are gone.
#include <cstdint>
#include <exception>
#include <string_view>

#include <lua.hpp>

namespace LuaBinding {

// Argument readers, by position (1 is the first argument). Numbers and integers accept numeric
// strings as Lua itself does; an integer also accepts a float with an integral value; a string
// accepts a number (converted in place on the stack). On failure they raise the standard
// "bad argument #n to 'name' (... expected, got ...)" error and do not return.
double CheckNumber(lua_State* L, int arg);
int64_t CheckInteger(lua_State* L, int arg);
// The view points into the Lua string on the stack: valid while the function runs.
std::string_view CheckString(lua_State* L, int arg);
// As CheckString, refusing a string with a zero byte in it (it would name another file).
std::string_view CheckPath(lua_State* L, int arg);
// Lua truthiness: nil, false and a missing argument are false, everything else is true.
bool ToBoolean(lua_State* L, int arg);

// Raises a Lua error whose message is text followed by a traceback of the script's calls.
[[noreturn]] void RaiseWithTraceback(lua_State* L, const char* text);

using Body = int (*)(lua_State* L);

// Copies at most capacity - 1 bytes and terminates; never throws.
void CopyMessage(char* out, size_t capacity, const char* text);

// Wraps a bound function so that no C++ exception ever reaches Lua: a standard exception becomes
// a Lua error with its text and a traceback, any other one "<Unknown exception>".
template <Body body>
int Guarded(lua_State* L) noexcept {
  char message[512];
  bool failed = false;
  int results = 0;
  try {
    results = body(L);
  } catch (const std::exception& e) {
    CopyMessage(message, sizeof(message), e.what());
    failed = true;
  } catch (...) {
    CopyMessage(message, sizeof(message), "<Unknown exception>");
    failed = true;
  }
  if (failed) RaiseWithTraceback(L, message);
  return results;
}

// Sets the global `name` to fn with the given light-userdata upvalues. Registration writes the
// global table directly, so a script that guards its globals with a metatable cannot stop it.
// Raises on failure (out of memory): call it inside a protected call.
void RegisterFunction(lua_State* L, const char* name, lua_CFunction fn, void* upvalue1 = nullptr,
                      void* upvalue2 = nullptr);
// The light userdata stored as upvalue n (1 or 2) of the running C function.
void* Upvalue(lua_State* L, int n);

// Runs fn(L) with a light userdata as its one argument in protected mode and returns the Lua
// status; on an error the error value is left on the stack (the caller pops it).
int ProtectedCall(lua_State* L, lua_CFunction fn, void* userData);

}  // namespace LuaBinding

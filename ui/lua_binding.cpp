#include "ui/lua_binding.h"

#include <cstring>

namespace LuaBinding {

double CheckNumber(lua_State* L, int arg) { return double(luaL_checknumber(L, arg)); }

int64_t CheckInteger(lua_State* L, int arg) { return int64_t(luaL_checkinteger(L, arg)); }

std::string_view CheckString(lua_State* L, int arg) {
  size_t length = 0;
  const char* text = luaL_checklstring(L, arg, &length);
  return {text, length};
}

std::string_view CheckPath(lua_State* L, int arg) {
  std::string_view path = CheckString(L, arg);
  luaL_argcheck(L, path.find('\0') == std::string_view::npos, arg, "path contains a zero byte");
  return path;
}

bool ToBoolean(lua_State* L, int arg) { return lua_toboolean(L, arg) != 0; }

void RaiseWithTraceback(lua_State* L, const char* text) {
  // Level 1: the script function that called the bound one.
  luaL_traceback(L, L, text, 1);
  lua_error(L);
  __builtin_unreachable();
}

void CopyMessage(char* out, size_t capacity, const char* text) {
  if (capacity == 0) return;
  if (text == nullptr) text = "";
  size_t length = strnlen(text, capacity - 1);
  std::memcpy(out, text, length);
  out[length] = '\0';
}

void RegisterFunction(lua_State* L, const char* name, lua_CFunction fn, void* upvalue1,
                      void* upvalue2) {
  lua_rawgeti(L, LUA_REGISTRYINDEX, LUA_RIDX_GLOBALS);
  lua_pushstring(L, name);
  lua_pushlightuserdata(L, upvalue1);
  lua_pushlightuserdata(L, upvalue2);
  lua_pushcclosure(L, fn, 2);
  lua_rawset(L, -3);
  lua_pop(L, 1);
}

void* Upvalue(lua_State* L, int n) { return lua_touserdata(L, lua_upvalueindex(n)); }

int ProtectedCall(lua_State* L, lua_CFunction fn, void* userData) {
  lua_pushcfunction(L, fn);
  lua_pushlightuserdata(L, userData);
  return lua_pcall(L, 1, 0, 0);
}

}  // namespace LuaBinding

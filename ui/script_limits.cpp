#include "ui/script_limits.h"

#include <cstdlib>

#include <lua.hpp>

namespace {

constexpr int kHookInterval = 1000;

ScriptLimits* LimitsOf(lua_State* L) {
  void* userData = nullptr;
  lua_getallocf(L, &userData);
  return static_cast<ScriptLimits*>(userData);
}

void* LimitedAlloc(void* userData, void* block, size_t oldSize, size_t newSize) {
  auto* limits = static_cast<ScriptLimits*>(userData);
  // Without a block, oldSize tells the kind of object, not a size.
  const size_t previous = block != nullptr ? oldSize : 0;
  if (newSize == 0) {
    std::free(block);
    limits->memoryUsed -= previous;
    return nullptr;
  }
  if (newSize > previous && newSize - previous > limits->memoryBytes - limits->memoryUsed)
    return nullptr;  // Lua raises "not enough memory" in the script
  void* grown = std::realloc(block, newSize);
  if (grown == nullptr) return nullptr;
  limits->memoryUsed = limits->memoryUsed - previous + newSize;
  return grown;
}

void CountInstructions(lua_State* L, lua_Debug*);

void CountInstructions(lua_State* L, lua_Debug*) {
  ScriptLimits* limits = LimitsOf(L);
  limits->instructionsLeft -= kHookInterval;
  if (limits->instructionsLeft < 0) {
    // From now on every instruction fails until the next call, so a script that catches the
    // error with pcall and loops on is stopped at its next instruction outside the pcall.
    lua_sethook(L, CountInstructions, LUA_MASKCOUNT, 1);
    luaL_error(L, "the script ran for more than %d million instructions in one call",
               int(limits->instructionsPerCall / 1'000'000));
  }
}

}  // namespace

lua_State* NewLimitedLuaState(ScriptLimits* limits) {
  limits->memoryUsed = 0;
  limits->instructionsLeft = limits->instructionsPerCall;
  lua_State* L = lua_newstate(LimitedAlloc, limits);
  if (L == nullptr) return nullptr;
  lua_sethook(L, CountInstructions, LUA_MASKCOUNT, kHookInterval);
  return L;
}

void ResetInstructionBudget(lua_State* L) {
  ScriptLimits* limits = LimitsOf(L);
  limits->instructionsLeft = limits->instructionsPerCall;
  lua_sethook(L, CountInstructions, LUA_MASKCOUNT, kHookInterval);
}

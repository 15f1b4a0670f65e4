#pragma once
// What one call into the panel script may cost. The script is a file users edit: a loop that never
// ends or a table that grows forever must end that call with an error, not hang or exhaust the
// program. The next call starts with a fresh instruction budget; memory is a budget for the whole
// state, which the collector gives back.
#include <cstddef>
#include <cstdint>

struct lua_State;

struct ScriptLimits {
  // The panel script takes under 5,000 instructions a call; a runaway call costs about 0.1 s.
  static constexpr int64_t kDefaultInstructionsPerCall = 10'000'000;
  static constexpr size_t kDefaultMemoryBytes = size_t(256) << 20;

  int64_t instructionsPerCall = kDefaultInstructionsPerCall;
  size_t memoryBytes = kDefaultMemoryBytes;
  // Running state.
  int64_t instructionsLeft = kDefaultInstructionsPerCall;
  size_t memoryUsed = 0;
};

// A state whose allocations and instruction counts are bounded by *limits, which must outlive it.
// Null when even the empty state does not fit.
lua_State* NewLimitedLuaState(ScriptLimits* limits);
// Gives the next call into the state its whole instruction budget.
void ResetInstructionBudget(lua_State* L);

#pragma once

#include <cstdint>

// Seconds since the first call in the process (so the first call returns about 0), from a
// monotonic clock: consecutive calls never go backwards. Safe from any thread.
double TimeNow();

void SleepMs(uint32_t milliseconds);

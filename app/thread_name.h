#pragma once

// Names the calling thread for debuggers and tools (gdb, top -H, /proc/<pid>/task/*/comm).
// Names longer than 15 bytes are cut; there is no other effect.
void SetCurrentThreadName(const char* name);

#pragma once

#include <string>

// Run-time checks for invariants that only a programming error can break.
//
// CHECK logs "Check failed in <Class::Function> at <file>:<line>" at level 0, ASSUME logs
// "Assumption failed" at level 4. Either then stops: under a debugger with SIGTRAP (execution
// continues at the next statement when resumed), otherwise by flushing and aborting.
// A failure handler, when installed, replaces that stop and execution simply continues;
// tests use it to observe failures.

#define CHECK(condition)                                          \
  do {                                                            \
    if (!(condition)) [[unlikely]] {                              \
      CheckFailed(__PRETTY_FUNCTION__, __FILE__, __LINE__);       \
    }                                                             \
  } while (false)

#define ASSUME(condition)                                         \
  do {                                                            \
    if (!(condition)) [[unlikely]] {                              \
      AssumptionFailed(__PRETTY_FUNCTION__, __FILE__, __LINE__);  \
    }                                                             \
  } while (false)

using CheckFailureHandler = void (*)(const char* message);

// Installs handler (null restores the default stop) and returns the previous one.
CheckFailureHandler SetCheckFailureHandler(CheckFailureHandler handler);

// function may be a __PRETTY_FUNCTION__ string or an already qualified name; file may
// carry directories, which are cut off.
void CheckFailed(const char* function, const char* file, int line);
void AssumptionFailed(const char* function, const char* file, int line);

// For fatal misconfiguration: logs the formatted message at level 4, then stops like a
// failed check.
void ReportFatal(const char* format, ...) __attribute__((format(printf, 1, 2)));

// "bool SculptApplication::Init(Draw::DrawContext*)" -> "SculptApplication::Init".
// Strips the return type, specifiers, parameter list and anything after it.
std::string QualifiedFunctionName(const char* prettyFunction);

// "/src/file/chunk_file.cpp" -> "chunk_file.cpp".
const char* SourceFileName(const char* path);

// Whether a tracer (debugger, strace) is attached to this process.
bool IsDebuggerAttached();

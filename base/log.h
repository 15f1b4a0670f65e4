#pragma once

#include <string_view>

// Severity carried with every message; sinks decide what to do with it.
enum class LogLevel : int { Error = 0, Warning = 1, Info = 2, Debug = 3, Fatal = 4, Raw = 5 };

// text is NUL-terminated and length is its size in bytes (without the terminator).
using LogSinkCallback = void (*)(void* userData, int level, const char* text, int length);

// Appends a sink. Sinks are called in the order they were added and are never removed.
// Safe to call while other threads log, although the host registers its sinks before
// any thread starts.
void AddLogSink(LogSinkCallback callback, void* userData);

// printf-style message, formatted into a 2048-byte buffer: longer messages are cut at
// 2047 bytes. Sinks run on the calling thread.
void Log(LogLevel level, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Hands text to every sink unformatted, at level 5 (Raw).
void LogRaw(const char* text);
void LogRaw(std::string_view text);

// Writes to standard error: level 5 unchanged, everything else as prefix, text and a line
// break. userData is not used. Info and Debug lines are written only when the terminal is
// verbose (the default; the program makes it quiet unless asked for more).
void DebugOutputSink(void* userData, int level, const char* text, int length);
void SetTerminalVerbose(bool verbose);
// Adds DebugOutputSink once: later calls do nothing, so each entry point may ask for it.
void LogToTerminal();

// "e: ", "w: ", "i: ", "d: ", "f: ", "" for Raw, "u" for any other value.
const char* LogLevelPrefix(int level);

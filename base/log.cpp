#include "base/log.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

namespace {

constexpr int kLogBufferSize = 2048;
constexpr int kDebugOutputBufferSize = 4096;

// A singly linked list that only ever grows: readers walk it without a lock, a writer
// publishes a fully built node with one release store. Nodes live for the whole process.
struct SinkNode {
  LogSinkCallback callback;
  void* userData;
  std::atomic<SinkNode*> next{nullptr};
};

std::atomic<SinkNode*> g_firstSink{nullptr};
std::atomic<SinkNode*> g_lastSink{nullptr};
std::mutex g_addSinkMutex;

void DeliverToSinks(int level, const char* text, int length) {
  for (SinkNode* node = g_firstSink.load(std::memory_order_acquire); node != nullptr;
       node = node->next.load(std::memory_order_acquire)) {
    node->callback(node->userData, level, text, length);
  }
}

}  // namespace

void AddLogSink(LogSinkCallback callback, void* userData) {
  if (callback == nullptr) {
    return;
  }
  auto* node = new SinkNode{callback, userData};
  std::lock_guard<std::mutex> lock(g_addSinkMutex);
  SinkNode* last = g_lastSink.load(std::memory_order_relaxed);
  if (last == nullptr) {
    g_firstSink.store(node, std::memory_order_release);
  } else {
    last->next.store(node, std::memory_order_release);
  }
  g_lastSink.store(node, std::memory_order_relaxed);
}

void LogToTerminal() {
  static std::once_flag added;
  std::call_once(added, [] { AddLogSink(&DebugOutputSink, nullptr); });
}

void Log(LogLevel level, const char* format, ...) {
  char buffer[kLogBufferSize];
  int length = 0;
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    length = std::vsnprintf(buffer, sizeof(buffer), format, args);
    va_end(args);
  }
  if (length < 0) {
    length = 0;
  }
  if (length > kLogBufferSize - 1) {
    length = kLogBufferSize - 1;
  }
  buffer[length] = '\0';
  DeliverToSinks(static_cast<int>(level), buffer, length);
}

void LogRaw(const char* text) {
  if (text == nullptr) {
    return;
  }
  DeliverToSinks(static_cast<int>(LogLevel::Raw), text, static_cast<int>(std::strlen(text)));
}

void LogRaw(std::string_view text) {
  // Sinks are promised a terminated string; a view need not be one.
  const std::string terminated(text);
  DeliverToSinks(static_cast<int>(LogLevel::Raw), terminated.c_str(),
                 static_cast<int>(terminated.size()));
}

namespace {
std::atomic<bool> g_terminalVerbose{true};
}  // namespace

void SetTerminalVerbose(bool verbose) { g_terminalVerbose.store(verbose); }

void DebugOutputSink(void* /*userData*/, int level, const char* text, int length) {
  if (text == nullptr) {
    return;
  }
  if ((level == static_cast<int>(LogLevel::Info) || level == static_cast<int>(LogLevel::Debug)) &&
      !g_terminalVerbose.load(std::memory_order_relaxed)) {
    return;
  }
  if (level == static_cast<int>(LogLevel::Raw)) {
    std::fwrite(text, 1, length > 0 ? static_cast<size_t>(length) : 0, stderr);
    return;
  }
  // One write per line, so lines from several threads interleave whole.
  char buffer[kDebugOutputBufferSize];
  int written = std::snprintf(buffer, sizeof(buffer), "%s%s\n", LogLevelPrefix(level), text);
  if (written < 0) {
    return;
  }
  if (written > kDebugOutputBufferSize - 1) {
    written = kDebugOutputBufferSize - 1;
  }
  std::fwrite(buffer, 1, static_cast<size_t>(written), stderr);
}

const char* LogLevelPrefix(int level) {
  switch (level) {
    case 0: return "e: ";
    case 1: return "w: ";
    case 2: return "i: ";
    case 3: return "d: ";
    case 4: return "f: ";
    case 5: return "";
    default: return "u";
  }
}

#include "tests/support/log_capture.h"

#include <mutex>

#include "base/check.h"
#include "base/log.h"

namespace {

// Sinks cannot be removed, so one sink is installed for the whole process and forwards to
// whichever capture is current.
std::mutex g_captureMutex;
LogCapture* g_currentLogCapture = nullptr;
CheckCapture* g_currentCheckCapture = nullptr;

}  // namespace

struct LogCaptureAccess {
  static void Sink(void* /*userData*/, int level, const char* text, int length) {
    std::lock_guard<std::mutex> lock(g_captureMutex);
    if (g_currentLogCapture != nullptr) {
      g_currentLogCapture->messages_.emplace_back(level, std::string(text, static_cast<size_t>(length)));
    }
  }
};

struct CheckCaptureAccess {
  static void Handler(const char* message) {
    std::lock_guard<std::mutex> lock(g_captureMutex);
    if (g_currentCheckCapture != nullptr) {
      g_currentCheckCapture->messages_.emplace_back(message != nullptr ? message : "");
    }
  }
};

LogCapture::LogCapture() {
  static std::once_flag sinkInstalled;
  std::call_once(sinkInstalled, [] { AddLogSink(&LogCaptureAccess::Sink, nullptr); });
  std::lock_guard<std::mutex> lock(g_captureMutex);
  previous_ = g_currentLogCapture;
  g_currentLogCapture = this;
}

LogCapture::~LogCapture() {
  std::lock_guard<std::mutex> lock(g_captureMutex);
  g_currentLogCapture = previous_;
}

bool LogCapture::Contains(std::string_view text) const {
  std::lock_guard<std::mutex> lock(g_captureMutex);
  for (const auto& message : messages_) {
    if (message.second.find(text) != std::string::npos) {
      return true;
    }
  }
  return false;
}

std::string LogCapture::Text() const {
  std::lock_guard<std::mutex> lock(g_captureMutex);
  std::string text;
  for (const auto& message : messages_) text += message.second + "\n";
  return text;
}

void LogCapture::Clear() {
  std::lock_guard<std::mutex> lock(g_captureMutex);
  messages_.clear();
}

CheckCapture::CheckCapture() {
  std::lock_guard<std::mutex> lock(g_captureMutex);
  previous_ = g_currentCheckCapture;
  g_currentCheckCapture = this;
  previousHandler_ = SetCheckFailureHandler(&CheckCaptureAccess::Handler);
}

CheckCapture::~CheckCapture() {
  std::lock_guard<std::mutex> lock(g_captureMutex);
  g_currentCheckCapture = previous_;
  SetCheckFailureHandler(previousHandler_);
}

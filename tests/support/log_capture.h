#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// While alive, records every message that reaches the log sinks: (level, text).
// Captures nest; the innermost one records. Read the messages once the threads that log
// have finished.
class LogCapture {
 public:
  LogCapture();
  ~LogCapture();
  LogCapture(const LogCapture&) = delete;
  LogCapture& operator=(const LogCapture&) = delete;

  const std::vector<std::pair<int, std::string>>& Messages() const { return messages_; }
  // Whether any recorded message contains text.
  bool Contains(std::string_view text) const;
  // Every recorded message, one a line: for failure output.
  std::string Text() const;
  void Clear();

 private:
  friend struct LogCaptureAccess;
  std::vector<std::pair<int, std::string>> messages_;
  LogCapture* previous_ = nullptr;
};

// While alive, failed CHECK / ASSUME calls are recorded instead of stopping the process,
// and execution continues after them.
class CheckCapture {
 public:
  CheckCapture();
  ~CheckCapture();
  CheckCapture(const CheckCapture&) = delete;
  CheckCapture& operator=(const CheckCapture&) = delete;

  int Count() const { return static_cast<int>(messages_.size()); }
  const std::vector<std::string>& Messages() const { return messages_; }

 private:
  friend struct CheckCaptureAccess;
  std::vector<std::string> messages_;
  CheckCapture* previous_ = nullptr;
  void (*previousHandler_)(const char*) = nullptr;
};

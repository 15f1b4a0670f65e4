#pragma once
// A script host whose data root is a temporary folder: each test writes the script it needs as
// "script/sculpt.lua" there and sets it up; errors the host reports are recorded.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "base/ask_user.h"
#include "file/file_util.h"
#include "tests/support/temp_directory.h"
#include "ui/script_host.h"

namespace scripttest {

struct ReportedError {
  int status;
  std::string message;
};

// Counts the "Failed to load LUA file" questions instead of showing them.
class AskUserRecorder {
 public:
  AskUserRecorder() { previous_ = SetAskUserHandler(&Record); texts().clear(); }
  ~AskUserRecorder() { SetAskUserHandler(previous_); }
  static std::vector<std::string>& texts() {
    static std::vector<std::string> recorded;
    return recorded;
  }

 private:
  static AskUserAnswer Record(const char*, const char* text, AskUserButtons) {
    texts().push_back(text);
    return AskUserAnswer::Ok;
  }
  AskUserHandler previous_ = nullptr;
};

class ScriptFixture {
 public:
  explicit ScriptFixture(ScriptTargets targets = {}) {
    root_.MakeDirectory("script");
    AddDataRoot(roots_, root_.Path());
    targets.dataRoots = &roots_;
    host_ = std::make_unique<ScriptHost>(targets);
    host_->SetErrorHandler([this](int status, const std::string& message, std::exception_ptr) {
      errors_.push_back({status, message});
    });
  }

  // Writes the script and runs the whole setup with context.
  void Setup(const std::string& source, Draw::DrawContext* context = nullptr) {
    root_.WriteFile("script/sculpt.lua", source);
    host_->SetupScript(context);
  }

  ScriptHost& host() { return *host_; }
  const TempDirectory& root() const { return root_; }
  std::vector<ReportedError>& errors() { return errors_; }
  // All reported messages, one per line, for failure output.
  std::string ErrorText() const {
    std::string text;
    for (const ReportedError& error : errors_) {
      text += std::to_string(error.status) + ": " + error.message + "\n";
    }
    return text;
  }

 private:
  TempDirectory root_;
  DataRoots roots_;
  std::vector<ReportedError> errors_;
  std::unique_ptr<ScriptHost> host_;
};

}  // namespace scripttest

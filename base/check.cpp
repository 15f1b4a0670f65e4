#include "base/check.h"

#include <atomic>
#include <csignal>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "base/log.h"

namespace {

std::atomic<CheckFailureHandler> g_failureHandler{nullptr};

bool IsIdentifierChar(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

void StopAfterFailure(const char* message) {
  if (CheckFailureHandler handler = g_failureHandler.load()) {
    handler(message);
    return;
  }
  if (IsDebuggerAttached()) {
    std::raise(SIGTRAP);
    return;
  }
  // Without a debugger there is nobody to resume us; make sure the message is out first.
  std::fflush(nullptr);
  std::abort();
}

}  // namespace

CheckFailureHandler SetCheckFailureHandler(CheckFailureHandler handler) {
  return g_failureHandler.exchange(handler);
}

std::string QualifiedFunctionName(const char* prettyFunction) {
  if (prettyFunction == nullptr) {
    return std::string();
  }
  const std::string_view text(prettyFunction);
  constexpr std::string_view kOperator = "operator";
  size_t nameStart = 0;
  size_t nameEnd = text.size();
  int depth = 0;  // Nesting of <> and () inside return types and template arguments.
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (depth == 0 && text.compare(i, kOperator.size(), kOperator) == 0 &&
        (i == 0 || !IsIdentifierChar(text[i - 1])) &&
        (i + kOperator.size() == text.size() || !IsIdentifierChar(text[i + kOperator.size()]))) {
      // The operator's own symbol may contain <, >, ( or spaces; skip to its parameter list.
      size_t j = i + kOperator.size();
      if (text.compare(j, 2, "()") == 0) {
        j += 2;
      }
      while (j < text.size() && text[j] != '(') {
        ++j;
      }
      i = j - 1;
      continue;
    }
    if (c == '<' || c == '(') {
      if (c == '(' && depth == 0) {
        nameEnd = i;
        break;
      }
      ++depth;
    } else if ((c == '>' || c == ')') && depth > 0) {
      --depth;
    } else if (c == ' ' && depth == 0) {
      nameStart = i + 1;
    }
  }
  if (nameEnd <= nameStart) {
    return std::string(text);  // Unusual shape (e.g. returns a function pointer): keep it all.
  }
  return std::string(text.substr(nameStart, nameEnd - nameStart));
}

const char* SourceFileName(const char* path) {
  if (path == nullptr) {
    return "";
  }
  const char* name = path;
  for (const char* p = path; *p != '\0'; ++p) {
    if (*p == '/' || *p == '\\') {
      name = p + 1;
    }
  }
  return name;
}

bool IsDebuggerAttached() {
  FILE* status = std::fopen("/proc/self/status", "r");
  if (status == nullptr) {
    return false;
  }
  bool attached = false;
  char line[256];
  while (std::fgets(line, sizeof(line), status) != nullptr) {
    if (std::strncmp(line, "TracerPid:", 10) == 0) {
      attached = std::strtol(line + 10, nullptr, 10) != 0;
      break;
    }
  }
  std::fclose(status);
  return attached;
}

void CheckFailed(const char* function, const char* file, int line) {
  const std::string name = QualifiedFunctionName(function);
  char message[1024];
  std::snprintf(message, sizeof(message), "Check failed in %s at %s:%d", name.c_str(),
                SourceFileName(file), line);
  Log(LogLevel::Error, "%s", message);
  StopAfterFailure(message);
}

void AssumptionFailed(const char* /*function*/, const char* /*file*/, int /*line*/) {
  static const char kMessage[] = "Assumption failed";
  Log(LogLevel::Fatal, "%s", kMessage);
  StopAfterFailure(kMessage);
}

void ReportFatal(const char* format, ...) {
  char message[2048];
  message[0] = '\0';
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof(message), format, args);
    va_end(args);
  }
  Log(LogLevel::Fatal, "%s", message);
  StopAfterFailure(message);
}

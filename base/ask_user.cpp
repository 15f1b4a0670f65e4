#include "base/ask_user.h"

#include <atomic>

#include "base/log.h"

namespace {

std::atomic<AskUserHandler> g_askUserHandler{nullptr};

}  // namespace

AskUserAnswer AskUser(const char* title, const char* text, AskUserButtons buttons) {
  AskUserHandler handler = g_askUserHandler.load();
  if (handler == nullptr) {
    handler = &AskUserByLog;
  }
  return handler(title != nullptr ? title : "", text != nullptr ? text : "", buttons);
}

AskUserHandler SetAskUserHandler(AskUserHandler handler) {
  return g_askUserHandler.exchange(handler);
}

AskUserAnswer AskUserByLog(const char* title, const char* text, AskUserButtons buttons) {
  Log(LogLevel::Warning, "%s: %s", title != nullptr ? title : "", text != nullptr ? text : "");
  switch (buttons) {
    case AskUserButtons::OkCancel:
    case AskUserButtons::RetryCancel:
      return AskUserAnswer::Cancel;
    case AskUserButtons::YesNo:
      return AskUserAnswer::No;
    case AskUserButtons::Ok:
      break;
  }
  return AskUserAnswer::Ok;
}

#include "app/panel_question.h"

#include <algorithm>
#include <utility>

#include "base/log.h"
#include "ui/script_globals.h"
#include "ui/script_host.h"

bool PanelQuestion::Ask(ScriptHost& script, const std::string& text,
                        std::vector<std::string> choices, Answered answered) {
  // One question at a time, the script's own included.
  if (IsOpen() || choices.empty() || !script.GetString(ScriptGlobals::kQuestion).empty())
    return false;
  std::string line = text;
  std::replace(line.begin(), line.end(), '\n', ' ');
  Log(LogLevel::Info, "Asking: %s", line.c_str());
  if (unattended) {
    Log(LogLevel::Info, "Nobody to answer; taken as %s", choices.back().c_str());
    answered(choices.back());
    return true;
  }
  std::string joined;
  for (const std::string& choice : choices) joined += (joined.empty() ? "" : "|") + choice;
  script.SetString(ScriptGlobals::kQuestionAnswer, "");
  script.SetString(ScriptGlobals::kQuestionChoices, joined);
  script.SetString(ScriptGlobals::kQuestion, text);
  choices_ = std::move(choices);
  answered_ = std::move(answered);
  return true;
}

void PanelQuestion::Poll(ScriptHost& script) {
  if (!IsOpen()) return;
  const std::string answer = script.GetString(ScriptGlobals::kQuestionAnswer);
  if (std::find(choices_.begin(), choices_.end(), answer) == choices_.end()) return;
  script.SetString(ScriptGlobals::kQuestion, "");
  script.SetString(ScriptGlobals::kQuestionAnswer, "");
  Log(LogLevel::Info, "Answered: %s", answer.c_str());
  // Taken out first: the answer may ask the next question.
  Answered answered = std::move(answered_);
  answered_ = nullptr;
  answered(answer);
}

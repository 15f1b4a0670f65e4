#pragma once
// A question the panel asks in place of its tools, answered with one of its buttons while frames
// go on ("Save changes to slot 1?" Save, Discard, Cancel). In a headset it is on the hand that
// holds the panel; on the desktop on the panel beside the view.
#include <functional>
#include <string>
#include <vector>

class ScriptHost;

class PanelQuestion {
 public:
  using Answered = std::function<void(const std::string& choice)>;

  // Shows the question (the last choice is what declining means). Nobody there to answer
  // (unattended): logged and answered at once with the last choice. False when a question is
  // open already (the panel script's own questions included).
  bool Ask(ScriptHost& script, const std::string& text, std::vector<std::string> choices,
           Answered answered);
  bool IsOpen() const { return static_cast<bool>(answered_); }
  // Once a frame, after the panel was drawn: a choice clicked closes the question and is
  // answered.
  void Poll(ScriptHost& script);

  bool unattended = false;

 private:
  std::vector<std::string> choices_;
  Answered answered_;
};

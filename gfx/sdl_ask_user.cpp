#include "gfx/sdl_ask_user.h"

#include <SDL.h>

#include "base/log.h"

namespace {

struct ButtonChoice {
  const char* label;
  AskUserAnswer answer;
};

}  // namespace

AskUserAnswer AskUserWithSdl(const char* title, const char* text, AskUserButtons buttons) {
  // The first choice is the one Return picks, the last the one Escape (or closing) picks.
  ButtonChoice choices[2] = {{"OK", AskUserAnswer::Ok}, {"OK", AskUserAnswer::Ok}};
  int choiceCount = 1;
  switch (buttons) {
    case AskUserButtons::Ok:
      break;
    case AskUserButtons::OkCancel:
      choices[1] = {"Cancel", AskUserAnswer::Cancel};
      choiceCount = 2;
      break;
    case AskUserButtons::YesNo:
      choices[0] = {"Yes", AskUserAnswer::Yes};
      choices[1] = {"No", AskUserAnswer::No};
      choiceCount = 2;
      break;
    case AskUserButtons::RetryCancel:
      choices[0] = {"Retry", AskUserAnswer::Retry};
      choices[1] = {"Cancel", AskUserAnswer::Cancel};
      choiceCount = 2;
      break;
  }
  SDL_MessageBoxButtonData buttonData[2] = {};
  for (int i = 0; i < choiceCount; ++i) {
    buttonData[i].buttonid = i;
    buttonData[i].text = choices[i].label;
    if (i == 0) {
      buttonData[i].flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
    }
    if (i == choiceCount - 1) {
      buttonData[i].flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
    }
  }
  SDL_MessageBoxData box = {};
  box.flags = SDL_MESSAGEBOX_ERROR;
  box.window = nullptr;
  box.title = title != nullptr ? title : "";
  box.message = text != nullptr ? text : "";
  box.numbuttons = choiceCount;
  box.buttons = buttonData;
  int pressed = -1;
  if (SDL_ShowMessageBox(&box, &pressed) != 0) {
    Log(LogLevel::Warning, "Cannot show a message box: %s", SDL_GetError());
    return AskUserByLog(title, text, buttons);
  }
  if (pressed < 0 || pressed >= choiceCount) {
    pressed = choiceCount - 1;
  }
  return choices[pressed].answer;
}

void InstallSdlAskUserHandler() {
  AskUserHandler previous = SetAskUserHandler(&AskUserWithSdl);
  if (previous != nullptr) {
    SetAskUserHandler(previous);
  }
}

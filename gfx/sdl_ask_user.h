#pragma once
// The desktop answer to AskUser: an SDL message box.
#include "base/ask_user.h"

// Shows a modal SDL message box (error icon, no parent window) and returns the button pressed.
// Closing the box without a button declines, as Escape does. When no box can be shown (no
// display), falls back to AskUserByLog.
AskUserAnswer AskUserWithSdl(const char* title, const char* text, AskUserButtons buttons);

// Installs AskUserWithSdl unless a handler is installed already: tests and headless runs put
// their own in place before the window comes up, and keep it.
void InstallSdlAskUserHandler();

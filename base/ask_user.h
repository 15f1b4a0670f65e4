#pragma once
// The one place the program asks the user something (a message box on the desktop).
//
// Everything that needs an answer goes through AskUser, so tests and headless runs can answer
// instead of a person. base/ knows no window system: until a host installs a handler, the
// question is logged and answered without waiting (see AskUserByLog).

enum class AskUserButtons { Ok, OkCancel, YesNo, RetryCancel };
enum class AskUserAnswer { Ok, Cancel, Yes, No, Retry };

using AskUserHandler = AskUserAnswer (*)(const char* title, const char* text,
                                         AskUserButtons buttons);

// Shows the question through the installed handler and returns the answer.
AskUserAnswer AskUser(const char* title, const char* text, AskUserButtons buttons);

// Installs handler (null restores AskUserByLog) and returns the previous one, null when none was
// installed.
AskUserHandler SetAskUserHandler(AskUserHandler handler);

// The answer when nobody can be asked: logs the question as a warning and declines it (Ok for
// Ok, Cancel for OkCancel and RetryCancel, No for YesNo), so that a run without a display never
// repeats something forever waiting for a yes.
AskUserAnswer AskUserByLog(const char* title, const char* text, AskUserButtons buttons);

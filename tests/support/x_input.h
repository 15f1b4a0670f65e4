#pragma once
// Real X input events for the program-level tests, through xdotool.
#include <string>

// Finds the visible window called windowName of process pid and runs the xdotool actions on it;
// the actions name the window as %1 (e.g. "keydown --window %1 F5"). Events are sent to the
// window itself: other tests' windows may be open on the same display, above this one and
// holding the focus. Records a test failure when xdotool fails.
void SendToWindow(int pid, const std::string& windowName, const std::string& actions);

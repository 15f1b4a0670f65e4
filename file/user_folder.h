#pragma once
// Where a user's own files live, after the XDG base directory rules: $XDG_DATA_HOME/loomwork, or
// ~/.local/share/loomwork when XDG_DATA_HOME is unset, empty or not absolute.
#include <string>

// The folder without a trailing separator; empty when neither XDG_DATA_HOME nor HOME is usable.
std::string UserDataFolder();
// The same for what the program keeps between runs that is not a document of the user's (the
// autosave): $XDG_STATE_HOME/loomwork, or ~/.local/state/loomwork.
std::string UserStateFolder();
// Creates path and its missing parents (mode 0700 for new ones, as XDG asks of its data home);
// false with the reason in *error.
bool MakeDirectories(const std::string& path, std::string* error);

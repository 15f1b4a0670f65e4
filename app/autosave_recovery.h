#pragma once
// At start, the work that programs before this one left in their autosaves (ended by a crash, a
// kill, a power cut, or a quit with unsaved changes) is offered back: "Restore the unsaved
// sculpture (N records, from TIME)?". Restored, it becomes the document, with unsaved changes,
// and this program's own autosave holds it. Declined (or unattended), it is moved aside with its
// time in the name ("unsaved-YYYYMMDD-HHMMSS.sculpt"), never deleted; so is one that cannot be
// read, with the reason in the log, and every further one once one was restored.
#include <string>
#include <vector>

class Autosave;
class SculptDocument;

// Autosaves in `folder` that no running program holds, oldest first; `own`, this program's
// autosave, first of all when it exists (a program before this one left it).
std::vector<std::string> LeftAutosaves(const std::string& folder, const std::string& own);

// Moves the file to "unsaved-TIME.sculpt" beside it (TIME its modification time; "-2" and so on
// when taken). The new path, or empty (logged) when it cannot be moved.
std::string MoveAutosaveAside(const std::string& path);

// Offers each left autosave; returns whether one was restored into the document.
bool RecoverAutosaves(SculptDocument& document, Autosave& autosave);

#pragma once
// At start, the work that programs before this one left in their autosaves (ended by a crash, a
// kill, a power cut, or a quit with unsaved changes) is offered back, one at a time: "Restore the
// unsaved sculpture (N records, from TIME)?". Restored, it becomes the document, with unsaved
// changes, and this program's own autosave holds it; every further one is then moved aside.
// Declined, it is moved aside with its time in the name ("unsaved-YYYYMMDD-HHMMSS.sculpt"), never
// deleted; so is one that cannot be read, with the reason in the log.
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

class AutosaveRecovery {
 public:
  // Finds what is left beside this program's autosave (which must be open).
  void Find(const Autosave& autosave);
  // The question for the next one to offer, or false when none is left. Those that cannot be
  // read are moved aside on the way; after a restore, all the rest are.
  bool Next(std::string* question);
  // The answers for the one Next offered.
  bool Restore(SculptDocument& document, Autosave& autosave);
  void Decline();

 private:
  std::vector<std::string> left_;
  size_t next_ = 0;
  std::string offered_;
  bool restored_ = false;
};

#pragma once
// Where the panel's slots are saved and loaded: the user's data folder (sculptures/ inside it),
// never the build or install tree, which `make clean` or an upgrade may wipe. Paths the panel
// uses stay "sculptures/slotN.sculpt", looked up through the roots returned here.
#include <string>

#include "file/file_util.h"

struct SculptureFolder {
  DataRoots roots;     // the user folder alone: a save that fails there never lands elsewhere
  std::string folder;  // the sculptures folder itself, for messages; empty without a user folder
};

// Makes <user data folder>/sculptures when missing. Without a usable user folder (logged) the
// panel's saves fail; they never fall back to the data roots. Slots found in the old place
// (sculptures/ under a data root) that the user folder lacks are named in the log; nothing is
// moved.
SculptureFolder PrepareSculptureFolder(const DataRoots& dataRoots);

#include "app/sculpture_folder.h"

#include <sys/stat.h>

#include "base/log.h"
#include "file/user_folder.h"

namespace {

constexpr int kSlotCount = 4;

bool IsFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Slots under the data roots (where earlier versions saved them) that the user folder lacks.
void ReportOldSlots(const DataRoots& dataRoots, const std::string& folder) {
  for (const std::string& root : dataRoots) {
    std::string found;
    for (int n = 1; n <= kSlotCount; ++n) {
      const std::string name = "slot" + std::to_string(n) + ".sculpt";
      if (IsFile(root + "sculptures/" + name) && !IsFile(folder + "/" + name)) {
        found += (found.empty() ? "" : ", ") + name;
      }
    }
    if (!found.empty()) {
      const std::string old = (root.empty() ? std::string("./") : root) + "sculptures";
      Log(LogLevel::Warning,
          "Sculptures are kept in %s now; move %s from %s there to load them",
          folder.c_str(), found.c_str(), old.c_str());
      return;  // the first root is the one those slots load from
    }
  }
}

}  // namespace

SculptureFolder PrepareSculptureFolder(const DataRoots& dataRoots) {
  SculptureFolder result;
  const std::string user = UserDataFolder();
  // Slots never go into the data tree, which a rebuild or an upgrade wipes: without a usable
  // folder a save fails and says why.
  if (user.empty()) {
    Log(LogLevel::Warning,
        "No user data folder (neither XDG_DATA_HOME nor HOME is set): slots cannot be saved");
    return result;
  }
  result.folder = user + "/sculptures";
  AddDataRoot(result.roots, user);
  std::string error;
  if (!MakeDirectories(result.folder, &error)) {
    // The root stays, so that each failed save names the folder and the system's reason.
    Log(LogLevel::Warning, "The sculptures folder cannot be made (%s): slots cannot be saved",
        error.c_str());
    return result;
  }
  ReportOldSlots(dataRoots, result.folder);
  return result;
}

#include "app/autosave_recovery.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "app/autosave.h"
#include "base/log.h"
#include "file/file_util.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/sculpture_file.h"

namespace {

// "autosave.sculpt" or "autosave-N.sculpt": the names Autosave gives its files.
bool IsAutosaveName(const std::string& name) {
  if (name == Autosave::kFirstName) return true;
  const std::string prefix = "autosave-", suffix = ".sculpt";
  if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
    return false;
  for (size_t i = prefix.size(); i < name.size() - suffix.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

bool ModifiedAt(const std::string& path, time_t* when) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return false;
  *when = info.st_mtime;
  return true;
}

std::string TimeText(time_t when, const char* format) {
  struct tm local;
  char text[64] = "";
  if (localtime_r(&when, &local) != nullptr) std::strftime(text, sizeof text, format, &local);
  return text;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The records of an autosave, or false with the reason.
bool ReadAutosave(const std::string& path, size_t* records, std::string* error) {
  FILE* file = OpenFile(path, "rb");
  if (file == nullptr) {
    *error = std::strerror(errno);
    return false;
  }
  SculptureHeader header;
  std::vector<SculptOp> read;
  std::string warning;
  const bool ok = ReadSculpture(file, path, header, read, *error, warning);
  std::fclose(file);
  // A damaged autosave is never loaded half-way in silence: what it lost is said first.
  if (ok && !warning.empty()) {
    *error = warning;
    return false;
  }
  *records = read.size();
  return ok;
}

}  // namespace

std::vector<std::string> LeftAutosaves(const std::string& folder, const std::string& own) {
  std::vector<std::pair<time_t, std::string>> found;
  if (DIR* dir = opendir(folder.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      const std::string path = folder + "/" + entry->d_name;
      time_t when = 0;
      if (!IsAutosaveName(entry->d_name) || path == own || !ModifiedAt(path, &when) ||
          Autosave::IsHeld(path))
        continue;
      found.emplace_back(when, path);
    }
    closedir(dir);
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> paths;
  time_t when = 0;
  if (!own.empty() && ModifiedAt(own, &when)) paths.push_back(own);
  for (const auto& entry : found) paths.push_back(entry.second);
  return paths;
}

std::string MoveAutosaveAside(const std::string& path) {
  time_t when = 0;
  if (!ModifiedAt(path, &when)) when = time(nullptr);
  const std::string base = FolderOf(path) + "/unsaved-" + TimeText(when, "%Y%m%d-%H%M%S");
  for (int n = 1; n < 1000; ++n) {
    char suffix[24] = ".sculpt";
    if (n > 1) std::snprintf(suffix, sizeof suffix, "-%d.sculpt", n);
    const std::string aside = base + suffix;
    // link then unlink: never over a file already there, as rename would.
    if (link(path.c_str(), aside.c_str()) == 0) {
      unlink(path.c_str());
      return aside;
    }
    if (errno != EEXIST) break;
  }
  Log(LogLevel::Warning, "Cannot move the autosave %s aside (%s); it stays where it is",
      path.c_str(), std::strerror(errno));
  return "";
}

void AutosaveRecovery::Find(const Autosave& autosave) {
  left_ = LeftAutosaves(FolderOf(autosave.Path()), autosave.Path());
  next_ = 0;
}

bool AutosaveRecovery::Next(std::string* question) {
  offered_.clear();
  while (next_ < left_.size()) {
    const std::string path = left_[next_++];
    size_t records = 0;
    std::string error;
    if (!ReadAutosave(path, &records, &error)) {
      const std::string aside = MoveAutosaveAside(path);
      Log(LogLevel::Warning, "The autosave %s cannot be restored (%s); it is kept as %s",
          path.c_str(), error.c_str(), aside.empty() ? path.c_str() : aside.c_str());
      continue;
    }
    if (restored_ || records == 0) {
      const std::string aside = MoveAutosaveAside(path);
      if (!aside.empty()) Log(LogLevel::Info, "An unsaved sculpture was kept as %s", aside.c_str());
      continue;
    }
    time_t when = 0;
    ModifiedAt(path, &when);
    char text[160];
    std::snprintf(text, sizeof text, "Restore the unsaved sculpture\n(%zu records, from %s)?",
                  records, TimeText(when, "%Y-%m-%d %H:%M").c_str());
    Log(LogLevel::Info, "Found an unsaved sculpture: %s (%zu records)", path.c_str(), records);
    offered_ = path;
    *question = text;
    return true;
  }
  return false;
}

bool AutosaveRecovery::Restore(SculptDocument& document, Autosave& autosave) {
  static const DataRoots kAsGiven = {""};
  if (offered_.empty() || !document.LoadSculpture(offered_, 0, &kAsGiven)) {
    Decline();
    return false;
  }
  // The autosave is not the person's file: the restored work is a sculpture to save anew.
  document.ForgetFile();
  document.MarkUnsaved();
  // Held by this program's own autosave before the file it came from goes.
  autosave.Keep(document.OperationLog());
  if (autosave.Flush() && offered_ != autosave.Path()) unlink(offered_.c_str());
  restored_ = true;
  Log(LogLevel::Info, "Restored the unsaved sculpture from %s", offered_.c_str());
  offered_.clear();
  return true;
}

void AutosaveRecovery::Decline() {
  if (offered_.empty()) return;
  const std::string aside = MoveAutosaveAside(offered_);
  if (!aside.empty()) Log(LogLevel::Info, "The unsaved sculpture was kept as %s", aside.c_str());
  offered_.clear();
}

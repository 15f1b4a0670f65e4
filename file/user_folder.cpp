#include "file/user_folder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// $VARIABLE/loomwork, else $HOME/fallback/loomwork; XDG wants absolute paths only.
std::string XdgFolder(const char* variable, const char* fallback) {
  const char* base = std::getenv(variable);
  if (base != nullptr && base[0] == '/') return std::string(base) + "/loomwork";
  const char* home = std::getenv("HOME");
  if (home != nullptr && home[0] == '/') return std::string(home) + fallback + "/loomwork";
  return "";
}

}  // namespace

std::string UserDataFolder() { return XdgFolder("XDG_DATA_HOME", "/.local/share"); }

std::string UserStateFolder() { return XdgFolder("XDG_STATE_HOME", "/.local/state"); }

bool MakeDirectories(const std::string& path, std::string* error) {
  if (path.empty()) {
    *error = "no folder named";
    return false;
  }
  for (size_t at = 1; at <= path.size(); ++at) {
    if (at != path.size() && path[at] != '/') continue;
    const std::string prefix = path.substr(0, at);
    if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) {
      *error = prefix + ": " + std::strerror(errno);
      return false;
    }
  }
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    *error = path + " is not a folder";
    return false;
  }
  return true;
}

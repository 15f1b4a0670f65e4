#include "file/installed_data_root.h"

#include <unistd.h>

#include <filesystem>
#include <vector>

#include "file/file_util.h"

namespace {

constexpr const char* kDataTreeMark = "script/sculpt.lua";

std::string ProgramFolder() {
  std::vector<char> buffer(4096);
  const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size());
  if (length <= 0 || size_t(length) >= buffer.size()) return {};
  const std::string path(buffer.data(), size_t(length));
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace

bool HoldsDataTree(const std::string& root) { return FileExists(root + kDataTreeMark); }

std::string DataRootBesideProgram(const std::string& relativePath) {
  const std::string folder = ProgramFolder();
  if (folder.empty() || relativePath.empty()) return {};
  // Without the "..", so the log names the folder a user finds in the file manager.
  const std::string root =
      std::filesystem::path(folder + relativePath + "/").lexically_normal().string();
  return HoldsDataTree(root) ? root : std::string();
}

std::string EffectiveDataRoot(const std::string& dataroot,
                              const std::vector<std::string>& relativePaths) {
  if (!dataroot.empty() || HoldsDataTree("")) return dataroot;
  for (const std::string& relativePath : relativePaths) {
    std::string root = DataRootBesideProgram(relativePath);
    if (!root.empty()) return root;
  }
  return {};
}

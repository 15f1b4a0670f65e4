#pragma once
// What the loomwork-tool tests share: the tool run in a folder of its own, its result, and the
// application's load path in this process to compare with what the tool wrote.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "sculpt/block_tessellator.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/voxel_grid.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_directory.h"

namespace tooltest {

constexpr size_t kGridFileBytes = size_t(kGridChannels) * kGridSize * kGridSize * kGridSize * 2;
static_assert(kGridFileBytes == 84934656);
constexpr size_t kPlyVertexBytes = 6 * 4 + 5;
constexpr size_t kPlyFaceBytes = 1 + 3 * 4;

struct ToolResult {
  int exitCode = -1;  // minus the signal number when the tool was killed
  std::string out, err;
};

inline std::string Slurp(const std::string& path) {
  std::string data;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[1 << 16];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), f)) > 0) data.append(buffer, n);
    std::fclose(f);
  }
  return data;
}

// The application's load path, in this process, for comparison with what the tool wrote.
struct InProcessSculpture {
  VoxelGrid grid{kGridSize, kGridChannels};
  BlockTessellator blocks{&grid, kBlockSize};
  SculptDocument document{&grid, nullptr};
  InProcessSculpture() { grid.listener = &blocks; }
};

class LoomworkToolTest : public ::testing::Test {
 protected:
  // Runs the tool with its output captured; fileSizeLimit > 0 caps the size of any file it
  // writes, which makes a write fail part-way through.
  ToolResult Run(const std::vector<std::string>& args, uint64_t fileSizeLimit = 0) {
    ProcessOptions options;
    options.workingDirectory = dir_.Path();
    options.fileSizeLimit = fileSizeLimit;
    const ProcessResult run = RunProcess(LOOMWORK_TOOL_PATH, args, options);
    ToolResult result;
    result.exitCode = run.exitCode;
    result.out = run.out;
    result.err = run.err;
    return result;
  }

  // Writes a scene through the tool and returns its path.
  std::string MakeScene(const std::string& name) {
    const std::string path = dir_.File(name + ".sculpt");
    const ToolResult result = Run({"scene", name, "-o", path});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return path;
  }

  // Names ending in .tmp anywhere under the working directory.
  std::vector<std::string> Temporaries() const {
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(dir_.Path()))
      if (entry.path().extension() == ".tmp") found.push_back(entry.path().string());
    return found;
  }

  std::set<std::string> Listing() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir_.Path()))
      names.insert(entry.path().filename().string());
    return names;
  }

  TempDirectory dir_;      // the tool's working directory and all its files
};

}  // namespace tooltest

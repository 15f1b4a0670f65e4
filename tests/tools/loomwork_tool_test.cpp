#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "sculpt/block_tessellator.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/sculpture_file.h"
#include "sculpt/stamp_mode.h"
#include "sculpt/stroke_sculpture.h"
#include "sculpt/test_scenes.h"
#include "sculpt/voxel_grid.h"
#include "tests/support/run_process.h"
#include "tests/support/temp_directory.h"

namespace {

constexpr size_t kGridFileBytes = size_t(kGridChannels) * kGridSize * kGridSize * kGridSize * 2;
static_assert(kGridFileBytes == 84934656);
constexpr size_t kPlyVertexBytes = 6 * 4 + 5;
constexpr size_t kPlyFaceBytes = 1 + 3 * 4;

struct ToolResult {
  int exitCode = -1;  // minus the signal number when the tool was killed
  std::string out, err;
};

std::string Slurp(const std::string& path) {
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

// Accepts exactly one flat JSON object whose values are numbers; fills `values`.
bool ParseFlatJsonNumbers(const std::string& text, std::map<std::string, double>& values) {
  size_t i = 0;
  auto skipSpace = [&] {
    while (i < text.size() &&
           (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n'))
      ++i;
  };
  auto expect = [&](char c) {
    skipSpace();
    if (i < text.size() && text[i] == c) return ++i, true;
    return false;
  };
  auto number = [&](double& value) {
    skipSpace();
    const size_t start = i;
    if (i < text.size() && text[i] == '-') ++i;
    if (i >= text.size() || !std::isdigit(uint8_t(text[i]))) return false;
    if (text[i] == '0')
      ++i;
    else
      while (i < text.size() && std::isdigit(uint8_t(text[i]))) ++i;
    if (i < text.size() && text[i] == '.') {
      ++i;
      if (i >= text.size() || !std::isdigit(uint8_t(text[i]))) return false;
      while (i < text.size() && std::isdigit(uint8_t(text[i]))) ++i;
    }
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
      ++i;
      if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
      if (i >= text.size() || !std::isdigit(uint8_t(text[i]))) return false;
      while (i < text.size() && std::isdigit(uint8_t(text[i]))) ++i;
    }
    value = std::strtod(text.substr(start, i - start).c_str(), nullptr);
    return true;
  };
  if (!expect('{')) return false;
  do {
    if (!expect('"')) return false;
    const size_t end = text.find('"', i);
    if (end == std::string::npos) return false;
    const std::string key = text.substr(i, end - i);
    i = end + 1;
    double value;
    if (!expect(':') || !number(value) || values.count(key)) return false;
    values[key] = value;
  } while (expect(','));
  if (!expect('}')) return false;
  skipSpace();
  return i == text.size();
}

// File type bits of what is at `path` itself (a link is not followed); 0 when nothing is.
unsigned KindOf(const std::string& path) {
  struct stat info;
  return lstat(path.c_str(), &info) == 0 ? unsigned(info.st_mode & S_IFMT) : 0u;
}

// Sends a signal to the writer of a temporary file for `name` in `directory` the moment the file
// appears (`event` IN_CREATE) or is first written (IN_MODIFY), while the writer is busy with it.
// The writer's process id is part of the name.
class SignalOnTemporaryFile {
 public:
  SignalOnTemporaryFile(const std::string& directory, const std::string& name, uint32_t event,
                        int signalNumber)
      : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    EXPECT_GE(fd_, 0);
    EXPECT_GE(inotify_add_watch(fd_, directory.c_str(), event), 0);
    const std::string prefix = "." + name + ".";
    watcher_ = std::thread([this, prefix, signalNumber] {
      alignas(inotify_event) char buffer[4096];
      while (!stop_ && !sent_) {
        pollfd ready{fd_, POLLIN, 0};
        if (poll(&ready, 1, 20) <= 0) continue;
        const ssize_t length = read(fd_, buffer, sizeof buffer);
        for (ssize_t at = 0; at < length && !sent_;) {
          const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
          at += ssize_t(sizeof(inotify_event) + event->len);
          const std::string created = event->len > 0 ? event->name : "";
          if (created.compare(0, prefix.size(), prefix) != 0) continue;
          const int pid = std::atoi(created.c_str() + prefix.size());
          if (pid > 0 && kill(pid, signalNumber) == 0) sent_ = true;
        }
      }
    });
  }
  ~SignalOnTemporaryFile() {
    stop_ = true;
    watcher_.join();
    close(fd_);
  }
  bool Sent() const { return sent_; }

 private:
  int fd_;
  std::atomic<bool> stop_{false}, sent_{false};
  std::thread watcher_;
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

TEST_F(LoomworkToolTest, UsageErrorsExitTwoWithUsageOnStderr) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{}, "no command"},
      {{"sculpt"}, "unknown command 'sculpt'"},
      {{"info"}, "info needs a sculpture file"},
      {{"info", "a.sculpt", "b.sculpt"}, "unexpected 'b.sculpt'"},
      {{"scene", "materials"}, "needs an output file"},
      {{"grid", "a.sculpt"}, "needs an output file"},
      {{"mesh", "a.sculpt", "-o"}, "-o needs a file name"},
      {{"mesh", "a.sculpt", "--output"}, "--output needs a file name"},
      {{"mesh", "a.sculpt", "--output="}, "empty"},
      {{"mesh", "a.sculpt", "-o", "x.ply", "--output", "y.ply"}, "more than once"},
      {{"mesh", "a.sculpt", "-o", "x.ply", "--wireframe"}, "unknown option '--wireframe'"},
      {{"info", "a.sculpt", "-o", "x"}, "-o is not accepted"},
      {{"grid", "a.sculpt", "-o", "x", "--stats"}, "--stats is accepted by mesh and export only"},
      // The known names are listed so the user can pick one.
      {{"scene", "teapot", "-o", "t.sculpt"}, "materials, default, marble"},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& a : c.args) joined += " " + a;
    SCOPED_TRACE("loomwork-tool" + joined);
    const ToolResult result = Run(c.args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Usage:"), std::string::npos);
    EXPECT_EQ(result.out, "");
  }
  EXPECT_TRUE(Listing().empty()) << "a usage error wrote a file";
}

TEST_F(LoomworkToolTest, HelpGoesToStdoutAndSucceeds) {
  const std::vector<std::string> cases[] = {{"--help"}, {"-h"}, {"help"}, {"mesh", "--help"}};
  for (const auto& args : cases) {
    SCOPED_TRACE(args.back());
    const ToolResult result = Run(args);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("Usage:"), std::string::npos);
    for (const char* command : {"scene", "info", "grid", "mesh", "--stats"})
      EXPECT_NE(result.out.find(command), std::string::npos) << command;
    EXPECT_EQ(result.err, "");
  }
}

TEST_F(LoomworkToolTest, SceneRoundTripsThroughInfo) {
  struct Case {
    const char* scene;
    const char* count;
    const char* types;
    const char* modes;
    std::vector<SculptOp> records;
  };
  const Case cases[] = {
      {"materials", "513", "types: clear 1, sphere 512, box 0, cylinder 0, other 0",
       "modes: set 0, add 512, subtract 0, sandpaper 0, buff 0, other 0",
       TestSceneRecords("materials")},
      {"default", "4", "types: clear 1, sphere 2, box 1, cylinder 0, other 0",
       "modes: set 0, add 2, subtract 1, sandpaper 0, buff 0, other 0",
       TestSceneRecords("default")},
      {"strokes", "50000", "types: clear 4, sphere 49996, box 0, cylinder 0, other 0",
       "modes: set 10577, add 20381, subtract 12752, sandpaper 0, buff 6286, other 0",
       StrokeSculptureRecords(50000)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scene);
    const std::string path = MakeScene(c.scene);
    const std::vector<uint8_t> expected = SerializeSculpture(c.records);
    EXPECT_EQ(Slurp(path), std::string(expected.begin(), expected.end()));

    const ToolResult info = Run({"info", path});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_EQ(info.err, "");
    for (std::string line :
         {std::string("magic: RDLM"), std::string("version: 1"), "count: " + std::string(c.count),
          "records: " + std::string(c.count), std::string(c.types), std::string(c.modes)})
      EXPECT_NE(info.out.find(line + "\n"), std::string::npos) << line << "\n" << info.out;
  }
}

TEST_F(LoomworkToolTest, OutputOptionSpellingsWriteTheSameFile) {
  const std::vector<std::string> spellings[] = {
      {"-o", "a.sculpt"}, {"--output", "b.sculpt"}, {"--output=c.sculpt"}};
  for (const auto& spelling : spellings) {
    std::vector<std::string> args = {"scene", "marble"};
    args.insert(args.end(), spelling.begin(), spelling.end());
    EXPECT_EQ(Run(args).exitCode, 0) << spelling[0];
  }
  const std::vector<uint8_t> expected = SerializeSculpture(TestSceneRecords("marble"));
  for (const char* name : {"a.sculpt", "b.sculpt", "c.sculpt"})
    EXPECT_EQ(Slurp(dir_.File(name)), std::string(expected.begin(), expected.end())) << name;
}

TEST_F(LoomworkToolTest, InfoCountsUnknownTypesAndModesAsOther) {
  std::vector<SculptOp> records(5);
  records[0].type = kOpClear;
  records[1].type = 7;
  records[2].type = kOpCylinder, records[2].mode = kStampSet;
  records[3].type = kOpBox, records[3].mode = kStampBuff;
  records[4].type = kOpSphere, records[4].mode = 42;
  const std::vector<uint8_t> bytes = SerializeSculpture(records);
  dir_.WriteFile("mixed.sculpt", std::string(bytes.begin(), bytes.end()) + "tail");

  const ToolResult info = Run({"info", "mixed.sculpt"});
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find("types: clear 1, sphere 1, box 1, cylinder 1, other 1\n"),
            std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("modes: set 1, add 0, subtract 0, sandpaper 0, buff 1, other 1\n"),
            std::string::npos)
      << info.out;
  // Bytes after the last record are loadable but worth a warning.
  EXPECT_NE(info.err.find("warning"), std::string::npos) << info.err;
}

TEST_F(LoomworkToolTest, DamagedOrMissingInputFailsWithoutWritingAnything) {
  const std::vector<uint8_t> good = SerializeSculpture(TestSceneRecords("materials"));
  std::vector<uint8_t> badMagic = good;
  badMagic[0] = 'X';
  std::vector<uint8_t> badVersion = good;
  badVersion[4] = 2;

  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* message;
  };
  const Case cases[] = {
      {"truncated header", std::vector<uint8_t>(good.begin(), good.begin() + 8), "too short"},
      {"wrong magic", badMagic, "'in.sculpt' is not a sculpture file: bad magic"},
      {"wrong version", badVersion, "'in.sculpt' has version 2;"},
  };
  dir_.MakeDirectory("folder.sculpt");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir_.WriteFile("in.sculpt", std::string(c.bytes.begin(), c.bytes.end()));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"info", "in.sculpt"},
          {"grid", "in.sculpt", "-o", "out.grid"},
          {"mesh", "in.sculpt", "-o", "out.ply", "--stats"}}) {
      SCOPED_TRACE(args[0]);
      const ToolResult result = Run(args);
      EXPECT_EQ(result.exitCode, 1);
      EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
      EXPECT_EQ(result.out, "");
    }
  }
  for (const char* input : {"missing.sculpt", "folder.sculpt"}) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"info", input},
                                                 {"grid", input, "-o", "out.grid"},
                                                 {"mesh", input, "-o", "out.ply"}}) {
      SCOPED_TRACE(args[0] + " " + input);
      const ToolResult result = Run(args);
      EXPECT_EQ(result.exitCode, 1);
      EXPECT_NE(result.err.find(input), std::string::npos) << result.err;
    }
  }
  EXPECT_EQ(Listing(), (std::set<std::string>{"in.sculpt", "folder.sculpt"}));
}

// Damage after a good header loses only the damaged records: the rest load, with a warning that
// names the file and says what was lost.
TEST_F(LoomworkToolTest, DamagedRecordsAreSkippedWithAWarning) {
  const std::vector<uint8_t> good = SerializeSculpture(TestSceneRecords("marble"));
  std::vector<uint8_t> longCount = good;
  longCount[8] = 5;
  std::vector<uint8_t> nanRadius = good;
  const float nan = NAN;
  std::memcpy(nanRadius.data() + kSculptureHeaderSize + sizeof(SculptOp) + offsetof(SculptOp, radius),
              &nan, 4);
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* warning;
  } cases[] = {
      {"count past the end", longCount, "'in.sculpt' is cut short: it holds 2 of the 5 records"},
      {"cut inside a record", std::vector<uint8_t>(good.begin(), good.end() - 50),
       "holds 1 of the 2 records"},
      {"NaN radius", nanRadius, "1 record holding numbers that are not finite was skipped"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dir_.WriteFile("in.sculpt", std::string(c.bytes.begin(), c.bytes.end()));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"info", "in.sculpt"}, {"grid", "in.sculpt", "-o", "out.grid"}}) {
      const ToolResult result = Run(args);
      EXPECT_EQ(result.exitCode, 0) << result.err;
      EXPECT_NE(result.err.find(c.warning), std::string::npos) << result.err;
    }
  }
}

// The output may not be the input by any of its names; the input is left as it was.
TEST_F(LoomworkToolTest, OutputThatIsTheInputIsRefused) {
  const std::string input = MakeScene("marble");
  const std::string before = dir_.ReadFile("marble.sculpt");
  ASSERT_EQ(link(input.c_str(), dir_.File("hard.sculpt").c_str()), 0);
  ASSERT_EQ(symlink("marble.sculpt", dir_.File("soft.sculpt").c_str()), 0);
  for (const char* command : {"grid", "mesh"}) {
    for (const char* output : {"marble.sculpt", "./marble.sculpt", "hard.sculpt", "soft.sculpt"}) {
      SCOPED_TRACE(std::string(command) + " -o " + output);
      const ToolResult result = Run({command, "marble.sculpt", "-o", output});
      EXPECT_EQ(result.exitCode, 2);
      EXPECT_NE(result.err.find("would overwrite its input"), std::string::npos) << result.err;
      EXPECT_EQ(dir_.ReadFile("marble.sculpt"), before);
    }
  }
  // Every command that writes, with the input and the output spelt differently. The export's
  // output needs a known extension, which a hard link or a symbolic link to the input can have.
  ASSERT_EQ(link(input.c_str(), dir_.File("hard.glb").c_str()), 0);
  ASSERT_EQ(symlink(input.c_str(), dir_.File("soft.ply").c_str()), 0);
  dir_.MakeDirectory("sub");
  const struct {
    std::vector<std::string> args;
  } cases[] = {
      {{"grid", input, "--output=./sub/../marble.sculpt"}},
      {{"mesh", "./marble.sculpt", "-o", input}},
      {{"grid", "soft.sculpt", "--at", "1", "-o", "hard.sculpt"}},
      {{"export", "marble.sculpt", "-o", "hard.glb"}},
      {{"export", "soft.sculpt", "-o", "soft.ply", "--stats"}},
  };
  for (const auto& c : cases) {
    std::string joined;
    for (const std::string& a : c.args) joined += " " + a;
    SCOPED_TRACE(joined);
    const ToolResult result = Run(c.args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("would overwrite its input"), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(dir_.ReadFile("marble.sculpt"), before);
  }
  // "-" is standard output.
  const ToolResult grid = Run({"grid", "marble.sculpt", "-o", "-"});
  EXPECT_EQ(grid.exitCode, 0) << grid.err;
  EXPECT_EQ(grid.out.size(), kGridFileBytes);
}

// A .gltf export also writes its buffer beside it (s.gltf, s.bin): that file may not be the input
// by any of its names either.
TEST_F(LoomworkToolTest, GltfBufferThatIsTheInputIsRefused) {
  ASSERT_EQ(Run({"scene", "marble", "-o", "s.bin"}).exitCode, 0);
  const std::string before = dir_.ReadFile("s.bin");
  ASSERT_EQ(symlink("s.bin", dir_.File("soft.bin").c_str()), 0);
  ASSERT_EQ(link(dir_.File("s.bin").c_str(), dir_.File("hard.bin").c_str()), 0);
  const std::set<std::string> listing = Listing();
  const struct {
    const char* output;
    const char* buffer;
  } cases[] = {
      {"s.gltf", "s.bin"},
      {"./s.GLTF", "./s.bin"},
      {"soft.gltf", "soft.bin"},
      {"hard.gltf", "hard.bin"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    const ToolResult result = Run({"export", "s.bin", "-o", c.output, "--stats"});
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find("'" + std::string(c.buffer) + "'"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("would overwrite its input 's.bin'"), std::string::npos)
        << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(dir_.ReadFile("s.bin") == before) << "the input was changed";
    EXPECT_EQ(Listing(), listing);
  }
}

// An output that names an open descriptor (-, /dev/stdout, /dev/fd/N) is the input when the shell
// opened that descriptor on it; writing there would destroy the input as surely as -o FILE.
TEST_F(LoomworkToolTest, DescriptorOutputOpenOnTheInputIsRefused) {
  MakeScene("marble");
  const std::string before = dir_.ReadFile("marble.sculpt");
  ASSERT_EQ(link(dir_.File("marble.sculpt").c_str(), dir_.File("hard.sculpt").c_str()), 0);
  const std::string tool = std::string("'") + LOOMWORK_TOOL_PATH + "' ";
  const char* refused[] = {
      "grid marble.sculpt -o - 1<>marble.sculpt",
      "grid marble.sculpt -o - >>marble.sculpt",
      "grid marble.sculpt -o - 1<>hard.sculpt",
      "mesh marble.sculpt -o - 1<>marble.sculpt",
      "mesh marble.sculpt -o /dev/stdout 1<>marble.sculpt",
      "grid marble.sculpt -o /dev/fd/3 3<>marble.sculpt",
      "grid marble.sculpt -o /proc/self/fd/3 3<>marble.sculpt",
  };
  ProcessOptions options;
  options.workingDirectory = dir_.Path();
  for (const char* command : refused) {
    SCOPED_TRACE(command);
    const ProcessResult run = RunProcess("/bin/sh", {"-c", tool + command}, options);
    EXPECT_EQ(run.exitCode, 2) << run.Describe();
    EXPECT_NE(run.err.find("would overwrite its input 'marble.sculpt'"), std::string::npos)
        << run.err;
    EXPECT_TRUE(dir_.ReadFile("marble.sculpt") == before) << "the input was changed";
  }
  // A descriptor open on another file is written as before.
  const ProcessResult other =
      RunProcess("/bin/sh", {"-c", tool + "grid marble.sculpt -o - 1<>other.grid"}, options);
  EXPECT_EQ(other.exitCode, 0) << other.Describe();
  EXPECT_EQ(dir_.ReadFile("other.grid").size(), kGridFileBytes);
  EXPECT_TRUE(dir_.ReadFile("marble.sculpt") == before) << "the input was changed";
}

// What the output names decides how it is written: a file or a new name is replaced whole, a
// link is written through to its target and stays a link, a FIFO, a device or standard output is
// written as a stream and keeps its kind.
TEST_F(LoomworkToolTest, EachKindOfOutputIsWrittenTheWayItNeeds) {
  const std::vector<uint8_t> serialized = SerializeSculpture(TestSceneRecords("marble"));
  const std::string expected(serialized.begin(), serialized.end());
  dir_.MakeDirectory("sub");
  dir_.WriteFile("old.sculpt", "previous contents, longer than the new ones");
  dir_.WriteFile("sub/real.sculpt", "previous");
  ASSERT_EQ(symlink("sub/real.sculpt", dir_.File("link.sculpt").c_str()), 0);
  ASSERT_EQ(symlink(dir_.File("sub/made.sculpt").c_str(), dir_.File("dangling.sculpt").c_str()),
            0);
  ASSERT_EQ(mkfifo(dir_.File("pipe").c_str(), 0600), 0);

  const struct {
    const char* output;
    const char* arrivesAt;  // where the bytes are read back: a file, or "stdout"
    std::string kept;       // a path whose kind must stay as it is
  } cases[] = {
      {"new.sculpt", "new.sculpt", ""},
      {"old.sculpt", "old.sculpt", ""},
      {"link.sculpt", "sub/real.sculpt", dir_.File("link.sculpt")},
      {"dangling.sculpt", "sub/made.sculpt", dir_.File("dangling.sculpt")},
      {"pipe", "pipe", dir_.File("pipe")},
      {"/dev/null", "", "/dev/null"},
      {"-", "stdout", ""},
      {"/dev/stdout", "stdout", ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.output);
    const unsigned kindBefore = c.kept.empty() ? 0 : KindOf(c.kept);
    // A FIFO is written only while someone reads it.
    std::string fromPipe;
    std::thread reader;
    if (std::string(c.output) == "pipe") {
      reader = std::thread([&] {
        std::ifstream pipe(dir_.File("pipe"), std::ios::binary);
        fromPipe.assign(std::istreambuf_iterator<char>(pipe), std::istreambuf_iterator<char>());
      });
    }
    const ToolResult result = Run({"scene", "marble", "-o", c.output});
    if (reader.joinable()) reader.join();
    EXPECT_EQ(result.exitCode, 0) << result.err;
    EXPECT_EQ(result.err, "");
    const std::string arrivesAt = c.arrivesAt;
    if (arrivesAt == "stdout") {
      EXPECT_EQ(result.out, expected);
    } else {
      EXPECT_EQ(result.out, "");
      if (arrivesAt == "pipe") {
        EXPECT_EQ(fromPipe, expected);
      } else if (!arrivesAt.empty()) {
        EXPECT_EQ(dir_.ReadFile(arrivesAt), expected);
      }
    }
    if (!c.kept.empty()) {
      EXPECT_EQ(KindOf(c.kept), kindBefore);
    }
    EXPECT_EQ(Temporaries(), std::vector<std::string>{});
  }
}

// Names of the tool's own open descriptors (/dev/stdout, /dev/fd/N) write to that descriptor,
// so a shell's pipe or appending redirection works as it does with "-".
TEST_F(LoomworkToolTest, DescriptorNamesWriteToTheOpenDescriptor) {
  const std::vector<uint8_t> serialized = SerializeSculpture(TestSceneRecords("marble"));
  const std::string expected(serialized.begin(), serialized.end());
  const std::string tool = std::string("'") + LOOMWORK_TOOL_PATH + "' scene marble -o ";
  const struct {
    std::string command;
    const char* file;
    std::string contents;
  } cases[] = {
      {tool + "/dev/stdout | cat > piped", "piped", expected},
      {tool + "- | cat > dash", "dash", expected},
      {"echo head > appended && " + tool + "/dev/stdout >> appended", "appended",
       "head\n" + expected},
      {tool + "/dev/fd/3 3> three", "three", expected},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.command);
    ProcessOptions options;
    options.workingDirectory = dir_.Path();
    const ProcessResult run = RunProcess("/bin/sh", {"-c", c.command}, options);
    EXPECT_EQ(run.exitCode, 0) << run.Describe();
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(dir_.ReadFile(c.file), c.contents);
  }
  EXPECT_EQ(Temporaries(), std::vector<std::string>{});
}

// Ctrl+C or a kill in the middle of writing removes the temporary file, the tool still ends by
// that signal, and the previous output is kept.
TEST_F(LoomworkToolTest, SignalsDuringAWriteLeaveNoTemporaryFile) {
  // A shell started in the background may have left SIGINT ignored, which the tool would inherit
  // and rightly keep.
  struct DefaultInterrupt {
    struct sigaction previous;
    DefaultInterrupt() {
      struct sigaction action = {};
      action.sa_handler = SIG_DFL;
      sigaction(SIGINT, &action, &previous);
    }
    ~DefaultInterrupt() { sigaction(SIGINT, &previous, nullptr); }
  } defaultInterrupt;

  const std::string input = MakeScene("materials");
  dir_.MakeDirectory("sub");
  ASSERT_EQ(symlink("sub/real.grid", dir_.File("link.grid").c_str()), 0);
  const struct {
    const char* output;
    const char* directory;  // where the temporary file is made: beside the link's target
    const char* name;
    const char* previous;
  } outputs[] = {
      {"out.grid", "", "out.grid", "out.grid"},
      {"link.grid", "sub", "real.grid", "sub/real.grid"},
  };
  for (int signalNumber : {SIGTERM, SIGINT}) {
    for (const auto& o : outputs) {
      for (uint32_t event : {uint32_t(IN_CREATE), uint32_t(IN_MODIFY)}) {
        SCOPED_TRACE(std::string(strsignal(signalNumber)) + ", -o " + o.output +
                     (event == IN_CREATE ? ", as the file is made" : ", once data is in it"));
        dir_.WriteFile(o.previous, "previous");
        ToolResult result;
        bool sent = false;
        {
          SignalOnTemporaryFile signaller(dir_.File(o.directory), o.name, event, signalNumber);
          result = Run({"grid", input, "-o", o.output});
          sent = signaller.Sent();
        }
        ASSERT_TRUE(sent) << "no temporary file was seen";
        EXPECT_EQ(result.exitCode, -signalNumber) << result.err;
        EXPECT_EQ(Temporaries(), std::vector<std::string>{});
        EXPECT_EQ(dir_.ReadFile(o.previous), "previous");
        EXPECT_EQ(KindOf(dir_.File("link.grid")), unsigned(S_IFLNK));
      }
    }
  }
}

TEST_F(LoomworkToolTest, GridIsTheInProcessLoadByteForByte) {
  const std::string path = MakeScene("materials");
  const ToolResult result = Run({"grid", path, "-o", "materials.grid"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "");
  const std::string written = Slurp(dir_.File("materials.grid"));
  ASSERT_EQ(written.size(), kGridFileBytes);

  auto loaded = std::make_unique<InProcessSculpture>();
  ASSERT_TRUE(loaded->document.LoadSculpture(path, 0));
  EXPECT_EQ(std::memcmp(written.data(), loaded->grid.samples.data(), kGridFileBytes), 0);
  // Guards against both sides being an empty grid.
  const int16_t* shape = loaded->grid.ChannelData(kChannelShape);
  EXPECT_TRUE(
      std::any_of(shape, shape + loaded->grid.channelSize, [](int16_t s) { return s > 0; }));
}

// grid --at N is the grid after the file's first N records, as the history scrubber shows it.
TEST_F(LoomworkToolTest, GridAtAPointOfTheHistoryAndTheHistoryListing) {
  const std::string path = MakeScene("materials");
  const std::vector<SculptOp> records = TestSceneRecords("materials");
  for (size_t at : {size_t(0), size_t(1), size_t(200), records.size()}) {
    SCOPED_TRACE(at);
    const ToolResult result = Run({"grid", path, "--at", std::to_string(at), "-o", "at.grid"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    auto expected = std::make_unique<InProcessSculpture>();
    for (size_t i = 0; i < at; ++i) expected->document.ApplyOperation(records[i]);
    const std::string written = Slurp(dir_.File("at.grid"));
    ASSERT_EQ(written.size(), kGridFileBytes);
    EXPECT_EQ(std::memcmp(written.data(), expected->grid.samples.data(), kGridFileBytes), 0);
  }
  const ToolResult past = Run({"grid", path, "--at", "514", "-o", "at.grid"});
  EXPECT_EQ(past.exitCode, 2);
  EXPECT_NE(past.err.find("--at 514 is past the end"), std::string::npos) << past.err;
  for (const char* bad : {"-1", "x", ""})
    EXPECT_EQ(Run({"grid", path, "--at", bad, "-o", "a"}).exitCode, 2) << bad;
  EXPECT_EQ(Run({"mesh", path, "--at", "3", "-o", "a.ply"}).exitCode, 2);

  const ToolResult history = Run({"history", path});
  EXPECT_EQ(history.exitCode, 0) << history.err;
  EXPECT_EQ(history.out,
            "units: 1\nunit 1: load of 513 records (steps 1 to 513 of the scrubber)\n"
            "  records 1 to 513: starts by clearing every channel\n");
}

// export: the welded surface in each format, its figures with --stats, and its argument errors.
TEST_F(LoomworkToolTest, ExportWritesEachFormatAndRefusesBadArguments) {
  const std::string input = MakeScene("default");
  for (const char* output : {"s.glb", "s.gltf", "s.obj", "s.stl", "s.ply"}) {
    SCOPED_TRACE(output);
    const ToolResult result = Run({"export", input, "-o", output, "--stats"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::map<std::string, double> stats;
    ASSERT_TRUE(ParseFlatJsonNumbers(result.out, stats)) << result.out;
    EXPECT_GT(stats["triangles"], 1000);
    EXPECT_LT(stats["vertices"] * 5, stats["raw_vertices"]);
    EXPECT_FALSE(dir_.ReadFile(output).empty());
  }
  const ToolResult simplified = Run({"export", input, "-o", "half.obj", "--simplify", "0.5"});
  EXPECT_EQ(simplified.exitCode, 0) << simplified.err;
  EXPECT_LT(dir_.ReadFile("half.obj").size(), dir_.ReadFile("s.obj").size());

  dir_.WriteFile("keep.glb", "previous");
  const std::vector<uint8_t> empty = SerializeSculpture({});
  dir_.WriteFile("empty.sculpt", std::string(empty.begin(), empty.end()));
  const struct {
    std::vector<std::string> args;
    int exitCode;
    const char* message;
  } cases[] = {
      {{"export", input, "-o", "s.fbx"}, 2, "no known extension"},
      {{"export", input, "-o", "s.obj", "--simplify", "0"}, 2, "--simplify takes a ratio"},
      {{"export", input, "-o", "s.obj", "--simplify", "1.5"}, 2, "--simplify takes a ratio"},
      {{"export", input, "-o", "s.stl", "--units", "inch"}, 2, "--units takes mm or m"},
      {{"export", input, "-o", "s.glb", "--units", "mm"}, 2, "glTF is always in metres"},
      {{"mesh", input, "-o", "s.ply", "--units", "m"}, 2, "accepted by export only"},
      {{"export", "empty.sculpt", "-o", "keep.glb"}, 1, "has no surface to write"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args[3]);
    const ToolResult result = Run(c.args);
    EXPECT_EQ(result.exitCode, c.exitCode) << result.err;
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
  }
  EXPECT_EQ(dir_.ReadFile("keep.glb"), "previous");
  // A write that fails part-way (a full disk, here a file-size limit) leaves the old file whole.
  for (const char* output : {"keep.glb", "keep.stl"}) {
    dir_.WriteFile(output, "previous");
    const ToolResult full = Run({"export", input, "-o", output}, 4096);
    EXPECT_EQ(full.exitCode, 1) << full.err;
    EXPECT_EQ(dir_.ReadFile(output), "previous");
  }
}

// A sculpture with no surface has nothing to write: mesh and export say so in the same words, fail
// alike, and leave an existing output as it was.
TEST_F(LoomworkToolTest, NoSurfaceIsRefusedAlikeByMeshAndExport) {
  const std::vector<uint8_t> empty = SerializeSculpture({});
  std::vector<SculptOp> records = TestSceneRecords("default");
  SculptOp clear;
  clear.type = kOpClear;
  clear.channelMask = kAllChannels;
  records.push_back(clear);
  const std::vector<uint8_t> cleared = SerializeSculpture(records);
  dir_.WriteFile("empty.sculpt", std::string(empty.begin(), empty.end()));
  dir_.WriteFile("cleared.sculpt", std::string(cleared.begin(), cleared.end()));
  for (const char* input : {"empty.sculpt", "cleared.sculpt"}) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"mesh", input, "-o", "out.ply", "--stats"},
          {"export", input, "-o", "out.ply", "--stats"},
          {"export", input, "-o", "out.gltf"}}) {
      SCOPED_TRACE(args[0] + " " + input + " -o " + args[3]);
      dir_.WriteFile(args[3], "previous");
      const std::set<std::string> before = Listing();
      const ToolResult result = Run(args);
      EXPECT_EQ(result.exitCode, 1);
      EXPECT_EQ(result.err,
                "loomwork-tool: error: '" + std::string(input) + "' has no surface to write\n");
      EXPECT_EQ(result.out, "");
      EXPECT_EQ(dir_.ReadFile(args[3]), "previous");
      EXPECT_EQ(Listing(), before);
    }
  }
}

struct PlyFile {
  size_t vertexCount = 0, faceCount = 0;
  std::string body;  // everything after end_header
};

// Checks the header line by line against the layout the tool promises.
bool ParsePly(const std::string& data, PlyFile& ply) {
  const size_t end = data.find("end_header\n");
  if (end == std::string::npos) return false;
  const std::string header = data.substr(0, end + 11);
  ply.body = data.substr(end + 11);
  char expected[1024];
  unsigned long long v = 0, f = 0;
  const size_t vertexAt = header.find("element vertex ");
  const size_t faceAt = header.find("element face ");
  if (vertexAt == std::string::npos || faceAt == std::string::npos ||
      std::sscanf(header.c_str() + vertexAt, "element vertex %llu", &v) != 1 ||
      std::sscanf(header.c_str() + faceAt, "element face %llu", &f) != 1)
    return false;
  std::snprintf(expected, sizeof(expected),
                "ply\nformat binary_little_endian 1.0\nelement vertex %llu\n"
                "property float x\nproperty float y\nproperty float z\n"
                "property float nx\nproperty float ny\nproperty float nz\n"
                "property uchar red\nproperty uchar green\nproperty uchar blue\n"
                "property uchar metalness\nproperty uchar roughness\n"
                "element face %llu\nproperty list uchar int vertex_indices\nend_header\n",
                v, f);
  ply.vertexCount = v;
  ply.faceCount = f;
  return header == expected;
}

TEST_F(LoomworkToolTest, MeshIsTheInProcessExtraction) {
  const std::string path = MakeScene("materials");
  const ToolResult result = Run({"mesh", path, "-o", "materials.ply"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "") << "stats only when asked";
  PlyFile ply;
  ASSERT_TRUE(ParsePly(Slurp(dir_.File("materials.ply")), ply));

  auto loaded = std::make_unique<InProcessSculpture>();
  ASSERT_TRUE(loaded->document.LoadSculpture(path, 0));
  loaded->blocks.ExtractDirtyBlocks(INFINITY);
  std::vector<const SculptVertex*> vertices;  // in the order the tool must write them
  for (int b = 0; b < loaded->blocks.blockCount; ++b)
    for (const SculptVertex& v : loaded->blocks.Block(b).vertices) vertices.push_back(&v);

  ASSERT_GT(vertices.size(), 0u);
  ASSERT_EQ(ply.vertexCount, vertices.size());
  ASSERT_EQ(ply.faceCount, vertices.size() / 3);
  ASSERT_EQ(ply.body.size(), ply.vertexCount * kPlyVertexBytes + ply.faceCount * kPlyFaceBytes);

  for (size_t i = 0; i < ply.vertexCount; ++i) {
    const char* record = ply.body.data() + i * kPlyVertexBytes;
    float values[6];
    std::memcpy(values, record, sizeof(values));
    const double length = std::sqrt(double(values[3]) * values[3] + double(values[4]) * values[4] +
                                    double(values[5]) * values[5]);
    if (length != 0.0) {
      ASSERT_NEAR(length, 1.0, 1e-5) << "vertex " << i;
    }
    // Inside the grid's world box: x and z in -1..1 m, y in 0..2 m.
    ASSERT_TRUE(values[0] >= -1 && values[0] <= 1 && values[1] >= 0 && values[1] <= 2 &&
                values[2] >= -1 && values[2] <= 1)
        << "vertex " << i;
  }
  for (size_t i : {size_t(0), vertices.size() / 2, vertices.size() - 1}) {
    SCOPED_TRACE(i);
    const SculptVertex& v = *vertices[i];
    const char* record = ply.body.data() + i * kPlyVertexBytes;
    float values[6];
    std::memcpy(values, record, sizeof(values));
    EXPECT_EQ(values[0], v.position[0] / 96.0f - 1.0f);
    EXPECT_EQ(values[1], v.position[1] / 96.0f);
    EXPECT_EQ(values[2], v.position[2] / 96.0f - 1.0f);
    const float gradient = std::sqrt(v.normal[0] * v.normal[0] + v.normal[1] * v.normal[1] +
                                     v.normal[2] * v.normal[2]);
    for (int a = 0; a < 3; ++a) EXPECT_NEAR(values[3 + a], v.normal[a] / gradient, 1e-5);
    const uint8_t expectedBytes[5] = {v.colour[0], v.colour[1], v.colour[2], v.material[0],
                                      v.material[1]};
    EXPECT_EQ(std::memcmp(record + 24, expectedBytes, 5), 0);
  }
  const char* faces = ply.body.data() + ply.vertexCount * kPlyVertexBytes;
  for (size_t f = 0; f < ply.faceCount; ++f) {
    const char* face = faces + f * kPlyFaceBytes;
    int32_t indices[3];
    std::memcpy(indices, face + 1, sizeof(indices));
    ASSERT_TRUE(face[0] == 3 && indices[0] == int32_t(3 * f) && indices[1] == int32_t(3 * f + 1) &&
                indices[2] == int32_t(3 * f + 2))
        << "face " << f;
  }
}

TEST_F(LoomworkToolTest, MeshStatsIsOneJsonLine) {
  const std::string path = MakeScene("materials");
  const ToolResult result = Run({"mesh", path, "-o", "materials.ply", "--stats"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  ASSERT_FALSE(result.out.empty());
  EXPECT_EQ(result.out.find('\n'), result.out.size() - 1) << result.out;
  std::map<std::string, double> stats;
  ASSERT_TRUE(ParseFlatJsonNumbers(result.out, stats)) << result.out;
  ASSERT_EQ(stats.size(), 5u) << result.out;
  EXPECT_EQ(stats["records"], 513);
  PlyFile ply;
  ASSERT_TRUE(ParsePly(Slurp(dir_.File("materials.ply")), ply));
  EXPECT_EQ(stats["triangles"], double(ply.faceCount));
  EXPECT_GE(stats["apply_ms"], 0);
  EXPECT_GE(stats["extract_ms"], 0);
  EXPECT_GE(stats["warm_extract_ms"], 0);
}

TEST_F(LoomworkToolTest, FailedWritesLeaveNoPartialFile) {
  const std::string input = MakeScene("materials");
  dir_.WriteFile("old.out", "previous contents");
  dir_.MakeDirectory("folder.out");
  const std::set<std::string> before = Listing();

  struct Case {
    const char* name;
    std::vector<std::string> args;
    uint64_t fileSizeLimit;
    const char* reason;
  };
  // The limit is below every output's size, so each write fails part-way through.
  const Case cases[] = {
      {"scene, file too large", {"scene", "materials", "-o", "old.out"}, 16384, "File too large"},
      {"grid, file too large", {"grid", input, "-o", "old.out"}, 1 << 20, "File too large"},
      {"mesh, file too large", {"mesh", input, "-o", "old.out", "--stats"}, 1 << 20,
       "File too large"},
      {"grid, target is a directory", {"grid", input, "-o", "folder.out"}, 0, "Is a directory"},
      {"mesh, target is a directory", {"mesh", input, "-o", "folder.out"}, 0, "Is a directory"},
      {"mesh, missing directory", {"mesh", input, "-o", "no/such/dir.ply"}, 0,
       "No such file or directory"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ToolResult result = Run(c.args, c.fileSizeLimit);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.err.find("loomwork-tool"), std::string::npos) << result.err;
    // Said once, with the output's name and the system's reason.
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    EXPECT_NE(result.err.find(c.args[3]), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(c.reason), std::string::npos) << result.err;
    EXPECT_EQ(result.out, "") << "no stats for a file that was not written";
    EXPECT_EQ(Listing(), before);
    EXPECT_EQ(dir_.ReadFile("old.out"), "previous contents");
  }
}

}  // namespace

// Where loomwork-tool writes: never over its input by any name, each kind of output the way it
// needs, and no partial or temporary file after a failure or a signal.
#include "tests/tools/loomwork_tool_fixture.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "sculpt/sculpture_file.h"
#include "sculpt/test_scenes.h"

namespace {

using namespace tooltest;

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

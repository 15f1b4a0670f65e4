#include "file/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>
#include <iterator>
#include <thread>

#include "file/atomic_file_writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <vector>

#include "tests/support/log_capture.h"
#include "tests/support/temp_directory.h"

namespace {

// Runs the scope with the working directory changed, restoring it afterwards.
class ScopedWorkingDirectory {
 public:
  explicit ScopedWorkingDirectory(const std::string& path) {
    char buffer[PATH_MAX];
    if (getcwd(buffer, sizeof(buffer)) != nullptr) {
      previous_ = buffer;
    }
    EXPECT_EQ(chdir(path.c_str()), 0);
  }
  ~ScopedWorkingDirectory() {
    if (!previous_.empty()) {
      EXPECT_EQ(chdir(previous_.c_str()), 0);
    }
  }

 private:
  std::string previous_;
};

std::string ReadAllAndClose(FILE* file) {
  std::string text;
  char buffer[256];
  size_t count;
  while ((count = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
    text.append(buffer, count);
  }
  std::fclose(file);
  return text;
}

std::vector<std::string> Names(const std::vector<FileInfo>& entries) {
  std::vector<std::string> names;
  for (const FileInfo& entry : entries) {
    names.push_back(entry.name);
  }
  return names;
}

TEST(FileUtilTest, AddDataRootAddsOneSeparator) {
  const struct {
    const char* path;
    const char* stored;
  } cases[] = {
      {"data", "data/"}, {"data/", "data/"}, {"data\\", "data\\"}, {"", ""}, {"/abs/root", "/abs/root/"},
  };
  DataRoots roots;
  for (const auto& c : cases) {
    AddDataRoot(roots, c.path);
    EXPECT_EQ(roots.back(), c.stored) << c.path;
  }
  EXPECT_EQ(roots.size(), std::size(cases));
}

TEST(FileUtilTest, GetFileExtension) {
  const struct {
    const char* path;
    const char* extension;
  } cases[] = {
      {"Sound.WAV", "wav"},
      {"archive.tar.gz", "gz"},
      {"README", ""},
      {"shaders/sky.Frag", "frag"},
      {"trailing.", ""},
      {".hidden", "hidden"},
      {"old.dir/README", ""},  // A dot in a directory name is not an extension.
      {"C:\\My.Files\\notes", ""},
      {"", ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetFileExtension(c.path), c.extension) << c.path;
  }
}

TEST(FileUtilTest, OpenDataFileFallsBackThroughRoots) {
  TempDirectory temp;
  temp.WriteFile("a.txt", "working directory");
  ScopedWorkingDirectory cwd(temp.Path());
  DataRoots roots;
  AddDataRoot(roots, "missing");
  AddDataRoot(roots, "");
  FILE* file = OpenDataFile(&roots, "a.txt", "rb");
  ASSERT_NE(file, nullptr);
  EXPECT_EQ(ReadAllAndClose(file), "working directory");
  EXPECT_EQ(OpenDataFile(&roots, "b.txt", "rb"), nullptr);

  FILE* direct = OpenDataFile(nullptr, "a.txt", "r");
  ASSERT_NE(direct, nullptr);
  std::fclose(direct);
}

TEST(FileUtilTest, FirstRootThatCanCreateTheFileWinsForWriting) {
  TempDirectory temp;
  temp.MakeDirectory("first");
  temp.MakeDirectory("second");
  DataRoots roots;
  AddDataRoot(roots, temp.File("first"));
  AddDataRoot(roots, temp.File("second"));
  FILE* file = OpenDataFile(&roots, "out.bin", "wb");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_TRUE(FileExists(temp.File("first/out.bin")));
  EXPECT_FALSE(FileExists(temp.File("second/out.bin")));

  DataRoots missingFirst;
  AddDataRoot(missingFirst, temp.File("nowhere"));
  AddDataRoot(missingFirst, temp.File("second"));
  file = OpenDataFile(&missingFirst, "out.bin", "wb");
  ASSERT_NE(file, nullptr);
  std::fclose(file);
  EXPECT_TRUE(FileExists(temp.File("second/out.bin")));
}

TEST(FileUtilTest, DirectoriesAndBadModesDoNotOpen) {
  TempDirectory temp;
  temp.MakeDirectory("dir");
  temp.WriteFile("file", "x");
  EXPECT_EQ(OpenFile(temp.File("dir"), "rb"), nullptr);
  EXPECT_EQ(OpenFile(temp.File("dir"), "wb"), nullptr);
  EXPECT_EQ(OpenFile(temp.File("file"), "q"), nullptr);
  EXPECT_EQ(OpenFile(temp.File("file"), nullptr), nullptr);
}

TEST(FileUtilTest, GetFileSizeKeepsThePosition) {
  TempDirectory temp;
  temp.WriteFile("ten", "0123456789");
  FILE* file = OpenFile(temp.File("ten"), "rb");
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(std::fseek(file, 3, SEEK_SET), 0);
  EXPECT_EQ(GetFileSize(file), 10);
  EXPECT_EQ(std::ftell(file), 3);
  std::fclose(file);
  EXPECT_EQ(GetFileSize(nullptr), -1);
}

TEST(FileUtilTest, ReadDataFromFileReadsEveryByte) {
  TempDirectory temp;
  const std::string contents("\x00\x01\xFFsample\x00", 10);
  temp.WriteFile("data.bin", contents);
  temp.WriteFile("empty.bin", "");
  DataRoots roots;
  AddDataRoot(roots, temp.File("missing"));
  AddDataRoot(roots, temp.Path());

  std::vector<uint8_t> out = {9, 9};
  ASSERT_TRUE(ReadDataFromFile(&roots, "data.bin", out));
  EXPECT_EQ(std::string(out.begin(), out.end()), contents);
  ASSERT_TRUE(ReadDataFromFile(nullptr, temp.File("empty.bin"), out));
  EXPECT_TRUE(out.empty());
  out = {9};
  ASSERT_TRUE(ReadFile(temp.File("data.bin"), out));
  EXPECT_EQ(out.size(), contents.size());
}

TEST(FileUtilTest, ReadDataFromFileFailuresAreLoggedAndLeaveOutputAlone) {
  TempDirectory temp;
  temp.MakeDirectory("dir.png");
  ASSERT_EQ(mkfifo(temp.File("pipe.png").c_str(), 0600), 0);  // Opens, but cannot be sized.
  ScopedWorkingDirectory cwd(temp.Path());
  const std::vector<uint8_t> original = {1, 2, 3};
  const struct {
    const char* path;
    const char* message;
  } cases[] = {
      {"x.png", "ReadDataFromFile: Failed to open x.png"},
      {"dir.png", "ReadDataFromFile: Failed to open dir.png"},
      {"pipe.png", "ReadDataFromFile: Cannot determine the size of pipe.png"},
  };
  for (const auto& c : cases) {
    LogCapture logs;
    std::vector<uint8_t> out = original;
    EXPECT_FALSE(ReadDataFromFile(nullptr, c.path, out)) << c.path;
    EXPECT_EQ(out, original) << c.path;
    ASSERT_EQ(logs.Messages().size(), 1u) << c.path;
    EXPECT_EQ(logs.Messages()[0].first, 0);
    EXPECT_EQ(logs.Messages()[0].second, c.message);
  }
}

TEST(FileUtilTest, QuietReadsFailWithoutMessages) {
  TempDirectory temp;
  LogCapture logs;
  std::vector<uint8_t> bytes = {7};
  std::string text = "unchanged";
  EXPECT_FALSE(ReadFile(temp.File("missing.ttf"), bytes));
  EXPECT_FALSE(ReadDataFileToString(true, nullptr, temp.File("missing.lua"), text));
  EXPECT_EQ(bytes, std::vector<uint8_t>{7});
  EXPECT_EQ(text, "unchanged");
  EXPECT_TRUE(logs.Messages().empty());
}

TEST(FileUtilTest, ReadDataFileToStringTextStopsAtZeroBinaryKeepsAll) {
  TempDirectory temp;
  const std::string contents("print(1)\n\0tail", 14);
  temp.WriteFile("script.lua", contents);
  DataRoots roots;
  AddDataRoot(roots, temp.Path());
  std::string out;
  ASSERT_TRUE(ReadDataFileToString(true, &roots, "script.lua", out));
  EXPECT_EQ(out, "print(1)\n");
  ASSERT_TRUE(ReadDataFileToString(false, &roots, "script.lua", out));
  EXPECT_EQ(out, contents);
}

TEST(FileUtilTest, FileInfoOfFilesDirectoriesAndMissingPaths) {
  TempDirectory temp;
  temp.WriteFile("model.bin", "12345");
  temp.WriteFile("locked.bin", "1");
  ASSERT_EQ(chmod(temp.File("locked.bin").c_str(), 0444), 0);
  temp.MakeDirectory("sub");

  FileInfo info;
  ASSERT_TRUE(GetFileInfo(temp.File("model.bin"), info));
  EXPECT_EQ(info.name, "model.bin");
  EXPECT_EQ(info.fullName, temp.File("model.bin"));
  EXPECT_TRUE(info.exists);
  EXPECT_FALSE(info.isDirectory);
  EXPECT_TRUE(info.isWritable);
  EXPECT_EQ(info.size, 5u);

  ASSERT_TRUE(GetFileInfo(temp.File("locked.bin"), info));
  EXPECT_FALSE(info.isWritable);

  ASSERT_TRUE(GetFileInfo(temp.File("sub"), info));
  EXPECT_TRUE(info.isDirectory);
  EXPECT_TRUE(IsDirectory(temp.File("sub")));
  EXPECT_FALSE(IsDirectory(temp.File("model.bin")));

  EXPECT_FALSE(GetFileInfo(temp.File("nothing"), info));
  EXPECT_EQ(info.fullName, temp.File("nothing"));
  EXPECT_FALSE(info.exists);
  EXPECT_FALSE(info.isDirectory);
  EXPECT_EQ(info.size, 0u);

  EXPECT_TRUE(FileExists(temp.File("model.bin")));
  EXPECT_TRUE(FileExists(temp.File("sub")));
  EXPECT_FALSE(FileExists(temp.File("nothing")));
}

class ListDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    temp.WriteFile("b.PNG", "b");
    temp.WriteFile("A.png", "a");
    temp.WriteFile(".hidden.png", "h");
    temp.WriteFile("notes.txt", "n");
    temp.WriteFile("Makefile", "m");
    temp.MakeDirectory("sub");
    temp.MakeDirectory("Assets.png");  // Directories pass any filter.
  }
  TempDirectory temp;
};

TEST_F(ListDirectoryTest, FiltersSortsAndSkipsHiddenEntries) {
  const struct {
    const char* filter;
    int flags;
    std::vector<std::string> names;
  } cases[] = {
      {"png", 0, {"Assets.png", "sub", "A.png", "b.PNG"}},
      {"png", kListHidden, {"Assets.png", "sub", ".hidden.png", "A.png", "b.PNG"}},
      {"", 0, {"Assets.png", "sub"}},
      {"txt:PNG", 0, {"Assets.png", "sub", "A.png", "b.PNG", "notes.txt"}},
      {"txt::", 0, {"Assets.png", "sub", "Makefile", "notes.txt"}},  // "::" admits no extension.
      {nullptr, 0, {"Assets.png", "sub", "A.png", "b.PNG", "Makefile", "notes.txt"}},
  };
  for (const auto& c : cases) {
    std::vector<FileInfo> entries;
    const int count = ListDirectory(temp.Path(), &entries, c.filter, c.flags);
    EXPECT_EQ(count, static_cast<int>(c.names.size())) << (c.filter ? c.filter : "(null)");
    EXPECT_EQ(Names(entries), c.names) << (c.filter ? c.filter : "(null)");
    EXPECT_EQ(ListDirectory(temp.Path(), nullptr, c.filter, c.flags), count);
  }
}

TEST_F(ListDirectoryTest, EntriesCarryFullNamesAndKinds) {
  std::vector<FileInfo> entries;
  ASSERT_EQ(ListDirectory(temp.Path() + "/", &entries, "txt", 0), 3);
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].fullName, temp.File("Assets.png"));  // No doubled separator.
  EXPECT_TRUE(entries[0].isDirectory);
  EXPECT_EQ(entries[2].name, "notes.txt");
  EXPECT_EQ(entries[2].fullName, temp.File("notes.txt"));
  EXPECT_TRUE(entries[2].exists);
  EXPECT_FALSE(entries[2].isDirectory);
}

TEST_F(ListDirectoryTest, EarlierEntriesAreSortedInAndMissingDirectoryChangesNothing) {
  FileInfo earlier;
  earlier.name = "Another.png";
  std::vector<FileInfo> entries = {earlier};
  EXPECT_EQ(ListDirectory(temp.Path(), &entries, "png", 0), 4);
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"Assets.png", "sub", "A.png", "Another.png", "b.PNG"}));

  EXPECT_EQ(ListDirectory(temp.File("does-not-exist"), &entries, nullptr, 0), 0);
  EXPECT_EQ(entries.size(), 5u);
  EXPECT_EQ(ListDirectory(temp.File("notes.txt"), &entries, nullptr, 0), 0);  // Not a directory.
}

// Everything in the directory, hidden entries included: catches leftover temporary files.
std::vector<std::string> AllNames(const std::string& directory) {
  std::vector<FileInfo> entries;
  ListDirectory(directory, &entries, nullptr, kListHidden);
  return Names(entries);
}

TEST(WriteDataFileAtomicTest, CreatesAndReplacesWholeFiles) {
  TempDirectory temp;
  DataRoots roots;
  AddDataRoot(roots, temp.File("missing"));
  AddDataRoot(roots, temp.Path());
  const std::string first = "first version";
  ASSERT_EQ(WriteDataFileAtomic(&roots, "scene.sculpt", first.data(), first.size()), WriteResult::Ok);
  EXPECT_EQ(temp.ReadFile("scene.sculpt"), first);

  const std::string second = "v2";
  ASSERT_EQ(WriteDataFileAtomic(&roots, "scene.sculpt", second.data(), second.size()), WriteResult::Ok);
  EXPECT_EQ(temp.ReadFile("scene.sculpt"), second);

  ASSERT_EQ(WriteDataFileAtomic(nullptr, temp.File("empty.sculpt"), nullptr, 0), WriteResult::Ok);
  EXPECT_EQ(temp.ReadFile("empty.sculpt"), "");
  EXPECT_EQ(AllNames(temp.Path()), (std::vector<std::string>{"empty.sculpt", "scene.sculpt"}));
}

TEST(WriteDataFileAtomicTest, KeepsThePermissionsOfTheReplacedFile) {
  TempDirectory temp;
  temp.WriteFile("shared.sculpt", "old");
  ASSERT_EQ(chmod(temp.File("shared.sculpt").c_str(), 0640), 0);
  ASSERT_EQ(WriteDataFileAtomic(nullptr, temp.File("shared.sculpt"), "new", 3), WriteResult::Ok);
  struct stat status;
  ASSERT_EQ(stat(temp.File("shared.sculpt").c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
}

TEST(WriteDataFileAtomicTest, MissingDirectoryFailsToOpenAndCreatesNothing) {
  TempDirectory temp;
  LogCapture logs;
  DataRoots roots;
  AddDataRoot(roots, temp.File("nowhere"));
  EXPECT_EQ(WriteDataFileAtomic(&roots, "scene.sculpt", "x", 1), WriteResult::OpenFailed);
  EXPECT_EQ(WriteDataFileAtomic(nullptr, temp.File("a/b/scene.sculpt"), "x", 1), WriteResult::OpenFailed);
  EXPECT_TRUE(AllNames(temp.Path()).empty());
  EXPECT_TRUE(logs.Contains("scene.sculpt"));
}

TEST(WriteDataFileAtomicTest, TargetThatIsADirectoryIsLeftAlone) {
  TempDirectory temp;
  temp.MakeDirectory("scene.sculpt");
  temp.WriteFile("scene.sculpt/inside", "keep");
  LogCapture logs;
  EXPECT_EQ(WriteDataFileAtomic(nullptr, temp.File("scene.sculpt"), "data", 4), WriteResult::OpenFailed);
  EXPECT_TRUE(IsDirectory(temp.File("scene.sculpt")));
  EXPECT_EQ(temp.ReadFile("scene.sculpt/inside"), "keep");
  EXPECT_EQ(AllNames(temp.Path()), std::vector<std::string>{"scene.sculpt"});
  EXPECT_EQ(logs.Messages().size(), 1u);
}

TEST(WriteDataFileAtomicTest, FailedWriteKeepsThePreviousFile) {
  TempDirectory temp;
  temp.WriteFile("scene.sculpt", "previous sculpture");
  const std::vector<uint8_t> large(64 * 1024, 0xAB);

  // A file-size limit makes write() fail with EFBIG part-way through, like a full disk.
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit limited = saved;
  limited.rlim_cur = 4096;
  sighandler_t previousHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  const WriteResult result = WriteDataFileAtomic(nullptr, temp.File("scene.sculpt"), large.data(), large.size());
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previousHandler);

  EXPECT_EQ(result, WriteResult::WriteFailed);
  EXPECT_EQ(temp.ReadFile("scene.sculpt"), "previous sculpture");
  EXPECT_EQ(AllNames(temp.Path()), std::vector<std::string>{"scene.sculpt"});
}

// What the target is decides how it is written: regular files and new names are replaced,
// links are followed (and stay links), FIFOs, devices and "-" are written as streams.
TEST(AtomicFileWriterTest, EachKindOfTargetIsWrittenTheWayItNeeds) {
  TempDirectory temp;
  temp.WriteFile("real.ply", "old");
  ASSERT_EQ(symlink("real.ply", temp.File("link.ply").c_str()), 0);
  ASSERT_EQ(symlink("sub/made.ply", temp.File("dangling.ply").c_str()), 0);
  temp.MakeDirectory("sub");
  ASSERT_EQ(mkfifo(temp.File("pipe").c_str(), 0600), 0);
  auto write = [](const std::string& path, const std::string& data) {
    AtomicFileWriter writer(path);
    const bool ok = writer.Open() && writer.Write(data.data(), data.size()) && writer.Commit();
    EXPECT_TRUE(ok) << path << ": " << writer.Error();
    return ok;
  };
  auto kind = [](const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0 ? info.st_mode & S_IFMT : 0;
  };

  write(temp.File("real.ply"), "regular");
  EXPECT_EQ(temp.ReadFile("real.ply"), "regular");
  write(temp.File("link.ply"), "through the link");
  EXPECT_EQ(kind(temp.File("link.ply")), unsigned(S_IFLNK));
  EXPECT_EQ(temp.ReadFile("real.ply"), "through the link");
  write(temp.File("dangling.ply"), "new");
  EXPECT_EQ(kind(temp.File("dangling.ply")), unsigned(S_IFLNK));
  EXPECT_EQ(temp.ReadFile("sub/made.ply"), "new");

  std::string received;
  std::thread reader([&] {
    std::ifstream pipe(temp.File("pipe"), std::ios::binary);
    received.assign(std::istreambuf_iterator<char>(pipe), std::istreambuf_iterator<char>());
  });
  write(temp.File("pipe"), "down the pipe");
  reader.join();
  EXPECT_EQ(received, "down the pipe");
  EXPECT_EQ(kind(temp.File("pipe")), unsigned(S_IFIFO));

  write("/dev/null", "nothing");
  EXPECT_EQ(kind("/dev/null"), unsigned(S_IFCHR));
  testing::internal::CaptureStdout();
  write("-", "to standard output");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "to standard output");
  EXPECT_EQ(AllNames(temp.Path()),
            (std::vector<std::string>{"sub", "dangling.ply", "link.ply", "pipe", "real.ply"}));
}

// Temporary files an interrupted writer left are removed on the next write to the same target
// once they are a day old; younger ones and other names are left alone.
TEST(AtomicFileWriterTest, StaleTemporaryFilesOfTheTargetAreRemoved) {
  TempDirectory temp;
  const std::vector<std::string> old = {".s.sculpt.4242-0.tmp", ".s.sculpt.1-17.tmp"};
  const std::vector<std::string> kept = {".s.sculpt.99-1.tmp",     // young
                                         ".s.sculpt.x-1.tmp",      // not our pattern
                                         ".other.sculpt.5-1.tmp",  // another target
                                         "s.sculpt.5-1.tmp"};
  for (const std::string& name : old) temp.WriteFile(name, "left behind");
  for (const std::string& name : kept) temp.WriteFile(name, "keep");
  const timespec twoDaysAgo[2] = {{time(nullptr) - 2 * 86400, 0}, {time(nullptr) - 2 * 86400, 0}};
  for (const std::string& name : old)
    ASSERT_EQ(utimensat(AT_FDCWD, temp.File(name).c_str(), twoDaysAgo, 0), 0);
  for (const std::string& name : {kept[1], kept[2], kept[3]})
    ASSERT_EQ(utimensat(AT_FDCWD, temp.File(name).c_str(), twoDaysAgo, 0), 0);

  ASSERT_EQ(WriteDataFileAtomic(nullptr, temp.File("s.sculpt"), "x", 1), WriteResult::Ok);
  std::vector<std::string> expected = kept;
  expected.push_back("s.sculpt");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(AllNames(temp.Path()), expected);
}

// Every legal name can be a target, up to the 255 bytes a name may have: the temporary file made
// beside it must fit in a name too.
TEST(AtomicFileWriterTest, NamesOfEveryLegalLengthAreWritten) {
  TempDirectory temp;
  std::string accented = "a";
  // Two bytes a character after the "a": a cut may fall inside one.
  while (accented.size() < 244) accented += "\xc3\xa9";
  const std::string names[] = {
      std::string(200, 'n') + ".sculpt",
      std::string(222, 'n') + ".sculpt",
      std::string(243, 'n') + ".sculpt",
      std::string(NAME_MAX - 4, 'n') + ".ply",
      accented + "z.gltf",
  };
  for (const std::string& name : names) {
    SCOPED_TRACE(name.size());
    ASSERT_LE(name.size(), size_t(NAME_MAX));
    for (const std::string& contents : {std::string("first"), std::string("second")}) {
      AtomicFileWriter writer(temp.File(name));
      EXPECT_TRUE(writer.Open() && writer.Write(contents.data(), contents.size()) &&
                  writer.Commit())
          << writer.Error();
      EXPECT_EQ(temp.ReadFile(name), contents);
    }
  }
  EXPECT_EQ(AllNames(temp.Path()).size(), std::size(names)) << "a temporary file was left";
}

// A writer killed outright leaves its temporary file; once that is a day old, the next write to the
// target removes it, whatever the length of the target's name. Leftovers named the way earlier
// versions named them (the whole target name in them) are removed too.
TEST(AtomicFileWriterTest, StaleTemporaryFilesOfLongNamesAreRemoved) {
  TempDirectory temp;
  const std::string name = std::string(NAME_MAX - 7, 'n') + ".sculpt";
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    AtomicFileWriter writer(temp.File(name));
    _exit(writer.Open() && writer.Write("x", 1) ? 0 : 3);  // no destructor: as if killed
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the writer could not open";
  const std::vector<std::string> leftover = AllNames(temp.Path());
  ASSERT_EQ(leftover.size(), 1u);
  const std::string older = std::string(233, 'o') + ".sculpt";
  const std::string olderLeftover = "." + older + ".4242-0.tmp";
  temp.WriteFile(olderLeftover, "left behind");
  const timespec twoDaysAgo[2] = {{time(nullptr) - 2 * 86400, 0}, {time(nullptr) - 2 * 86400, 0}};
  for (const std::string& stale : {leftover[0], olderLeftover})
    ASSERT_EQ(utimensat(AT_FDCWD, temp.File(stale).c_str(), twoDaysAgo, 0), 0);

  ASSERT_EQ(WriteDataFileAtomic(nullptr, temp.File(name), "x", 1), WriteResult::Ok);
  ASSERT_EQ(WriteDataFileAtomic(nullptr, temp.File(older), "x", 1), WriteResult::Ok);
  EXPECT_EQ(AllNames(temp.Path()), (std::vector<std::string>{name, older}));
}

// Finish makes the temporary file complete (written, synced, closed) without replacing the target,
// so that several files can all be complete before any of them replaces its target. A writer
// finished and never committed removes its temporary file; one that cannot finish says why.
TEST(AtomicFileWriterTest, FinishCompletesTheFileWithoutReplacingTheTarget) {
  TempDirectory temp;
  temp.WriteFile("a.bin", "previous");
  {
    AtomicFileWriter writer(temp.File("a.bin"));
    ASSERT_TRUE(writer.Open() && writer.Write("abandoned", 9) && writer.Finish()) << writer.Error();
    EXPECT_EQ(temp.ReadFile("a.bin"), "previous");
    EXPECT_EQ(AllNames(temp.Path()).size(), 2u) << "the complete temporary file";
  }
  EXPECT_EQ(AllNames(temp.Path()), std::vector<std::string>{"a.bin"});
  EXPECT_EQ(temp.ReadFile("a.bin"), "previous");

  AtomicFileWriter writer(temp.File("a.bin"));
  ASSERT_TRUE(writer.Open() && writer.Write("new", 3) && writer.Finish()) << writer.Error();
  EXPECT_TRUE(writer.Commit()) << writer.Error();
  EXPECT_EQ(temp.ReadFile("a.bin"), "new");

  // The buffered bytes reach the file in Finish: a file-size limit makes that fail.
  const std::string large(64 * 1024, 'x');
  AtomicFileWriter limited(temp.File("a.bin"));
  ASSERT_TRUE(limited.Open() && limited.Write(large.data(), large.size() / 2));
  struct rlimit saved;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  struct rlimit small = saved;
  small.rlim_cur = 4096;
  sighandler_t previousHandler = signal(SIGXFSZ, SIG_IGN);
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool finished = limited.Finish();
  setrlimit(RLIMIT_FSIZE, &saved);
  signal(SIGXFSZ, previousHandler);
  EXPECT_FALSE(finished);
  EXPECT_NE(limited.Error().find("File too large"), std::string::npos) << limited.Error();
  EXPECT_FALSE(limited.Commit());
  EXPECT_EQ(temp.ReadFile("a.bin"), "new");
  EXPECT_EQ(AllNames(temp.Path()), std::vector<std::string>{"a.bin"});
}

// Ctrl+C or a kill while a file is being written removes the temporary file, and the process still
// ends by that signal. The writer runs in a child process that really receives it. A target name
// of the longest length gets a temporary file the handler knows as well.
TEST(AtomicFileWriterTest, InterruptingSignalsRemoveTheTemporaryFile) {
  const std::string longest = std::string(NAME_MAX - 7, 's') + ".sculpt";
  for (const std::string& name : {std::string("s.sculpt"), longest}) {
    for (int signalNumber : {SIGINT, SIGTERM}) {
      SCOPED_TRACE(strsignal(signalNumber));
      SCOPED_TRACE(name.size());
      TempDirectory temp;
      temp.WriteFile(name, "previous");
      int ready[2];
      ASSERT_EQ(pipe(ready), 0);
      const pid_t child = fork();
      ASSERT_GE(child, 0);
      if (child == 0) {
        RemoveTemporaryFilesOnSignals();
        AtomicFileWriter writer(temp.File(name));
        const std::string data(1 << 20, 'x');
        if (!writer.Open() || !writer.Write(data.data(), data.size())) _exit(3);
        (void)!write(ready[1], "r", 1);
        for (;;) pause();
      }
      close(ready[1]);
      char byte = 0;
      ASSERT_EQ(read(ready[0], &byte, 1), 1);
      close(ready[0]);
      EXPECT_EQ(AllNames(temp.Path()).size(), 2u) << "the temporary file exists while writing";
      kill(child, signalNumber);
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signalNumber);
      EXPECT_EQ(AllNames(temp.Path()), std::vector<std::string>{name});
      EXPECT_EQ(temp.ReadFile(name), "previous");
    }
  }
}

}  // namespace

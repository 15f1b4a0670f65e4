#include "file/atomic_file_writer.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>

namespace {

// Large enough that a file of tens of megabytes takes a few dozen system calls.
constexpr size_t kBufferSize = size_t{4} << 20;

// Distinguishes the temporary files of several writers of one process.
std::atomic<unsigned> g_temporaryCounter{0};

bool WriteAll(int fd, const uint8_t* bytes, size_t size) {
  while (size > 0) {
    const ssize_t written = write(fd, bytes, std::min(size, size_t{1} << 30));
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (written == 0) {
      errno = EIO;
      return false;
    }
    bytes += written;
    size -= size_t(written);
  }
  return true;
}

// Temporary files still open, for the signal handler: fixed storage, since a handler may not
// allocate. A slot is 0 free, 1 being filled, 2 holding a path.
constexpr int kSignalSlots = 16;
char g_signalPaths[kSignalSlots][PATH_MAX];
std::atomic<int> g_signalSlotState[kSignalSlots];

int RegisterTemporary(const std::string& path) {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < kSignalSlots; ++i) {
    int expected = 0;
    if (!g_signalSlotState[i].compare_exchange_strong(expected, 1)) continue;
    std::memcpy(g_signalPaths[i], path.c_str(), path.size() + 1);
    g_signalSlotState[i].store(2);
    return i;
  }
  return -1;
}

void UnregisterTemporary(int slot) {
  if (slot >= 0) g_signalSlotState[slot].store(0);
}

void RemoveTemporariesAndDie(int signalNumber) {
  for (int i = 0; i < kSignalSlots; ++i)
    if (g_signalSlotState[i].load() == 2) unlink(g_signalPaths[i]);
  signal(signalNumber, SIG_DFL);
  raise(signalNumber);
}

// The descriptor a path names when it is one of this process's open descriptors ("/dev/fd/N",
// "/proc/self/fd/N", where /dev/stdout and /dev/stderr lead), else -1. Such a link reads as
// "pipe:[N]" or the name of a file opened for appending: what it means is the descriptor itself.
int DescriptorNamed(const std::string& path) {
  const std::string ownProcess = "/proc/" + std::to_string(getpid()) + "/fd/";
  for (const std::string& prefix : {std::string("/dev/fd/"), std::string("/proc/self/fd/"),
                                    std::string("/proc/thread-self/fd/"), ownProcess}) {
    if (path.size() <= prefix.size() || path.compare(0, prefix.size(), prefix) != 0) continue;
    int descriptor = 0;
    for (size_t i = prefix.size(); i < path.size(); ++i) {
      if (path[i] < '0' || path[i] > '9' || descriptor > 100000000) return -1;
      descriptor = descriptor * 10 + (path[i] - '0');
    }
    return descriptor;
  }
  return -1;
}

// Follows symbolic links to the path they finally name (which need not exist yet). Stops early
// at a path naming an open descriptor, which it returns in `descriptor` (else -1).
bool ResolveLinks(const std::string& path, std::string& resolved, int& descriptor) {
  resolved = path;
  descriptor = -1;
  for (int depth = 0; depth < 40; ++depth) {
    descriptor = DescriptorNamed(resolved);
    if (descriptor >= 0) return true;
    struct stat info;
    if (lstat(resolved.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
    char target[PATH_MAX];
    const ssize_t length = readlink(resolved.c_str(), target, sizeof target - 1);
    if (length < 0) return false;
    target[length] = '\0';
    if (target[0] == '/') {
      resolved = target;
    } else {
      const size_t separator = resolved.find_last_of('/');
      resolved = (separator == std::string::npos ? "" : resolved.substr(0, separator + 1)) + target;
    }
  }
  errno = ELOOP;
  return false;
}

// What Open adds to the target's name in a temporary file's: the dots, ten digits each at most for
// the process id and the counter, the dash and ".tmp".
constexpr size_t kTemporaryNameExtra = 1 + 1 + 10 + 1 + 10 + 4;

// The part of the target's name a temporary file's name holds: all of it while the whole stays
// within NAME_MAX, else its start, cut at a character boundary so UTF-8 stays UTF-8.
std::string TemporaryStem(const std::string& name) {
  const size_t room = NAME_MAX - kTemporaryNameExtra;
  if (name.size() <= room) return name;
  size_t cut = room;
  while (cut > 0 && (uint8_t(name[cut]) & 0xC0) == 0x80) --cut;
  return name.substr(0, cut);
}

// ".STEM.PID-N.tmp".
bool IsTemporaryNameWithStem(const std::string& entry, const std::string& stem) {
  const std::string prefix = "." + stem + ".";
  if (entry.size() <= prefix.size() + 4 || entry.compare(0, prefix.size(), prefix) != 0 ||
      entry.compare(entry.size() - 4, 4, ".tmp") != 0)
    return false;
  const std::string middle = entry.substr(prefix.size(), entry.size() - prefix.size() - 4);
  const size_t dash = middle.find('-');
  if (dash == 0 || dash == std::string::npos || dash + 1 == middle.size()) return false;
  for (size_t i = 0; i < middle.size(); ++i)
    if (i != dash && (middle[i] < '0' || middle[i] > '9')) return false;
  return true;
}

// The names Open gives its temporary files. Stems of long names cut short can be shared by several
// targets; a stale file is nobody's anyway. Earlier writers always put the whole name in.
bool IsOurTemporaryName(const std::string& entry, const std::string& name) {
  const std::string stem = TemporaryStem(name);
  return IsTemporaryNameWithStem(entry, stem) ||
         (stem != name && IsTemporaryNameWithStem(entry, name));
}

// A writer killed outright (kill -9, a power cut) leaves its temporary file behind. One older than
// a day belongs to no writer still running.
void RemoveStaleTemporaries(const std::string& directory, const std::string& name) {
  DIR* dir = opendir(directory.empty() ? "." : directory.c_str());
  if (dir == nullptr) return;
  const time_t dayAgo = time(nullptr) - 24 * 60 * 60;
  while (const dirent* entry = readdir(dir)) {
    if (!IsOurTemporaryName(entry->d_name, name)) continue;
    const std::string path = directory + entry->d_name;
    struct stat info;
    if (lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && info.st_mtime < dayAgo)
      unlink(path.c_str());
  }
  closedir(dir);
}

// Best effort: makes the rename itself survive a power cut.
void SyncDirectoryOf(const std::string& path) {
  const size_t separator = path.find_last_of('/');
  const std::string directory = separator == std::string::npos ? "." : path.substr(0, separator + 1);
  const int fd = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(std::string targetPath) : targetPath_(std::move(targetPath)) {}

AtomicFileWriter::~AtomicFileWriter() {
  if (!committed_) Discard();
}

bool AtomicFileWriter::Open() {
  if (targetPath_ == "-") {
    finalPath_ = "standard output";
    fd_ = dup(STDOUT_FILENO);
    if (fd_ < 0) return Fail("write to", errno);
    streaming_ = true;
    buffered_ = 0;
    return true;
  }
  int descriptor = -1;
  if (!ResolveLinks(targetPath_, finalPath_, descriptor)) return Fail("follow the link", errno);
  if (descriptor >= 0) {
    // The same open file, so a redirection's pipe, offset and append mode all hold.
    fd_ = fcntl(descriptor, F_DUPFD_CLOEXEC, 0);
    if (fd_ < 0) return Fail("write to", errno);
    streaming_ = true;
    buffered_ = 0;
    return true;
  }
  struct stat existing;
  const bool exists = stat(finalPath_.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) return Fail("write", EISDIR);
  if (exists && !S_ISREG(existing.st_mode)) {
    // A FIFO or a device is written to, never replaced by a regular file.
    fd_ = open(finalPath_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd_ < 0) return Fail("open", errno);
    streaming_ = true;
    buffered_ = 0;
    return true;
  }
  const size_t separator = finalPath_.find_last_of('/');
  const std::string directory =
      separator == std::string::npos ? "" : finalPath_.substr(0, separator + 1);
  const std::string name =
      separator == std::string::npos ? finalPath_ : finalPath_.substr(separator + 1);
  RemoveStaleTemporaries(directory, name);
  // Each name is registered before the file is made, so that a signal handled on any thread at
  // any moment finds it (blocking signals here would cover this thread only). Unlinking a name
  // not yet made does nothing; one that exists already can only be a dead process's leftover.
  const std::string stem = TemporaryStem(name);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporaryPath_ = directory + "." + stem + "." + std::to_string(getpid()) + "-" +
                     std::to_string(g_temporaryCounter.fetch_add(1)) + ".tmp";
    UnregisterTemporary(std::exchange(signalSlot_, -1));
    signalSlot_ = RegisterTemporary(temporaryPath_);
    fd_ = open(temporaryPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) break;
    if (errno != EEXIST) break;
  }
  if (fd_ < 0) {
    const int errorNumber = errno;
    UnregisterTemporary(std::exchange(signalSlot_, -1));
    temporaryPath_.clear();  // nothing of ours to remove
    return Fail("create", errorNumber);
  }
  if (exists) fchmod(fd_, existing.st_mode & 07777);  // the replacement keeps the permissions
  buffered_ = 0;
  return true;
}

bool AtomicFileWriter::Write(const void* data, size_t size) {
  if (fd_ < 0 || !error_.empty()) return false;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  // Data that would fill the buffer anyway goes straight to the file.
  if (size >= kBufferSize) {
    if (!Flush()) return false;
    if (!WriteAll(fd_, bytes, size)) return Fail("write", errno);
    return true;
  }
  if (buffer_.size() < kBufferSize) buffer_.resize(kBufferSize);
  while (size > 0) {
    if (buffered_ == buffer_.size() && !Flush()) return false;
    const size_t part = std::min(size, buffer_.size() - buffered_);
    std::memcpy(buffer_.data() + buffered_, bytes, part);
    buffered_ += part;
    bytes += part;
    size -= part;
  }
  return true;
}

bool AtomicFileWriter::Flush() {
  if (!WriteAll(fd_, buffer_.data(), buffered_)) return Fail("write", errno);
  buffered_ = 0;
  return true;
}

bool AtomicFileWriter::Finish() {
  if (finished_) return error_.empty();
  if (fd_ < 0 || !error_.empty()) return false;
  if (!Flush()) return false;
  if (!streaming_ && fsync(fd_) != 0) return Fail("flush", errno);
  // close() reports delayed write errors on some file systems; it must succeed too.
  if (close(std::exchange(fd_, -1)) != 0) return Fail("close", errno);
  finished_ = true;
  return true;
}

bool AtomicFileWriter::Commit() {
  if (!Finish()) return false;
  if (committed_) return true;
  if (!streaming_) {
    if (rename(temporaryPath_.c_str(), finalPath_.c_str()) != 0) return Fail("replace", errno);
    UnregisterTemporary(std::exchange(signalSlot_, -1));
    temporaryPath_.clear();
  }
  committed_ = true;
  if (!streaming_) SyncDirectoryOf(finalPath_);
  return true;
}

bool AtomicFileWriter::Fail(const char* step, int errorNumber) {
  if (error_.empty()) {
    error_ = std::string("cannot ") + step + " '" + targetPath_ + "' (" +
             std::strerror(errorNumber) + ")";
    if (!temporaryPath_.empty()) error_ += "; any previous file is unchanged";
  }
  Discard();
  return false;
}

void AtomicFileWriter::Discard() {
  if (fd_ >= 0) close(std::exchange(fd_, -1));
  if (!temporaryPath_.empty()) unlink(temporaryPath_.c_str());
  UnregisterTemporary(std::exchange(signalSlot_, -1));
  temporaryPath_.clear();
}

void RemoveTemporaryFilesOnSignals() {
  for (int signalNumber : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction previous;
    if (sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN)
      continue;  // started to ignore it (nohup): keep ignoring it
    struct sigaction action = {};
    action.sa_handler = RemoveTemporariesAndDie;
    sigemptyset(&action.sa_mask);
    sigaction(signalNumber, &action, nullptr);
  }
}

int DescriptorOfTarget(const std::string& path) {
  if (path == "-") return STDOUT_FILENO;
  std::string resolved;
  int descriptor = -1;
  return ResolveLinks(path, resolved, descriptor) ? descriptor : -1;
}

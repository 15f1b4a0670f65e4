#include "app/autosave.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/log.h"
#include "file/atomic_file_writer.h"
#include "file/user_folder.h"
#include "sculpt/sculpture_file.h"

namespace {

// A program would need this many others running beside it to find no free file.
constexpr int kMaxFiles = 64;

std::string NameOf(int index) {
  return index == 1 ? Autosave::kFirstName : "autosave-" + std::to_string(index) + ".sculpt";
}

// The lock file's descriptor, locked, or -1 when another program holds it or it cannot be made
// (or, without `create`, does not exist).
int TakeLock(const std::string& path, bool create) {
  const int fd = open((path + ".lock").c_str(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0600);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace

Autosave::~Autosave() {
  if (thread_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    wake_.notify_one();
    thread_.join();
  }
  if (lockFd_ >= 0) close(lockFd_);
}

bool Autosave::Open(const std::string& folder, std::string* error) {
  if (!MakeDirectories(folder, error)) return false;
  for (int index = 1; index <= kMaxFiles; ++index) {
    const std::string path = folder + "/" + NameOf(index);
    const int fd = TakeLock(path, true);
    if (fd < 0) continue;
    lockFd_ = fd;
    path_ = path;
    thread_ = std::thread(&Autosave::Run, this);
    return true;
  }
  *error = "no autosave file in " + folder + " is free (" + std::strerror(errno) + ")";
  return false;
}

bool Autosave::IsHeld(const std::string& path) {
  struct stat info;
  // No lock file: no program ever held this one (it was put there by hand or copied).
  if (stat((path + ".lock").c_str(), &info) != 0) return false;
  const int fd = TakeLock(path, false);
  if (fd < 0) return true;
  close(fd);
  return false;
}

void Autosave::Keep(const std::vector<SculptOp>& records) {
  if (!IsOpen()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_ = records;
    discardPending_ = false;
  }
  wake_.notify_one();
}

void Autosave::Discard() {
  if (!IsOpen()) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    pending_.reset();
    discardPending_ = true;
  }
  wake_.notify_one();
}

bool Autosave::Flush() {
  if (!IsOpen()) return false;
  std::unique_lock<std::mutex> lock(mutex_);
  done_.wait(lock, [this] { return !pending_ && !discardPending_ && !busy_; });
  return lastWriteOk_;
}

void Autosave::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || pending_ || discardPending_; });
    if (!pending_ && !discardPending_) break;  // stopping with nothing left to write
    std::optional<std::vector<SculptOp>> records = std::move(pending_);
    pending_.reset();
    const bool discard = discardPending_;
    discardPending_ = false;
    busy_ = true;
    lock.unlock();

    bool ok = true;
    std::string reason;
    if (discard) {
      ok = unlink(path_.c_str()) == 0 || errno == ENOENT;
      if (!ok) reason = std::strerror(errno);
    } else {
      const std::vector<uint8_t> bytes = SerializeSculpture(*records);
      AtomicFileWriter writer(path_);
      ok = writer.Open() && writer.Write(bytes.data(), bytes.size()) && writer.Commit();
      if (!ok) reason = writer.Error();
      if (ok) Log(LogLevel::Debug, "Autosaved %zu records", records->size());
    }

    lock.lock();
    busy_ = false;
    lastWriteOk_ = ok;
    // Once, not at every stroke: sculpting goes on, and the reason does not change.
    if (!ok && !failureLogged_) {
      failureLogged_ = true;
      failed_.store(true);
      Log(LogLevel::Warning, "Autosave failed (%s): unsaved work is not being kept",
          reason.c_str());
    }
    done_.notify_all();
  }
}

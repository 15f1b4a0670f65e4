#include "file/atomic_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
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
  const size_t separator = targetPath_.find_last_of('/');
  const std::string directory =
      separator == std::string::npos ? "" : targetPath_.substr(0, separator + 1);
  const std::string name =
      separator == std::string::npos ? targetPath_ : targetPath_.substr(separator + 1);
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporaryPath_ = directory + "." + name + "." + std::to_string(getpid()) + "-" +
                     std::to_string(g_temporaryCounter.fetch_add(1)) + ".tmp";
    fd_ = open(temporaryPath_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_ >= 0) break;
    if (errno != EEXIST) break;
  }
  if (fd_ < 0) {
    const int errorNumber = errno;
    temporaryPath_.clear();  // nothing of ours to remove
    return Fail("create", errorNumber);
  }
  struct stat existing;
  if (stat(targetPath_.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
    fchmod(fd_, existing.st_mode & 07777);  // the replacement keeps the old file's permissions
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

bool AtomicFileWriter::Commit() {
  if (fd_ < 0 || !error_.empty()) return false;
  if (!Flush()) return false;
  if (fsync(fd_) != 0) return Fail("flush", errno);
  const int fd = std::exchange(fd_, -1);
  // close() reports delayed write errors on some file systems; it must succeed too.
  if (close(fd) != 0) return Fail("close", errno);
  if (rename(temporaryPath_.c_str(), targetPath_.c_str()) != 0) return Fail("replace", errno);
  committed_ = true;
  SyncDirectoryOf(targetPath_);
  return true;
}

bool AtomicFileWriter::Fail(const char* step, int errorNumber) {
  if (error_.empty()) {
    error_ = std::string("failed to ") + step + " '" + targetPath_ + "' (" +
             std::strerror(errorNumber) + ")";
    if (!temporaryPath_.empty()) error_ += "; any previous file is unchanged";
  }
  Discard();
  return false;
}

void AtomicFileWriter::Discard() {
  if (fd_ >= 0) close(std::exchange(fd_, -1));
  if (!temporaryPath_.empty()) unlink(temporaryPath_.c_str());
  temporaryPath_.clear();
}

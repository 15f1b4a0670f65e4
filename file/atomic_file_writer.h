#pragma once
// Writes a file so that it is never seen half written: the target is replaced only once the new
// contents are completely written and synced; on any failure the temporary file is removed and an
// existing target stays as it was.
//
// What the target names decides how: a symbolic link is followed and its final target replaced
// (the link stays a link); a FIFO, a device or "-" (standard output) is written as a stream,
// never replaced, and a name of one of the process's descriptors (/dev/stdout, /dev/fd/N) writes
// to that descriptor; a regular file or a new name is replaced atomically. Temporary files of this
// writer's naming (".NAME.PID-N.tmp", NAME cut short where the whole would pass the 255 bytes a
// name may have) older than a day beside the target are removed on the next write to it: they are
// what an interrupted writer left.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class AtomicFileWriter {
 public:
  explicit AtomicFileWriter(std::string targetPath);
  ~AtomicFileWriter();  // removes the temporary file unless Commit succeeded
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  // Creates the temporary file beside the target (so the final rename stays on one file system).
  bool Open();
  // Buffers and writes; after the first failure every call returns false and writes nothing.
  bool Write(const void* data, size_t size);
  // Completes the file without replacing the target: flushes, syncs and closes, each checked.
  // Files that belong together are all finished before any of them is committed, so that a
  // failure in one leaves every target as it was. Nothing can be written afterwards.
  bool Finish();
  // Finishes (unless done already) and renames over the target.
  bool Commit();

  // What failed, with the system's reason; empty while nothing has.
  const std::string& Error() const { return error_; }
  // Where the contents go once committed: the resolved target, or "standard output".
  const std::string& FinalPath() const { return finalPath_; }

 private:
  bool Flush();
  bool Fail(const char* step, int errorNumber);
  void Discard();

  std::string targetPath_;
  std::string finalPath_;
  std::string temporaryPath_;
  bool streaming_ = false;
  int signalSlot_ = -1;
  int fd_ = -1;
  bool finished_ = false;
  bool committed_ = false;
  std::string error_;
  std::vector<uint8_t> buffer_;
  size_t buffered_ = 0;
};

// Installs handlers for SIGINT and SIGTERM (and SIGHUP) that remove the temporary files of
// writers still open, then end the process as the signal would have. For command-line programs;
// a program with its own shutdown handles those signals itself.
void RemoveTemporaryFilesOnSignals();

// The open descriptor an AtomicFileWriter for `path` would write to ("-" is standard output, and
// /dev/stdout or /dev/fd/N lead to theirs), else -1: the path names a file of its own.
int DescriptorOfTarget(const std::string& path);

#pragma once
// Writes a file so that it is never seen half written: the target is replaced only once the new contents are
// completely written and synced; on any failure the temporary file is removed and an existing
// target stays as it was.
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
  // Flushes, syncs, closes and renames over the target.
  bool Commit();

  // What failed, with the system's reason; empty while nothing has.
  const std::string& Error() const { return error_; }

 private:
  bool Flush();
  bool Fail(const char* step, int errorNumber);
  void Discard();

  std::string targetPath_;
  std::string temporaryPath_;
  int fd_ = -1;
  bool committed_ = false;
  std::string error_;
  std::vector<uint8_t> buffer_;
  size_t buffered_ = 0;
};

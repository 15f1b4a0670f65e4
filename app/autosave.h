#pragma once
// Keeps the document's records in a sculpture file of the state folder, so that a crash, a kill
// or a power cut loses at most the stroke in progress. The frame hands over a copy of the records
// when a unit of the history is finished; a thread of its own writes it through the atomic writer
// (a torn write never leaves an unreadable file), a newer copy replacing one not yet written.
//
// Each running program holds its own file: the first of "autosave.sculpt", "autosave-2.sculpt",
// ... whose lock ("NAME.lock" beside it) no other program holds. A file whose lock is free was left
// by a program that ended without discarding it: work that no saved file holds.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sculpt/sculpt_op.h"

class Autosave {
 public:
  Autosave() = default;
  ~Autosave();  // writes what is pending, then ends the thread and releases the lock
  Autosave(const Autosave&) = delete;
  Autosave& operator=(const Autosave&) = delete;

  // Makes the folder when missing and takes the first free file. False, with the reason in
  // *error, when there is none to be had; Keep and Discard then do nothing.
  bool Open(const std::string& folder, std::string* error);
  bool IsOpen() const { return lockFd_ >= 0; }
  const std::string& Path() const { return path_; }

  // Hands a copy of the records to the writer.
  void Keep(const std::vector<SculptOp>& records);
  // Removes the file, after any write handed over before.
  void Discard();
  // Waits until everything handed over is written or has failed; false when the last write
  // failed.
  bool Flush();

  // Whether a write or a removal has failed since the file was opened.
  bool Failed() const { return failed_.load(); }

  // Whether a running program holds the lock of the autosave at `path`.
  static bool IsHeld(const std::string& path);
  static constexpr const char* kFirstName = "autosave.sculpt";

 private:
  void Run();

  std::string path_;
  int lockFd_ = -1;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable wake_, done_;
  std::optional<std::vector<SculptOp>> pending_;
  bool discardPending_ = false;
  bool busy_ = false;
  bool stop_ = false;
  bool lastWriteOk_ = true;
  bool failureLogged_ = false;
  std::atomic<bool> failed_{false};
};

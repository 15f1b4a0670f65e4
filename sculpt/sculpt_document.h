#pragma once
// The sculpture as a history: the operation log of every applied record, the queue of a file
// being replayed a few records per frame, and loading and saving sculpture files.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "file/file_util.h"
#include "sculpt/sculpt_op.h"

class SculptHistory;
class VoxelGrid;

class SculptDocument {
 public:
  SculptDocument(VoxelGrid* grid, const DataRoots* roots);
  ~SculptDocument();

  // Keeps the history from here on, for undo, redo and scrubbing; the grid (with its listener, the
  // block tessellator, attached) must be empty. The budgets bound the memory of its before-images
  // and of its grid checkpoints.
  void EnableHistory(size_t budgetBytes, size_t checkpointBudgetBytes = size_t(256) << 20);
  SculptHistory* History() { return history.get(); }
  // An action that replaces the sculpture (New, Load, a test scene) is one unit of the history:
  // it begins before the log is emptied and ends once its records are applied. No-ops without a
  // history.
  void BeginReplacingUnit();
  void EndUnit();
  // Undo, redo and moving to a step of the history (see SculptHistory). A replay in progress is
  // finished first. False, with a line in the log, when there is no history or nowhere to go.
  bool Undo();
  bool Redo();
  bool MoveToHistoryStep(size_t step);

  // Applies one record to the grid and appends it to the log, whatever its type. A sphere, box
  // or cylinder record holding a non-finite number is dropped with a warning instead.
  void ApplyOperation(const SculptOp& op);
  // The same for many records at once, in order, replayed on several threads (same grid bits).
  void ApplyOperations(const std::vector<SculptOp>& ops);
  // Empties the log and the replay queue and clears every channel.
  void NewSculpture();
  // Reads a sculpture file through the document's roots (or through `from`, when given: a path
  // from the command line is the user's, not a slot's). Rate 0 applies every record now;
  // otherwise the records are queued and `rate` of them are applied per frame. A file that
  // cannot be read or is damaged changes nothing and is reported in the log. Returns whether it
  // loaded.
  bool LoadSculpture(const std::string& path, int rate, const DataRoots* from = nullptr);
  // Writes the log to a sculpture file, through the document's roots (or `to`, when given). The
  // previous file is replaced only once the new one is completely written; a failure leaves it
  // as it was. Returns whether it saved.
  bool SaveSculpture(const std::string& path, const DataRoots* to = nullptr) const;
  // The file the document was last loaded from or saved to (as named, through FileRoots()), and
  // saving back to it; empty after New and for a scene. False, logged, without one.
  const std::string& FilePath() const { return filePath; }
  const DataRoots* FileRoots() const { return fileRoots; }
  bool SaveToFile() const;
  // The sculpture stays but is no file's any more (restored from an autosave, say).
  void ForgetFile() {
    filePath.clear();
    fileRoots = nullptr;
  }
  // What the last load recovered from (cut short, records skipped), empty when it was whole.
  const std::string& LoadWarning() const { return loadWarning; }

  // One frame of the sculpt loop: while a replay runs, the user's records are dropped and up to
  // `replayRate` queued records take their place; then every record is applied in order. With a
  // history, a frame without records of the user ends the stroke's unit, and the frame that
  // empties the replay queue ends the load's unit.
  void ApplyFrame(std::vector<SculptOp>& frameRecords);

  // When the last successful load began (TimeNow seconds) and how many records it brought, until
  // the caller has shown the loaded sculpture and forgets it; a negative time when none waits.
  double LoadStartSeconds() const { return loadStartSeconds; }
  size_t LoadedRecordCount() const { return loadedRecords; }
  void ForgetLoadStart() { loadStartSeconds = -1.0; }

  // Changes of the log, for whoever keeps a copy of it: the revision counts every change; the
  // log holds unsaved changes from its first change after the last save or completed load until
  // the next. A unit still open (a stroke held, a load replaying) is not finished work yet.
  uint64_t Revision() const { return revision; }
  bool HasUnsavedChanges() const { return revision != savedRevision; }
  void MarkUnsaved() { savedRevision = revision - 1; }
  bool UnitOpen() const;

  const std::vector<SculptOp>& OperationLog() const { return operationLog; }
  // The log starts over, as a new sculpture that no file holds yet.
  void ClearOperationLog() {
    operationLog.clear();
    filePath.clear();
    fileRoots = nullptr;
    ++revision;
  }
  const std::deque<SculptOp>& ReplayQueue() const { return replayQueue; }
  int ReplayRate() const { return replayRate; }
  VoxelGrid& Grid() { return *grid; }
  // Where sculpture files are looked up and written.
  const DataRoots* Roots() const { return roots; }

 private:
  void FinishReplay();
  // The queue of a load has emptied: the document is its file.
  void ReplayFinished();
  // False, with a warning now and then, for a record that must not enter the log.
  bool AcceptRecord(const SculptOp& op);

  VoxelGrid* grid;
  const DataRoots* roots;
  std::vector<SculptOp> operationLog;
  std::deque<SculptOp> replayQueue;
  int32_t replayRate = 1;
  uint64_t droppedNonFinite = 0;
  uint64_t revision = 0;
  // The revision a file holds; mutable so that saving, which changes no record, can say so.
  mutable uint64_t savedRevision = 0;
  // A load whose records are still queued: the document matches its file once they are applied.
  mutable bool loadReplaying = false;
  // Saving changes which file the document is; mutable for the same reason as savedRevision.
  mutable std::string filePath;
  mutable const DataRoots* fileRoots = nullptr;
  std::string loadWarning;
  double loadStartSeconds = -1.0;
  size_t loadedRecords = 0;
  std::unique_ptr<SculptHistory> history;
};

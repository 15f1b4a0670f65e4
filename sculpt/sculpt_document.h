#pragma once
// The sculpture as a history: the operation log of every applied record, the queue of a file
// being replayed a few records per frame, and loading and saving sculpture files.
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "file/file_util.h"
#include "sculpt/sculpt_op.h"

class VoxelGrid;

class SculptDocument {
 public:
  SculptDocument(VoxelGrid* grid, const DataRoots* roots);

  // Applies one record to the grid and appends it to the log, whatever its type. A sphere, box
  // or cylinder record holding a non-finite number is dropped with a warning instead.
  void ApplyOperation(const SculptOp& op);
  // Empties the log and the replay queue and clears every channel.
  void NewSculpture();
  // Reads a sculpture file through the data roots. Rate 0 applies every record now; otherwise
  // the records are queued and `rate` of them are applied per frame. A file that cannot be read
  // or is damaged changes nothing and is reported in the log. Returns whether it loaded.
  bool LoadSculpture(const std::string& path, int rate);
  // Writes the log to a sculpture file. The previous file is replaced only once the new one is
  // completely written; a failure leaves it as it was. Returns whether it saved.
  bool SaveSculpture(const std::string& path) const;

  // One frame of the sculpt loop: while a replay runs, the user's records are dropped and up to
  // `replayRate` queued records take their place; then every record is applied in order.
  void ApplyFrame(std::vector<SculptOp>& frameRecords);

  const std::vector<SculptOp>& OperationLog() const { return operationLog; }
  void ClearOperationLog() { operationLog.clear(); }
  const std::deque<SculptOp>& ReplayQueue() const { return replayQueue; }
  int ReplayRate() const { return replayRate; }
  VoxelGrid& Grid() { return *grid; }

 private:
  VoxelGrid* grid;
  const DataRoots* roots;
  std::vector<SculptOp> operationLog;
  std::deque<SculptOp> replayQueue;
  int32_t replayRate = 1;
  uint64_t droppedNonFinite = 0;
};

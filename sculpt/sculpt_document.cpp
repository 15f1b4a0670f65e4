#include "sculpt/sculpt_document.h"

#include <cstdio>

#include "base/log.h"
#include "base/timing.h"
#include "sculpt/sculpt_history.h"
#include "sculpt/sculpture_file.h"
#include "sculpt/slab_replay.h"
#include "sculpt/voxel_grid.h"

SculptDocument::SculptDocument(VoxelGrid* grid_, const DataRoots* roots_)
    : grid(grid_), roots(roots_) {}

SculptDocument::~SculptDocument() = default;

void SculptDocument::EnableHistory(size_t budgetBytes, size_t checkpointBudgetBytes) {
  history = std::make_unique<SculptHistory>(grid, budgetBytes, checkpointBudgetBytes);
}

void SculptDocument::BeginReplacingUnit() {
  if (history) history->BeginUnit(true);
}

void SculptDocument::EndUnit() {
  if (history) history->EndUnit();
}

bool SculptDocument::UnitOpen() const {
  return !replayQueue.empty() || (history != nullptr && history->UnitOpen());
}

void SculptDocument::ReplayFinished() {
  if (!loadReplaying) return;
  loadReplaying = false;
  savedRevision = revision;
}

// Undo takes back whole units: a replay still running is part of its load's unit, so it is
// finished before anything is taken back.
void SculptDocument::FinishReplay() {
  if (!replayQueue.empty()) {
    ApplyOperations(std::vector<SculptOp>(replayQueue.begin(), replayQueue.end()));
    replayQueue.clear();
  }
  ReplayFinished();
  EndUnit();
}

bool SculptDocument::Undo() {
  if (!history) return false;
  FinishReplay();
  const bool moved = history->Undo(operationLog);
  if (moved) ++revision;
  return moved;
}

bool SculptDocument::Redo() {
  if (!history) return false;
  FinishReplay();
  const bool moved = history->Redo(operationLog);
  if (moved) ++revision;
  return moved;
}

bool SculptDocument::MoveToHistoryStep(size_t step) {
  if (!history) return false;
  FinishReplay();
  const bool moved = history->MoveToStep(step, operationLog);
  if (moved) ++revision;
  return moved;
}

bool SculptDocument::AcceptRecord(const SculptOp& op) {
  // A NaN or infinite number (from a script global or a lost pose) would be saved into a file
  // that could not be replayed; such a record is dropped. A broken pose repeats every frame, so
  // only the first drop and then every power of two is logged.
  if (!HoldsOnlyFiniteNumbers(op)) {
    ++droppedNonFinite;
    if ((droppedNonFinite & (droppedNonFinite - 1)) == 0) {
      Log(LogLevel::Warning,
          "A record holding a number that is not finite was dropped (%llu so far)",
          static_cast<unsigned long long>(droppedNonFinite));
    }
    return false;
  }
  return true;
}

void SculptDocument::ApplyOperation(const SculptOp& op) {
  if (!AcceptRecord(op)) return;
  ApplyOperationToGrid(*grid, op);
  operationLog.push_back(op);
  ++revision;
  if (history) history->Record(op);
}

void SculptDocument::ApplyOperations(const std::vector<SculptOp>& ops) {
  std::vector<SculptOp> accepted;
  accepted.reserve(ops.size());
  for (const SculptOp& op : ops)
    if (AcceptRecord(op)) accepted.push_back(op);
  ReplayRecords(*grid, accepted.data(), accepted.size(), ReplayThreadCount());
  operationLog.insert(operationLog.end(), accepted.begin(), accepted.end());
  if (!accepted.empty()) ++revision;
  if (history)
    for (const SculptOp& op : accepted) history->Record(op);
}

void SculptDocument::NewSculpture() {
  BeginReplacingUnit();
  operationLog.clear();
  replayQueue.clear();
  loadReplaying = false;
  ++revision;
  filePath.clear();
  fileRoots = nullptr;
  grid->ClearChannels(kAllChannels);
  EndUnit();
}

bool SculptDocument::LoadSculpture(const std::string& path, int rate, const DataRoots* from) {
  const double startSeconds = TimeNow();
  FILE* file = OpenDataFile(from != nullptr ? from : roots, path, "rb");
  if (!file) {
    Log(LogLevel::Error, "Load: Failed to open '%s'", path.c_str());
    return false;
  }
  SculptureHeader header;
  std::vector<SculptOp> records;
  std::string error, warning;
  const bool read = ReadSculpture(file, path, header, records, error, warning);
  fclose(file);
  if (!read) {
    Log(LogLevel::Error, "Load: %s", error.c_str());
    return false;
  }
  if (!warning.empty()) Log(LogLevel::Warning, "Load: %s", warning.c_str());
  loadWarning = warning;
  filePath = path;
  fileRoots = from != nullptr ? from : roots;

  BeginReplacingUnit();
  loadStartSeconds = startSeconds;
  loadedRecords = records.size();
  operationLog.clear();
  replayQueue.clear();
  ++revision;
  grid->ClearChannels(kAllChannels);
  loadReplaying = true;
  // A negative rate from a script would stall the queue forever; it loads at once instead.
  if (rate <= 0) {
    ApplyOperations(records);
    ReplayFinished();
    EndUnit();
  } else {
    // The unit stays open until the frame that applies the last queued record.
    replayQueue.assign(records.begin(), records.end());
    replayRate = rate;
    if (replayQueue.empty()) {
      ReplayFinished();
      EndUnit();
    }
  }
  return true;
}

bool SculptDocument::SaveToFile() const {
  if (filePath.empty()) {
    Log(LogLevel::Error, "Save: the sculpture has no file yet");
    return false;
  }
  return SaveSculpture(filePath, fileRoots);
}

bool SculptDocument::SaveSculpture(const std::string& path, const DataRoots* to) const {
  std::vector<uint8_t> bytes = SerializeSculpture(operationLog);
  const DataRoots* through = to != nullptr ? to : roots;
  switch (WriteDataFileAtomic(through, path, bytes.data(), bytes.size())) {
    case WriteResult::Ok:
      filePath = path;
      fileRoots = through;
      // Saved in the middle of a replay, the file holds what was applied so far.
      loadReplaying = false;
      savedRevision = revision;
      return true;
    case WriteResult::OpenFailed:
      Log(LogLevel::Error, "Save: Failed to open '%s'", path.c_str());
      return false;
    case WriteResult::WriteFailed:
      Log(LogLevel::Error, "Save: Failed to write '%s'; the previous file is unchanged",
          path.c_str());
      return false;
  }
  return false;
}

void SculptDocument::ApplyFrame(std::vector<SculptOp>& frameRecords) {
  const bool replaying = !replayQueue.empty();
  if (replaying) {
    frameRecords.clear();
    for (int i = 0; i < replayRate && !replayQueue.empty(); ++i) {
      frameRecords.push_back(replayQueue.front());
      replayQueue.pop_front();
    }
    ApplyOperations(frameRecords);
    if (replayQueue.empty()) ReplayFinished();
  } else {
    for (const SculptOp& op : frameRecords) ApplyOperation(op);
  }
  if (replaying ? replayQueue.empty() : frameRecords.empty()) EndUnit();
}

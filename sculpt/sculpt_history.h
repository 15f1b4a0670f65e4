#pragma once
// Undo, redo and scrubbing over the sculpture's history. The history is a list of units: a stroke
// (every record from trigger press to release, mirrored copies included) or a panel action that
// replaces the sculpture (New, Load, a test scene), which empties the operation log first.
//
// Replay is exact, so any point of the history is the grid its records replay to. Getting there
// fast is what the rest is for: each finished unit keeps compressed before-images of the blocks it
// wrote (taken from a shadow copy of the grid as it was when the unit began), so undoing a stroke
// only copies a few blocks back; grid checkpoints every few thousand records bound the replay when
// before-images were dropped to stay inside the memory budget.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "sculpt/history_block_image.h"
#include "sculpt/sculpt_op.h"

class VoxelGrid;

// A point of the history: the first `unit` units applied, then `offset` records of the next.
struct HistoryPosition {
  size_t unit = 0;
  size_t offset = 0;
  bool operator==(const HistoryPosition&) const = default;
  auto operator<=>(const HistoryPosition&) const = default;
};

class SculptHistory {
 public:
  static constexpr size_t kDefaultBudgetBytes = size_t(256) << 20;
  static constexpr size_t kCheckpointRecords = 4096;
  // Checkpoints have a budget of their own: past it every other one is dropped, so they still
  // span the whole history, further apart.
  static constexpr size_t kDefaultCheckpointBudgetBytes = size_t(256) << 20;

  // The grid must have its listener (the block tessellator) attached: it says which blocks a unit
  // wrote. budgetBytes bounds the before-images; the oldest units lose theirs first.
  SculptHistory(VoxelGrid* grid, size_t budgetBytes = kDefaultBudgetBytes,
                size_t checkpointBudgetBytes = kDefaultCheckpointBudgetBytes);
  ~SculptHistory();

  // A unit starts: an open one is finished first, and everything after the current point (the
  // redo list) is dropped. `resets`: the unit replaces the sculpture (the log is emptied).
  void BeginUnit(bool resets);
  // A record was applied to the grid; it joins the open unit (a stroke unit opens if none is).
  void Record(const SculptOp& op);
  // The open unit is finished: its before-images are taken. Nothing happens when none is open.
  void EndUnit();
  bool UnitOpen() const { return open_; }

  // Moves through the history; the grid becomes the replay of the records up to the new point
  // and `log` those records from the last reset on. False, logged, when there is nowhere to go.
  bool Undo(std::vector<SculptOp>& log);
  bool Redo(std::vector<SculptOp>& log);
  // Steps number every record of the history (a unit without records counts one step), so the
  // scrubber can point anywhere: 0 is the empty start, StepCount() the end.
  bool MoveToStep(size_t step, std::vector<SculptOp>& log);
  size_t StepCount() const;
  size_t CurrentStep() const { return StepOf(current_); }
  size_t UnitCount() const { return units_.size(); }
  bool CanUndo() const { return !open_ && current_ > HistoryPosition{}; }
  bool CanRedo() const { return !open_ && current_ < End(); }

  // Memory held: compressed before-images and checkpoints (the shadow grid not counted).
  size_t BeforeImageBytes() const { return beforeBytes_; }
  size_t CheckpointBytes() const { return checkpointBytes_; }
  size_t CheckpointCount() const { return checkpoints_.size(); }
  size_t UnitsWithBeforeImages() const;

 private:
  struct Unit {
    bool resets = false;
    std::vector<SculptOp> records;
    bool hasBefore = false;  // before-images taken and still kept
    std::vector<BlockImage> before;
    size_t beforeBytes = 0;
  };
  struct Checkpoint {
    size_t unit = 0;  // the grid after the first `unit` units
    std::vector<BlockImage> blocks;
    size_t bytes = 0;
  };

  HistoryPosition End() const { return {units_.size(), 0}; }
  size_t StepOf(HistoryPosition at) const;
  HistoryPosition PositionOfStep(size_t step) const;
  bool MoveTo(HistoryPosition target, std::vector<SculptOp>& log);
  bool UndoChainReaches(HistoryPosition target) const;
  void ApplyForward(HistoryPosition from, HistoryPosition to, bool clearedAtFrom);
  void RestoreBlocks(const std::vector<BlockImage>& images);
  void SyncShadow();
  void TakeCheckpoint();
  void DropRedo();
  void EnforceBudget();
  void BuildLog(std::vector<SculptOp>& log) const;

  VoxelGrid* grid_;
  std::unique_ptr<VoxelGrid> shadow_;  // the grid when the open unit began
  size_t budgetBytes_;
  size_t checkpointBudgetBytes_;
  std::vector<Unit> units_;
  std::vector<Checkpoint> checkpoints_;
  HistoryPosition current_;
  bool open_ = false;
  size_t beforeBytes_ = 0;
  size_t checkpointBytes_ = 0;
  size_t recordsSinceCheckpoint_ = 0;
  bool budgetWarned_ = false;
};

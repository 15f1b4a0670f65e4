#include "sculpt/sculpt_history.h"

#include <algorithm>
#include <cstring>

#include "base/log.h"
#include "sculpt/block_tessellator.h"
#include "sculpt/grid_change_listener.h"
#include "sculpt/slab_replay.h"
#include "sculpt/voxel_grid.h"

namespace {

int BlockSizeOf(const VoxelGrid& grid) {
  return grid.listener ? grid.listener->BlockSize() : kBlockSize;
}

int BlockCountOf(const VoxelGrid& grid) {
  const int perAxis = grid.size / BlockSizeOf(grid);
  return perAxis * perAxis * perAxis;
}

// The blocks written since the last call, in block order. Without a listener every block counts
// as written.
std::vector<int> TakeTouchedBlocks(VoxelGrid& grid) {
  if (grid.listener) return grid.listener->TakeChangedBlocks();
  std::vector<int> blocks;
  const int count = BlockCountOf(grid);
  for (int b = 0; b < count; ++b) blocks.push_back(b);
  return blocks;
}

// Compresses the given blocks of `grid` on the tessellation team: a reset unit or a checkpoint
// covers the whole grid, 85 MB of samples.
std::vector<BlockImage> CaptureBlocks(const VoxelGrid& grid, const std::vector<int>& blocks,
                                      size_t& bytes) {
  std::vector<BlockImage> images(blocks.size());
  const int blockSize = BlockSizeOf(grid);
#pragma omp parallel for schedule(dynamic)
  for (int i = 0; i < int(blocks.size()); ++i)
    images[size_t(i)] = CaptureBlockImage(grid, blocks[size_t(i)], blockSize);
  bytes = 0;
  for (const BlockImage& image : images) bytes += image.bytes.size() + sizeof(BlockImage);
  return images;
}

}  // namespace

SculptHistory::SculptHistory(VoxelGrid* grid, size_t budgetBytes, size_t checkpointBudgetBytes)
    : grid_(grid),
      shadow_(std::make_unique<VoxelGrid>(grid->size, grid->channelCount)),
      budgetBytes_(budgetBytes),
      checkpointBudgetBytes_(checkpointBudgetBytes) {
  std::memcpy(shadow_->samples.data(), grid_->samples.data(),
              size_t(grid_->channelSize) * size_t(grid_->channelCount) * sizeof(int16_t));
  TakeTouchedBlocks(*grid_);
}

SculptHistory::~SculptHistory() = default;

void SculptHistory::BeginUnit(bool resets) {
  if (open_) EndUnit();
  DropRedo();
  units_.push_back(Unit{resets, {}, false, {}, 0});
  open_ = true;
  current_ = {units_.size() - 1, 0};
}

void SculptHistory::Record(const SculptOp& op) {
  if (!open_) BeginUnit(false);
  units_.back().records.push_back(op);
  ++current_.offset;
}

void SculptHistory::EndUnit() {
  if (!open_) return;
  open_ = false;
  Unit& unit = units_.back();
  const std::vector<int> blocks = TakeTouchedBlocks(*grid_);
  unit.before = CaptureBlocks(*shadow_, blocks, unit.beforeBytes);
  unit.hasBefore = true;
  beforeBytes_ += unit.beforeBytes;
  const int blockSize = BlockSizeOf(*grid_);
  for (int b : blocks) CopyBlock(*grid_, *shadow_, b, blockSize);
  current_ = End();
  recordsSinceCheckpoint_ += unit.records.size();
  if (recordsSinceCheckpoint_ >= kCheckpointRecords) TakeCheckpoint();
  EnforceBudget();
}

void SculptHistory::DropRedo() {
  if (current_ == End()) return;
  size_t firstInvalidCheckpoint = current_.unit + 1;
  if (current_.offset > 0) {
    // The unit keeps the records before the point. Its before-images still restore the grid as
    // it was before the unit: they cover every block the whole unit wrote, a superset.
    units_[current_.unit].records.resize(current_.offset);
    current_ = {current_.unit + 1, 0};
    firstInvalidCheckpoint = current_.unit;
  }
  for (size_t i = current_.unit; i < units_.size(); ++i) beforeBytes_ -= units_[i].beforeBytes;
  units_.resize(current_.unit);
  std::erase_if(checkpoints_, [&](const Checkpoint& c) {
    if (c.unit < firstInvalidCheckpoint) return false;
    checkpointBytes_ -= c.bytes;
    return true;
  });
  const size_t since = checkpoints_.empty() ? 0 : checkpoints_.back().unit;
  recordsSinceCheckpoint_ = 0;
  for (size_t i = since; i < units_.size(); ++i) recordsSinceCheckpoint_ += units_[i].records.size();
}

void SculptHistory::TakeCheckpoint() {
  if (!checkpoints_.empty() && checkpoints_.back().unit == current_.unit) return;
  std::vector<int> all(size_t(BlockCountOf(*grid_)));
  for (size_t b = 0; b < all.size(); ++b) all[b] = int(b);
  Checkpoint checkpoint;
  checkpoint.unit = current_.unit;
  checkpoint.blocks = CaptureBlocks(*grid_, all, checkpoint.bytes);
  checkpointBytes_ += checkpoint.bytes;
  checkpoints_.push_back(std::move(checkpoint));
  recordsSinceCheckpoint_ = 0;
}

void SculptHistory::EnforceBudget() {
  // The oldest units lose their before-images first; undo past them replays from a checkpoint.
  for (size_t i = 0; i < units_.size() && beforeBytes_ > budgetBytes_; ++i) {
    Unit& unit = units_[i];
    if (!unit.hasBefore) continue;
    beforeBytes_ -= unit.beforeBytes;
    unit.before.clear();
    unit.before.shrink_to_fit();
    unit.beforeBytes = 0;
    unit.hasBefore = false;
    if (i + 1 == units_.size() && !budgetWarned_) {
      budgetWarned_ = true;
      Log(LogLevel::Warning,
          "History: one unit needs more than the undo budget of %zu MiB; undo replays it from a "
          "checkpoint instead",
          budgetBytes_ >> 20);
    }
  }
  // Checkpoints are thinned, keeping the newest, so they always span the whole history.
  while (checkpointBytes_ > checkpointBudgetBytes_ && checkpoints_.size() > 1) {
    std::vector<Checkpoint> kept;
    checkpointBytes_ = 0;
    for (size_t i = 0; i < checkpoints_.size(); ++i) {
      if ((checkpoints_.size() - 1 - i) % 2 != 0) continue;
      checkpointBytes_ += checkpoints_[i].bytes;
      kept.push_back(std::move(checkpoints_[i]));
    }
    checkpoints_ = std::move(kept);
  }
  if (checkpointBytes_ > checkpointBudgetBytes_ && checkpoints_.size() == 1) {
    checkpointBytes_ = 0;
    checkpoints_.clear();
  }
}

size_t SculptHistory::UnitsWithBeforeImages() const {
  return size_t(std::count_if(units_.begin(), units_.end(),
                              [](const Unit& unit) { return unit.hasBefore; }));
}

size_t SculptHistory::StepOf(HistoryPosition at) const {
  size_t step = 0;
  for (size_t u = 0; u < at.unit && u < units_.size(); ++u)
    step += std::max<size_t>(units_[u].records.size(), 1);
  return step + at.offset;
}

size_t SculptHistory::StepCount() const { return StepOf(End()); }

HistoryPosition SculptHistory::PositionOfStep(size_t step) const {
  for (size_t u = 0; u < units_.size(); ++u) {
    const size_t records = units_[u].records.size();
    const size_t width = std::max<size_t>(records, 1);
    if (step < width) return {u, step};
    step -= width;
  }
  return End();
}

bool SculptHistory::Undo(std::vector<SculptOp>& log) {
  if (open_) EndUnit();
  if (current_ == HistoryPosition{}) {
    Log(LogLevel::Info, "Undo: nothing to undo");
    return false;
  }
  const HistoryPosition target =
      current_.offset > 0 ? HistoryPosition{current_.unit, 0} : HistoryPosition{current_.unit - 1, 0};
  return MoveTo(target, log);
}

bool SculptHistory::Redo(std::vector<SculptOp>& log) {
  if (open_) EndUnit();
  if (current_ == End()) {
    Log(LogLevel::Info, "Redo: nothing to redo");
    return false;
  }
  return MoveTo({current_.unit + 1, 0}, log);
}

bool SculptHistory::MoveToStep(size_t step, std::vector<SculptOp>& log) {
  if (open_) EndUnit();
  const size_t steps = StepCount();
  if (step > steps) {
    Log(LogLevel::Warning, "History: step %zu is past the end (%zu steps); nothing changed", step,
        steps);
    return false;
  }
  return MoveTo(PositionOfStep(step), log);
}

bool SculptHistory::UndoChainReaches(HistoryPosition target) const {
  HistoryPosition p = current_;
  if (p.offset > 0) {
    if (!units_[p.unit].hasBefore) return false;
    p.offset = 0;
  }
  for (; p.unit > target.unit; --p.unit)
    if (!units_[p.unit - 1].hasBefore) return false;
  return true;
}

bool SculptHistory::MoveTo(HistoryPosition target, std::vector<SculptOp>& log) {
  if (target != current_) {
    if (target < current_ && UndoChainReaches(target)) {
      // Back through the before-images to the start of the target's unit, then forward.
      HistoryPosition p = current_;
      if (p.offset > 0) RestoreBlocks(units_[p.unit].before);
      p.offset = 0;
      for (; p.unit > target.unit; --p.unit) RestoreBlocks(units_[p.unit - 1].before);
      ApplyForward(p, target, false);
    } else {
      // From the latest known grid at or before the target: the current one when the target lies
      // ahead, a checkpoint, or the empty grid right after a unit that reset the sculpture.
      HistoryPosition from{};
      enum class Anchor { Empty, Current, Checkpoint } anchor = Anchor::Empty;
      const Checkpoint* checkpoint = nullptr;
      for (size_t r = 0; r <= target.unit && r < units_.size(); ++r)
        if (units_[r].resets && (r < target.unit || target.offset > 0)) from = {r, 0};
      for (const Checkpoint& c : checkpoints_) {
        // At the same point the empty grid of a reset is later than the checkpoint before it.
        const HistoryPosition at{c.unit, 0};
        if (at <= target && at > from) {
          from = at;
          anchor = Anchor::Checkpoint;
          checkpoint = &c;
        }
      }
      if (current_ <= target && current_ >= from) {
        from = current_;
        anchor = Anchor::Current;
      }
      if (anchor == Anchor::Checkpoint) {
        RestoreBlocks(checkpoint->blocks);
      } else if (anchor == Anchor::Empty) {
        grid_->ClearChannels(kAllChannels);
      }
      ApplyForward(from, target, anchor == Anchor::Empty);
    }
    SyncShadow();
    current_ = target;
  }
  BuildLog(log);
  return true;
}

void SculptHistory::ApplyForward(HistoryPosition from, HistoryPosition to, bool clearedAtFrom) {
  for (size_t u = from.unit; u <= to.unit && u < units_.size(); ++u) {
    const Unit& unit = units_[u];
    const size_t begin = u == from.unit ? from.offset : 0;
    const size_t end = u == to.unit ? to.offset : unit.records.size();
    if (u == to.unit && end == 0) break;
    if (unit.resets && begin == 0 && !(clearedAtFrom && u == from.unit))
      grid_->ClearChannels(kAllChannels);
    if (end > begin)
      ReplayRecords(*grid_, unit.records.data() + begin, end - begin, ReplayThreadCount());
  }
}

void SculptHistory::RestoreBlocks(const std::vector<BlockImage>& images) {
  const int blockSize = BlockSizeOf(*grid_);
#pragma omp parallel for schedule(dynamic)
  for (int i = 0; i < int(images.size()); ++i) {
    if (!RestoreBlockImage(*grid_, images[size_t(i)], blockSize))
      Log(LogLevel::Error, "History: block %d did not restore", images[size_t(i)].block);
  }
  for (const BlockImage& image : images) {
    int lo[3];
    BlockOrigin(*grid_, image.block, blockSize, lo);
    const int hi[3] = {lo[0] + blockSize, lo[1] + blockSize, lo[2] + blockSize};
    if (grid_->listener) grid_->listener->SamplesChanged(lo, hi);
  }
}

void SculptHistory::SyncShadow() {
  const int blockSize = BlockSizeOf(*grid_);
  for (int b : TakeTouchedBlocks(*grid_)) CopyBlock(*grid_, *shadow_, b, blockSize);
}

void SculptHistory::BuildLog(std::vector<SculptOp>& log) const {
  // The log starts at the last unit that reset the sculpture, if it has begun.
  size_t first = 0;
  for (size_t u = 0; u <= current_.unit && u < units_.size(); ++u)
    if (units_[u].resets && (u < current_.unit || current_.offset > 0)) first = u;
  log.clear();
  for (size_t u = first; u <= current_.unit && u < units_.size(); ++u) {
    const std::vector<SculptOp>& records = units_[u].records;
    const size_t count = u == current_.unit ? current_.offset : records.size();
    log.insert(log.end(), records.begin(), records.begin() + ptrdiff_t(count));
  }
}

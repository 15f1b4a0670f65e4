#pragma once
// Told which samples of the grid changed, by whoever changed them: the stamps, a clear, a replay,
// the history's restores. The grid keeps one listener (the block tessellator, whose meshes and
// touched flags follow the samples) and knows nothing of what it does with the news. Writers
// report once per stamp, clear, restore or replay, never per row or sample, so the stamps' loops
// stay as they are.
#include <cstdint>
#include <vector>

class GridChangeListener {
 public:
  // The samples from min (the first per axis) to max (one past the last) changed.
  virtual void SamplesChanged(const int min[3], const int max[3]) = 0;
  // Every sample changed.
  virtual void AllSamplesChanged() = 0;

  // The listener divides the grid into cubic blocks of BlockSize() samples a side,
  // BlockCount() of them.
  virtual int BlockSize() const = 0;
  virtual int BlockCount() const = 0;
  // Writers on several threads cannot report as they go: each keeps marks of its own, one byte
  // per block. MarkChangedBlocks sets the marks of the blocks a change from min to max reaches
  // and touches nothing else, so threads may call it at once; BlocksChanged reports the blocks
  // whose mark is set, once the threads are done.
  virtual void MarkChangedBlocks(const int min[3], const int max[3], uint8_t* marks) const = 0;
  virtual void BlocksChanged(const uint8_t* marks) = 0;

  // The blocks reported changed since the last call, in block order; the history keeps
  // before-images of them.
  virtual std::vector<int> TakeChangedBlocks() = 0;

 protected:
  ~GridChangeListener() = default;
};

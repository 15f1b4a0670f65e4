#pragma once
// Continuous strokes at any frame rate. Each frame of a held trigger writes its stamp's record;
// when the brush moved farther than a third of its radius since the stroke's last record, stamps
// are added along the straight path in between (with the new stamp's turn and size), so a slow
// frame draws the same line as a fast one. At 90 Hz and ordinary hand speeds nothing is added.
#include <vector>

#include "sculpt/sculpt_op.h"

class StrokeSpacing {
 public:
  // More than this many stamps between two frames is a jump, not a line: none are added.
  static constexpr int kMaxAdded = 64;

  // The records for this frame's stamp: the stamps in between (oldest first), then the stamp.
  void Stamp(const SculptOp& op, std::vector<SculptOp>* out);
  // No stamp this frame (trigger let go, pointer on the panel, hand untracked, the dropper).
  void Lift() { stroking_ = false; }

 private:
  bool stroking_ = false;
  SculptOp last_{};
};

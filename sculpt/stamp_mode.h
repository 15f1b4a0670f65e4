#pragma once

// How a stamp combines the brush with the samples already in the grid.
enum StampMode : int {
  kStampSet = 1,        // sample := brush value
  kStampAdd = 2,        // raise to the brush weight
  kStampSubtract = 3,   // lower to one minus the brush weight
  kStampSandpaper = 4,  // blend towards the brush value where the brush is stronger
  kStampBuff = 5,       // like set, inside the shape
};

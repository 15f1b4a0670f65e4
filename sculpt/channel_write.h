#pragma once

// One channel a stamp writes, with the stamp mode and the brush value for it.
struct ChannelWrite {
  int channel;
  int mode;
  float value;
};

#include "ui/tool_icons.h"

const std::array<IconRect, 17> kToolIcons = {{
    {"circle", 0, 0, 64, 64},
    {"square", 64, 0, 64, 64},
    {"minus", 128, 0, 64, 64},
    {"plus", 192, 0, 64, 64},
    {"new", 64, 64, 64, 64},
    {"mirror", 192, 64, 64, 64},
    {"paint", 256, 64, 64, 64},
    {"dropper", 320, 64, 64, 64},
    {"slider", 0, 128, 256, 64},
    {"box", 0, 256, 64, 64},
    {"cylinder", 64, 256, 64, 64},
    {"sphere", 128, 256, 64, 64},
    {"empty", 0, 512, 0, 64},
    {"load", 192, 192, 64, 64},
    {"save", 256, 192, 64, 64},
    {"day", 0, 320, 64, 64},
    {"night", 64, 320, 64, 64},
}};

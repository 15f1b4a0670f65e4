#include "audio/clip.h"

#include "base/check.h"

namespace Audio {

Clip::~Clip() { CHECK(useCount == 0); }

}  // namespace Audio

#pragma once
// Audio::LoadClip: sound files from the data roots into clips the mixer can play.
#include <memory>
#include <string>

#include "audio/clip.h"
#include "file/file_util.h"

namespace Audio {

// The extension decides the format, in any letter case:
// - "wav": RIFF WAVE, uncompressed PCM, 16-bit or 8-bit mono (8-bit is widened to 16 bits);
//   other chunks are skipped. Anything else is refused.
// - "ogg": Ogg Vorbis, mono or stereo, decoded whole (a chained stream up to the first link
//   whose channel count or rate differs).
// Null when the file is missing, malformed, of another kind, unsupported or longer than a clip
// may be (ten minutes of 48 kHz stereo, and for Ogg a length in proportion to the file's size);
// the reason is logged, and a WAVE failure also prints "Failed to load '<path>'" on standard
// output. A file cut short yields the samples that are really there.
std::unique_ptr<Clip> LoadClip(const DataRoots* files, const std::string& path);

}  // namespace Audio

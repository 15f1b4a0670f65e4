#include "audio/audio_streamer.h"

AudioStreamer::~AudioStreamer() = default;

#include "audio/sound_loader.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "audio/vorbis_decoder.h"
#include "base/log.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_directory.h"

namespace Audio {
namespace {

// Sound files come from the real encoders (sox, oggenc from vorbis-tools), made at test time.
// Hostile variants are made by editing their bytes.
class SoundLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.Path().empty());
    roots_ = {dir_.Path() + "/"};
  }

  // Runs a shell command inside the temporary directory.
  void Run(const std::string& command) {
    const std::string full = "cd '" + dir_.Path() + "' && " + command + " 2>/dev/null";
    ASSERT_EQ(std::system(full.c_str()), 0) << command;
  }

  std::string Bytes(const std::string& name) const { return dir_.ReadFile(name); }
  void Write(const std::string& name, const std::string& bytes) const {
    dir_.WriteFile(name, bytes);
  }

  // Loads and returns what was printed on standard output alongside.
  std::unique_ptr<Clip> Load(const std::string& name, std::string* printed = nullptr) {
    testing::internal::CaptureStdout();
    std::unique_ptr<Clip> clip = LoadClip(&roots_, name);
    const std::string out = testing::internal::GetCapturedStdout();
    if (printed != nullptr) *printed = out;
    return clip;
  }

  // 16-bit little-endian samples as sox itself decodes the file.
  std::vector<int16_t> SoxSamples16(const std::string& name) {
    Run("sox " + name + " -t raw -e signed-integer -b 16 -L decoded.raw");
    const std::string raw = Bytes("decoded.raw");
    std::vector<int16_t> samples(raw.size() / 2);
    std::memcpy(samples.data(), raw.data(), samples.size() * 2);
    return samples;
  }

  TempDirectory dir_;
  DataRoots roots_;
};

void WriteU32(std::string& bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(v >> (8 * i));
}

std::string U32(uint32_t v) {
  std::string s(4, '\0');
  WriteU32(s, 0, v);
  return s;
}

// Offset of the chunk header with this tag (a plain search: the test files are known).
size_t ChunkAt(const std::string& bytes, const char* tag) {
  const size_t at = bytes.find(tag, 12);
  EXPECT_NE(at, std::string::npos) << tag;
  return at;
}

// Inserts a chunk before the chunk `before`, keeping the RIFF size right.
std::string InsertChunk(std::string bytes, const char* before, const std::string& chunk) {
  bytes.insert(ChunkAt(bytes, before), chunk);
  WriteU32(bytes, 4, static_cast<uint32_t>(bytes.size() - 8));
  return bytes;
}

// Ogg pages carry a CRC over the whole page; crafted pages need it recomputed to get past it.
void FixOggPageCrc(std::string& bytes, size_t page) {
  const uint8_t segments = uint8_t(bytes[page + 26]);
  size_t size = 27 + segments;
  for (int i = 0; i < segments; ++i) size += uint8_t(bytes[page + 27 + i]);
  for (int i = 0; i < 4; ++i) bytes[page + 22 + i] = 0;
  uint32_t crc = 0;
  for (size_t i = page; i < page + size; ++i) {
    crc ^= uint32_t(uint8_t(bytes[i])) << 24;
    for (int bit = 0; bit < 8; ++bit) crc = crc & 0x80000000u ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  WriteU32(bytes, page + 22, crc);
}

// ---------------------------------------------------------------------------------------------
// WAVE files that load.

TEST_F(SoundLoaderTest, SixteenBitMonoWaveLoadsAsSoxDecodesIt) {
  Run("sox -D -n -r 22050 -c 1 -b 16 -e signed-integer tone.wav synth 0.1 sine 440 gain -3");
  const std::vector<int16_t> expected = SoxSamples16("tone.wav");
  ASSERT_EQ(expected.size(), 2205u);
  Write("TONE.WAV", Bytes("tone.wav"));  // the extension is compared in lower case
  for (const char* name : {"tone.wav", "TONE.WAV"}) {
    SCOPED_TRACE(name);
    const auto clip = Load(name);
    ASSERT_NE(clip, nullptr);
    EXPECT_EQ(clip->channels, 1);
    EXPECT_EQ(clip->sampleRate, 22050.0f);
    EXPECT_EQ(clip->useCount, 0);
    EXPECT_EQ(clip->samples, expected);
  }
}

TEST_F(SoundLoaderTest, EightBitMonoWaveIsWidenedTo16Bits) {
  Run("sox -D -n -r 8000 -c 1 -b 8 -e unsigned-integer tone8.wav synth 0.1 sine 300");
  Run("sox tone8.wav -t raw -e unsigned-integer -b 8 tone8.raw");
  const std::string raw = Bytes("tone8.raw");
  ASSERT_EQ(raw.size(), 800u);
  LogCapture log;
  const auto clip = Load("tone8.wav");
  ASSERT_NE(clip, nullptr);
  EXPECT_EQ(clip->sampleRate, 8000.0f);
  ASSERT_EQ(clip->samples.size(), raw.size());
  for (size_t i = 0; i < raw.size(); ++i) {
    ASSERT_EQ(clip->samples[i], (static_cast<uint8_t>(raw[i]) - 128) * 256) << i;
  }
  EXPECT_TRUE(log.Contains("Converting 800 8-bit samples to 16-bit"));
}

TEST_F(SoundLoaderTest, EightBitExtremesMapOntoTheSixteenBitRange) {
  Write("extremes.raw", std::string("\x00\x80\xff", 3));
  Run("sox -t raw -r 8000 -e unsigned-integer -b 8 -c 1 extremes.raw extremes.wav");
  const auto clip = Load("extremes.wav");
  ASSERT_NE(clip, nullptr);
  EXPECT_EQ(clip->samples, (std::vector<int16_t>{-32768, 0, 32512}));
}

TEST_F(SoundLoaderTest, OtherChunksAndLongerFormatChunksAreSkipped) {
  Run("sox -D -n -r 11025 -c 1 -b 16 -e signed-integer plain.wav synth 0.05 sine 500");
  const std::string plain = Bytes("plain.wav");
  const auto reference = Load("plain.wav");
  ASSERT_NE(reference, nullptr);

  // A "LIST" chunk of INFO text between "fmt " and "data", as many encoders write one (this sox
  // writes none, so it is added to sox's file).
  const std::string text("Loomwork test", 14);  // with its terminating zero
  const std::string info = "INFOISFT" + U32(static_cast<uint32_t>(text.size())) + text;
  const std::string list = "LIST" + U32(static_cast<uint32_t>(info.size())) + info;
  Write("list.wav", InsertChunk(plain, "data", list));

  // A "fmt " chunk of 18 bytes, ending in an extension size of 0.
  std::string extended = plain;
  const size_t fmt = ChunkAt(extended, "fmt ");
  WriteU32(extended, fmt + 4, 18);
  extended.insert(fmt + 8 + 16, std::string(2, '\0'));
  WriteU32(extended, 4, static_cast<uint32_t>(extended.size() - 8));
  Write("fmt18.wav", extended);

  for (const char* name : {"list.wav", "fmt18.wav"}) {
    SCOPED_TRACE(name);
    const auto clip = Load(name);
    ASSERT_NE(clip, nullptr);
    EXPECT_EQ(clip->samples, reference->samples);
    EXPECT_EQ(clip->sampleRate, 11025.0f);
  }
}

// ---------------------------------------------------------------------------------------------
// WAVE files that are refused.

TEST_F(SoundLoaderTest, UnsupportedWaveLayoutsAreRefused) {
  const struct {
    const char* soxOutput;
    const char* message;  // logged error; null: refused without one (not PCM)
  } cases[] = {
      {"-c 2 -b 16 -e signed-integer",
       "Unsupported wav with 16 bits/sample, 2 channels and 4 blockalign"},
      {"-c 2 -b 8 -e unsigned-integer",
       "Unsupported wav with 8 bits/sample, 2 channels and 2 blockalign"},
      {"-c 1 -b 24 -e signed-integer", nullptr},  // written as an extensible format
      {"-c 1 -b 32 -e floating-point", nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.soxOutput);
    Run(std::string("sox -n -r 8000 ") + c.soxOutput + " refused.wav synth 0.01 sine 440");
    LogCapture log;
    std::string printed;
    EXPECT_EQ(Load("refused.wav", &printed), nullptr);
    EXPECT_EQ(printed, "Failed to load 'refused.wav'\n");
    if (c.message != nullptr) {
      ASSERT_EQ(log.Messages().size(), 1u);
      EXPECT_EQ(log.Messages()[0], std::make_pair(int(LogLevel::Error), std::string(c.message)));
    } else {
      EXPECT_TRUE(log.Messages().empty());
    }
  }
}

TEST_F(SoundLoaderTest, MissingFilesAndOtherExtensionsGiveNoClip) {
  {
    LogCapture log;
    std::string printed;
    EXPECT_EQ(Load("missing.wav", &printed), nullptr);
    EXPECT_TRUE(log.Contains("Failed to open file 'missing.wav'"));
    EXPECT_EQ(printed, "Failed to load 'missing.wav'\n");
  }
  {
    LogCapture log;
    std::string printed;
    EXPECT_EQ(Load("missing.ogg", &printed), nullptr);
    EXPECT_TRUE(log.Contains("missing.ogg"));  // the data-root read's own message
    EXPECT_EQ(printed, "");
  }
  Run("sox -n -r 8000 -c 1 -b 16 tone.wav synth 0.01 sine 440");
  Run("cp tone.wav tone.flac && cp tone.wav tone");
  for (const char* name : {"tone.flac", "tone"}) {
    LogCapture log;
    EXPECT_EQ(Load(name), nullptr) << name;
    EXPECT_FALSE(log.Messages().empty()) << name;
  }
}

// Damaged WAVE files: each either fails cleanly or gives exactly the samples really present.
TEST_F(SoundLoaderTest, DamagedWaveFilesLoadOnlyWhatIsThere) {
  Run("sox -D -n -r 8000 -c 1 -b 16 -e signed-integer good.wav synth 0.01 sine 440");
  const std::string good = Bytes("good.wav");
  const auto full = Load("good.wav");
  ASSERT_NE(full, nullptr);
  const size_t data = ChunkAt(good, "data");
  const std::vector<int16_t>& all = full->samples;
  ASSERT_EQ(all.size(), 80u);

  auto withU32 = [&](size_t at, uint32_t v) {
    std::string bytes = good;
    WriteU32(bytes, at, v);
    return bytes;
  };
  const std::vector<int16_t> none;
  const std::vector<int16_t> allButLast(all.begin(), all.end() - 1);
  const std::vector<int16_t> first10(all.begin(), all.begin() + 10);
  const struct {
    const char* name;
    std::string bytes;
    bool loads;
    std::vector<int16_t> samples;
  } cases[] = {
      {"not a RIFF file", "This is not a sound file at all.\n", false, none},
      {"empty", "", false, none},
      {"RIFF header only", good.substr(0, 12), false, none},
      {"cut inside fmt", good.substr(0, 30), false, none},
      {"cut inside the data header", good.substr(0, data + 6), true, none},
      {"cut after 10 samples", good.substr(0, data + 8 + 20), true, first10},
      {"cut mid-sample", good.substr(0, data + 8 + 21), true, first10},
      {"data size past the end", withU32(data + 4, 0x7FFFFFF0u), true, all},
      {"data size negative", withU32(data + 4, 0xFFFFFFFFu), true, all},
      {"data of odd length", withU32(data + 4, 159), true, allButLast},
      {"RIFF size past the end", withU32(4, 0x7FFFFFF0u), true, all},
      {"fmt size past the end", withU32(ChunkAt(good, "fmt ") + 4, 0x7FFFFFF0u), false, none},
      {"fmt too short", withU32(ChunkAt(good, "fmt ") + 4, 4), false, none},
      {"block align 0", withU32(ChunkAt(good, "fmt ") + 20, 0x00100000u), false, none},
      {"no data chunk", good.substr(0, data), false, none},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Write("damaged.wav", c.bytes);
    std::string printed;
    const auto clip = Load("damaged.wav", &printed);
    EXPECT_EQ(clip != nullptr, c.loads);
    if (clip != nullptr) {
      EXPECT_EQ(clip->samples, c.samples);
    } else {
      EXPECT_EQ(printed, "Failed to load 'damaged.wav'\n");
    }
  }

  // Every possible truncation: never more than the samples present, never different ones.
  for (size_t length = 0; length <= good.size(); ++length) {
    Write("damaged.wav", good.substr(0, length));
    const auto clip = Load("damaged.wav");
    if (clip != nullptr) {
      ASSERT_LE(clip->samples.size(), all.size()) << length;
      ASSERT_TRUE(std::equal(clip->samples.begin(), clip->samples.end(), all.begin())) << length;
    }
  }
}

// Random byte damage to a real file: whatever comes out, nothing is read or written out of
// bounds (run the suite under AddressSanitizer to see that), and a clip never holds more samples
// than the file has bytes.
TEST_F(SoundLoaderTest, RandomlyCorruptedWaveFilesNeverMisbehave) {
  Run("sox -D -n -r 8000 -c 1 -b 8 -e unsigned-integer good8.wav synth 0.01 sine 440");
  Run("sox -D -n -r 8000 -c 1 -b 16 -e signed-integer good16.wav synth 0.01 sine 440");
  uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  for (const char* source : {"good8.wav", "good16.wav"}) {
    const std::string good = Bytes(source);
    for (int round = 0; round < 300; ++round) {
      std::string bytes = good;
      const int edits = 1 + static_cast<int>(next() % 4);
      for (int e = 0; e < edits; ++e) {
        // Mostly within the headers, where the sizes and tags are.
        const size_t at = next() % (next() % 2 ? 48 : bytes.size());
        bytes[at] = static_cast<char>(next());
      }
      Write("fuzz.wav", bytes);
      const auto clip = Load("fuzz.wav");
      if (clip != nullptr) {
        ASSERT_LE(clip->samples.size(), bytes.size()) << source << " round " << round;
      }
    }
  }
}

// ---------------------------------------------------------------------------------------------
// Ogg Vorbis.

double RmsDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b) {
  double sum = 0.0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = double(a[i]) - b[i];
    sum += d * d;
  }
  return std::sqrt(sum / a.size()) / 32768.0;
}

TEST_F(SoundLoaderTest, OggVorbisMonoAndStereoDecode) {
  Run("sox -D -n -r 44100 -c 1 -b 16 -e signed-integer mono.wav synth 0.5 sine 440 gain -6");
  Run("sox -D -n -r 22050 -c 2 -b 16 -e signed-integer stereo.wav"
      " synth 0.5 sine 440 sine 660 gain -6");
  Run("oggenc -Q -q 6 -o mono.ogg mono.wav && oggenc -Q -q 6 -o stereo.ogg stereo.wav");
  Run("cp mono.ogg LOUD.OGG");
  const struct {
    const char* ogg;
    const char* source;
    int channels;
    float rate;
  } cases[] = {
      {"mono.ogg", "mono.wav", 1, 44100.0f},
      {"LOUD.OGG", "mono.wav", 1, 44100.0f},
      {"stereo.ogg", "stereo.wav", 2, 22050.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ogg);
    const std::vector<int16_t> source = SoxSamples16(c.source);
    const auto clip = Load(c.ogg);
    ASSERT_NE(clip, nullptr);
    EXPECT_EQ(clip->channels, c.channels);
    EXPECT_EQ(clip->sampleRate, c.rate);
    EXPECT_EQ(clip->useCount, 0);
    // Frames x channels values, as long as the source, and close to it: Vorbis is lossy.
    ASSERT_EQ(clip->samples.size(), source.size());
    EXPECT_LT(RmsDifference(clip->samples, source), 0.01);
  }
}

TEST_F(SoundLoaderTest, DamagedOggFilesFailOrKeepWhatDecodes) {
  // Long enough that the stream's first half holds several whole audio pages (of about 4 KB), not
  // only the codebooks: a page cut short cannot be decoded.
  Run("sox -D -n -r 44100 -c 1 -b 16 -e signed-integer sweep.wav synth 20.0 sine 200-4000 gain -6");
  Run("oggenc -Q -o sweep.ogg sweep.wav");
  const std::string good = Bytes("sweep.ogg");
  const auto whole = Load("sweep.ogg");
  ASSERT_NE(whole, nullptr);
  const std::vector<int16_t>& all = whole->samples;
  // The first page holds the identification header alone; the comment and setup headers follow
  // on the next pages, the audio after them.
  const size_t second = good.find("OggS", 4);
  const size_t third = good.find("OggS", second + 4);
  ASSERT_NE(third, std::string::npos);
  const size_t codebook = good.find("BCV", second);  // the sync pattern of the first codebook
  ASSERT_LT(codebook, third);
  auto flipped = [&](size_t at, bool fixCrc) {
    std::string bytes = good;
    bytes[at] = static_cast<char>(bytes[at] ^ 0x5A);
    if (fixCrc) FixOggPageCrc(bytes, at < second ? 0 : at < third ? second : third);
    return bytes;
  };

  const struct {
    const char* name;
    std::string bytes;
    bool loads;
  } cases[] = {
      {"cut in half", good.substr(0, good.size() / 2), true},
      {"cut three quarters in", good.substr(0, good.size() * 3 / 4), true},
      {"cut inside the identification header", good.substr(0, 40), false},
      {"cut inside the headers", good.substr(0, 100), false},
      {"cut inside the setup header", good.substr(0, second + 200), false},
      {"cut right after the headers", good.substr(0, third), false},
      // 28 + 1: the "vorbis" of the identification header.
      {"a byte of the identification page flipped", flipped(28 + 1, false), false},
      {"the same, its checksum made right", flipped(28 + 1, true), false},
      {"a byte of the setup header flipped", flipped(codebook, false), false},
      {"the same, its checksum made right", flipped(codebook, true), false},
      {"not Ogg at all", std::string(4000, 'x'), false},
      {"empty", "", false},
      {"a WAVE file", Bytes("sweep.wav"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Write("damaged.ogg", c.bytes);
    LogCapture log;
    std::string printed;
    const auto clip = Load("damaged.ogg", &printed);
    ASSERT_EQ(clip != nullptr, c.loads);
    if (clip != nullptr) {
      // The pages that are there, decoded as in the whole file, except for the last long
      // window (2048 samples), which misses the next one to overlap with.
      const std::vector<int16_t>& part = clip->samples;
      ASSERT_GT(part.size(), 2048u);
      ASSERT_LT(part.size(), all.size());
      EXPECT_TRUE(std::equal(part.begin(), part.end() - 2048, all.begin()));
    } else {
      ASSERT_EQ(log.Messages().size(), 1u) << log.Text();
      EXPECT_EQ(log.Messages()[0].first, int(LogLevel::Error));
      EXPECT_TRUE(log.Contains("Cannot load 'damaged.ogg': ")) << log.Text();
    }
    EXPECT_EQ(printed, "");
  }
}

// The reference decoder's own command-line tool writes the same samples (both use libvorbis, so
// exactly the same), mono and stereo. A chain of two streams of one format decodes to both; a
// chain whose second stream changes the format stops where it changes.
TEST_F(SoundLoaderTest, OggSamplesMatchOggdec) {
  Run("sox -D -n -r 48000 -c 2 -b 16 -e signed-integer chord.wav"
      " synth 1.3 sine 300 sine 500 gain -3");
  Run("sox -D -n -r 44100 -c 1 -b 16 -e signed-integer tone.wav synth 0.9 sine 440 gain -3");
  Run("sox -D -n -r 44100 -c 1 -b 16 -e signed-integer sweep.wav synth 0.4 sine 100-900");
  Run("oggenc -Q -q 3 -o chord.ogg chord.wav && oggenc -Q -q 0 -o tone.ogg tone.wav");
  Run("oggenc -Q -q 8 -o sweep.ogg sweep.wav");
  Run("cat tone.ogg sweep.ogg > same.ogg && cat tone.ogg chord.ogg > changes.ogg");
  // oggdec itself writes only the first stream of a chain.
  for (const char* name : {"chord", "tone", "sweep"}) {
    Run(std::string("oggdec -Q -R -o ") + name + ".raw " + name + ".ogg");
  }
  const struct {
    const char* ogg;
    std::string raw;
    int channels;
    float rate;
  } cases[] = {
      {"chord.ogg", Bytes("chord.raw"), 2, 48000.0f},
      {"tone.ogg", Bytes("tone.raw"), 1, 44100.0f},
      {"same.ogg", Bytes("tone.raw") + Bytes("sweep.raw"), 1, 44100.0f},
      {"changes.ogg", Bytes("tone.raw"), 1, 44100.0f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.ogg);
    const auto clip = Load(c.ogg);
    ASSERT_NE(clip, nullptr);
    EXPECT_EQ(clip->channels, c.channels);
    EXPECT_EQ(clip->sampleRate, c.rate);
    ASSERT_EQ(clip->samples.size() * 2, c.raw.size());
    EXPECT_EQ(std::memcmp(clip->samples.data(), c.raw.data(), c.raw.size()), 0);
  }
}

// Crafted and oversized files: each refused quickly with a message, never a crash or an
// allocation beyond what a file of its size may cost.
TEST_F(SoundLoaderTest, OggFilesThatAskForTooMuchAreRefused) {
  Run("sox -D -n -r 44100 -c 1 -b 16 -e signed-integer tone.wav synth 0.5 sine 440");
  Run("oggenc -Q -o tone.ogg tone.wav");
  const std::string good = Bytes("tone.ogg");
  const size_t lastPage = good.rfind("OggS");
  ASSERT_NE(lastPage, std::string::npos);

  std::string longClaim = good;  // the last page says the stream is 2^40 frames long
  for (int i = 0; i < 8; ++i) longClaim[lastPage + 6 + i] = i == 5 ? 1 : 0;
  FixOggPageCrc(longClaim, lastPage);
  std::string sixChannels = good;  // identification header: channels at 28 + 11
  sixChannels[28 + 11] = 6;
  FixOggPageCrc(sixChannels, 0);
  std::string noRate = good;  // the rate at 28 + 12
  WriteU32(noRate, 28 + 12, 0);
  FixOggPageCrc(noRate, 0);
  std::string megahertz = good;
  WriteU32(megahertz, 28 + 12, 1000000);
  FixOggPageCrc(megahertz, 0);
  std::string garbage = "OggS" + std::string(3000, '\x7f');
  const std::string longer = "is longer than the " +
                             std::to_string(DecodedSampleCap(longClaim.size())) +
                             " frames a file of " + std::to_string(longClaim.size()) + " bytes";

  struct Case {
    const char* name;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"claims 2^40 frames", longClaim, longer.c_str()},
      {"six channels", sixChannels, "unsupported Ogg Vorbis with 6 channels"},
      {"rate 0", noRate, "damaged Vorbis identification header"},
      {"rate 1 MHz", megahertz, "unsupported Ogg Vorbis sample rate of 1000000 Hz"},
      {"garbage after OggS", garbage, "not an Ogg Vorbis file"},
      {"the headers twice", good.substr(0, lastPage) + good.substr(0, lastPage),
       "no audio could be decoded"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Write("crafted.ogg", c.bytes);
    LogCapture log;
    const auto start = std::chrono::steady_clock::now();
    const auto clip = Load("crafted.ogg");
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));  // hang guard
    EXPECT_EQ(clip, nullptr);
    EXPECT_TRUE(log.Contains(c.message)) << log.Text();
  }

  // Eleven minutes of stereo silence is a small file, but more than any clip may hold.
  Run("sox -D -n -r 48000 -c 2 -b 16 -e signed-integer long.wav trim 0 660");
  Run("oggenc -Q -q -1 -o long.ogg long.wav && rm long.wav");
  EXPECT_LT(Bytes("long.ogg").size(), 200000u);
  LogCapture log;
  EXPECT_EQ(Load("long.ogg"), nullptr);
  EXPECT_TRUE(log.Contains("is longer than the 28800000 frames a clip may hold")) << log.Text();
}

// What a file may decode to in proportion to its size, on real encoder output: silence packs
// far more samples into a byte than any sound does, so with a tight ratio it is refused while
// noise of the same length, in a larger file, decodes. A single stream is refused for the length
// its pages claim; a chain of two, each within the ratio alone, while it decodes.
TEST_F(SoundLoaderTest, OggDecodedLengthIsBoundedByFileSize) {
  Run("sox -D -n -r 44100 -c 2 -b 16 -e signed-integer silence.wav trim 0 20");
  Run("sox -D -n -r 44100 -c 2 -b 16 -e signed-integer noise.wav synth 20 whitenoise gain -6");
  Run("oggenc -Q -q -1 -s 1 -o silence.ogg silence.wav && oggenc -Q -q -1 -o noise.ogg noise.wav");
  Run("oggenc -Q -q -1 -s 2 -o silence2.ogg silence.wav && cat silence.ogg silence2.ogg > two.ogg");
  constexpr size_t kTwentySeconds = 20 * 44100 * 2;
  auto ratio = [](size_t samplesPerFileByte) {
    DecodeLimits limits;
    limits.samplesPerFileByte = samplesPerFileByte;
    limits.allowance = 0;
    return limits;
  };
  const struct {
    const char* name;
    DecodeLimits limits;
    size_t samples;  // 0: refused as too long
  } cases[] = {
      {"silence.ogg", {}, kTwentySeconds},
      {"two.ogg", {}, 2 * kTwentySeconds},
      {"noise.ogg", ratio(100), kTwentySeconds},
      {"silence.ogg", ratio(100), 0},
      {"two.ogg", ratio(200), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = Bytes(c.name);
    DecodedSound sound;
    std::string error;
    const VorbisResult result = DecodeVorbis(reinterpret_cast<const uint8_t*>(bytes.data()),
                                             bytes.size(), sound, error, c.limits);
    EXPECT_EQ(sound.samples.size(), c.samples) << error;
    if (c.samples != 0) {
      EXPECT_EQ(result, VorbisResult::Ok);
    } else {
      EXPECT_EQ(result, VorbisResult::TooLong);
      const std::string cap = std::to_string(DecodedSampleCap(bytes.size(), c.limits) / 2);
      EXPECT_NE(error.find("is longer than the " + cap + " frames a file of " +
                           std::to_string(bytes.size()) + " bytes may hold"),
                std::string::npos)
          << error;
    }
  }
}

// Files too large to be a clip are refused before they are read, and a WAVE data chunk of more
// samples than a clip may hold is refused rather than copied.
TEST_F(SoundLoaderTest, SoundFilesLargerThanAClipAreRefused) {
  Run("sox -n -r 8000 -c 1 -b 16 -e signed-integer small.wav synth 0.01 sine 440");
  std::string header = Bytes("small.wav").substr(0, ChunkAt(Bytes("small.wav"), "data") + 8);
  const uint32_t dataBytes = static_cast<uint32_t>(kMaxDecodedSamples + 1) * 2;
  WriteU32(header, header.size() - 4, dataBytes);
  WriteU32(header, 4, static_cast<uint32_t>(header.size() - 8 + dataBytes));
  Write("long.wav", header);
  // Sparse files: large, but nothing is written or read unless the loader reads them.
  Run("truncate -s " + std::to_string(header.size() + dataBytes) + " long.wav");
  Run("truncate -s 4G huge.wav && truncate -s 4G huge.ogg");
  const struct {
    const char* name;
    const char* message;
  } cases[] = {
      {"long.wav", "'long.wav' is longer than the 57600000 samples a clip may hold"},
      {"huge.wav", "'huge.wav' is larger (4294967296 bytes) than the"},
      {"huge.ogg", "'huge.ogg' is larger (4294967296 bytes) than the"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LogCapture log;
    EXPECT_EQ(Load(c.name), nullptr);
    EXPECT_TRUE(log.Contains(c.message)) << log.Text();
  }
}

}  // namespace
}  // namespace Audio

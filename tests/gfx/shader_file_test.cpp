#include "gfx/shader_file.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/log.h"
#include "tests/support/log_capture.h"
#include "tests/support/temp_directory.h"

namespace {

using namespace std::string_literals;

std::string Int32(int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  return std::string{char(bits & 0xFF), char((bits >> 8) & 0xFF), char((bits >> 16) & 0xFF),
                     char(bits >> 24)};
}

// A tag as ChunkFile stores it: the constant byte-swapped, so 'UNIS' reads "UNIS" on disk and
// the language 4096 (0x1000) is stored as 00 00 10 00.
std::string Tag(uint32_t tag) { return Int32(static_cast<int32_t>(__builtin_bswap32(tag))); }

std::string Chunk(uint32_t tag, const std::string& content) {
  return Tag(tag) + Int32(static_cast<int32_t>(content.size())) + content;
}

std::string String(const std::string& text) {
  std::string padded = text;
  padded.resize((text.size() + 3) / 4 * 4, '\0');
  return Int32(static_cast<int32_t>(text.size())) + padded;
}

std::string Info(Draw::ShaderStage stage) {
  return Chunk('INFO', String("Untitled") + Int32(stage));
}

std::string Meta(const std::vector<Draw::SamplerBinding>& samplers) {
  std::string content = Int32(static_cast<int32_t>(samplers.size()));
  for (const Draw::SamplerBinding& binding : samplers) {
    content += String(binding.name) + Int32(binding.unit);
  }
  return Chunk('META', content);
}

std::string Code(const std::string& code) { return Chunk('CODE', String(code)); }

bool SameSamplers(const std::vector<Draw::SamplerBinding>& a,
                  const std::vector<Draw::SamplerBinding>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].name != b[i].name || a[i].unit != b[i].unit) return false;
  }
  return true;
}

class ShaderFileTest : public ::testing::Test {
 protected:
  ShaderFileTest() { AddDataRoot(roots, temp.Path()); }

  ShaderCode Read(const std::string& name, int32_t language, Draw::ShaderStage* stage = nullptr) {
    return ReadShaderFile(&roots, name, language, stage);
  }

  TempDirectory temp;
  DataRoots roots;
};

TEST_F(ShaderFileTest, EveryLanguageReadsBackWhatWasWritten) {
  UnishaderData record;
  record.name = "ignored";
  record.stage = Draw::FRAGMENT;
  const int32_t languages[] = {1, 8, 16, 128, 2048, 4096};
  for (int32_t language : languages) {
    ShaderCode& entry = record.languages[UnishaderLanguageIndex(language)];
    entry.code = "code for " + std::to_string(language) + (language == 4096 ? "\n\0x"s : "");
    for (int32_t i = 0; i < language % 3 + 1; ++i) {
      entry.samplers.push_back({"sampler" + std::to_string(i) + "of" + std::to_string(language),
                                i + language % 7});
    }
  }
  ASSERT_TRUE(WriteShaderFile(&roots, "all.bin", record));

  for (int32_t language : languages) {
    SCOPED_TRACE(language);
    Draw::ShaderStage stage = Draw::VERTEX;
    const ShaderCode read = Read("all.bin", language, &stage);
    const ShaderCode& written = record.languages[UnishaderLanguageIndex(language)];
    EXPECT_EQ(read.code, written.code);
    EXPECT_TRUE(SameSamplers(read.samplers, written.samplers));
    EXPECT_EQ(stage, Draw::FRAGMENT);
  }
  // A language the file does not carry: no code, no samplers, still the stage.
  Draw::ShaderStage stage = Draw::VERTEX;
  const ShaderCode missing = Read("all.bin", 64, &stage);
  EXPECT_TRUE(missing.code.empty());
  EXPECT_TRUE(missing.samplers.empty());
  EXPECT_EQ(stage, Draw::FRAGMENT);
}

TEST_F(ShaderFileTest, SmallFileHasTheExactLayout) {
  UnishaderData record;
  record.name = "not written: every file says Untitled";
  record.stage = Draw::FRAGMENT;
  record.languages[UnishaderLanguageIndex(Draw::GLSL_450)] = {"void main(){}", {{"tex", 3}}};
  ASSERT_TRUE(WriteShaderFile(&roots, "small.bin", record));

  const std::string language = Meta({{"tex", 3}}) + Code("void main(){}");
  const std::string expected =
      Chunk('UNIS', Info(Draw::FRAGMENT) + Chunk('DATA', Chunk(4096, language)));
  EXPECT_EQ(temp.ReadFile("small.bin"), expected);
  // Spelled out once, so the helpers above cannot hide a mistake they share with the writer.
  EXPECT_EQ(expected.substr(0, 16), "UNIS"s + Int32(92) + "INFO"s + Int32(16));
  EXPECT_EQ(expected.substr(32, 16), "DATA"s + Int32(60) + "\0\0\x10\0"s + Int32(52));
}

TEST_F(ShaderFileTest, LanguagesAreWrittenInTheFixedOrderAndEmptyOnesLeftOut) {
  UnishaderData record;
  record.stage = Draw::VERTEX;
  for (int i = 0; i < 7; ++i) record.languages[i].code = "x";
  record.languages[UnishaderLanguageIndex(16)].code.clear();
  ASSERT_TRUE(WriteShaderFile(&roots, "order.bin", record));

  // Walk the children of DATA: UNIS header, INFO chunk, DATA header, then the language chunks.
  const std::string bytes = temp.ReadFile("order.bin");
  size_t position = 8 + 8 + 16 + 8;
  std::vector<std::string> tags;
  while (position + 8 <= bytes.size()) {
    tags.push_back(bytes.substr(position, 4));
    uint32_t length = 0;
    for (int i = 3; i >= 0; --i) length = length << 8 | uint8_t(bytes[position + 4 + i]);
    position += 8 + length;
  }
  EXPECT_EQ(position, bytes.size());
  // The entry that no language selects is never written.
  EXPECT_EQ(tags, (std::vector<std::string>{Tag(128), Tag(4096), Tag(2048), Tag(8), Tag(1)}));
}

TEST_F(ShaderFileTest, MissingChunksLeaveTheirPartEmptyWithoutMessages) {
  const std::string meta = Meta({{"a", 1}, {"b", 2}});
  const std::string code = Code("void main() {}");
  struct Case {
    const char* what;
    std::string unis;  // content of UNIS
    bool hasCode, hasSamplers;
    Draw::ShaderStage stage;
  };
  const Case cases[] = {
      {"everything", Info(Draw::FRAGMENT) + Chunk('DATA', Chunk(4096, meta + code)), true, true,
       Draw::FRAGMENT},
      {"chunks in another order",
       Chunk('DATA', Chunk(4096, code + meta)) + Info(Draw::FRAGMENT), true, true, Draw::FRAGMENT},
      {"no DATA", Info(Draw::FRAGMENT), false, false, Draw::FRAGMENT},
      {"no such language", Info(Draw::FRAGMENT) + Chunk('DATA', Chunk(128, meta + code)), false,
       false, Draw::FRAGMENT},
      {"no META", Info(Draw::FRAGMENT) + Chunk('DATA', Chunk(4096, code)), true, false,
       Draw::FRAGMENT},
      {"no CODE", Info(Draw::FRAGMENT) + Chunk('DATA', Chunk(4096, meta)), false, true,
       Draw::FRAGMENT},
      // Without INFO the stage is left as it was (the caller's GEOMETRY below).
      {"no INFO", Chunk('DATA', Chunk(4096, meta + code)), true, true, Draw::GEOMETRY},
      {"empty UNIS", "", false, false, Draw::GEOMETRY},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    temp.WriteFile("case.bin", Chunk('UNIS', c.unis));
    LogCapture log;
    Draw::ShaderStage stage = Draw::GEOMETRY;
    const ShaderCode read = Read("case.bin", Draw::GLSL_450, &stage);
    EXPECT_EQ(read.code, c.hasCode ? "void main() {}" : "");
    const std::vector<Draw::SamplerBinding> none, both = {{"a", 1}, {"b", 2}};
    EXPECT_TRUE(SameSamplers(read.samplers, c.hasSamplers ? both : none));
    EXPECT_EQ(stage, c.stage);
    EXPECT_TRUE(log.Messages().empty());
  }
}

TEST_F(ShaderFileTest, UnreadableAndForeignFilesAreReported) {
  temp.WriteFile("riff.bin", Chunk('RIFF', "WAVE"));
  temp.WriteFile("empty.bin", "");
  temp.MakeDirectory("directory.bin");
  struct Case {
    const char* file;
    const char* message;
  };
  const Case cases[] = {
      {"missing.bin", "Could not open missing.bin"},
      {"directory.bin", "Could not open directory.bin"},
      {"riff.bin", "Not a shader file riff.bin"},
      {"empty.bin", "Not a shader file empty.bin"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    LogCapture log;
    Draw::ShaderStage stage = Draw::GEOMETRY;
    const ShaderCode read = Read(c.file, Draw::GLSL_450, &stage);
    EXPECT_TRUE(read.code.empty());
    EXPECT_TRUE(read.samplers.empty());
    EXPECT_EQ(stage, Draw::GEOMETRY);
    bool found = false;
    for (const auto& [level, text] : log.Messages()) {
      if (text == c.message) found = level == static_cast<int>(LogLevel::Error);
    }
    EXPECT_TRUE(found) << "expected the error \"" << c.message << "\"";
  }
}

TEST_F(ShaderFileTest, CannotWriteWhereNoFileCanBeCreated) {
  UnishaderData record;
  record.languages[UnishaderLanguageIndex(Draw::GLSL_450)].code = "x";
  LogCapture log;
  EXPECT_FALSE(WriteShaderFile(&roots, "no/such/directory/x.bin", record));
  EXPECT_FALSE(log.Messages().empty());
}

TEST_F(ShaderFileTest, HostileCountsAndLengthsStayInsideTheFile) {
  const std::string info = Info(Draw::VERTEX);
  auto file = [&](const std::string& language) {
    return Chunk('UNIS', info + Chunk('DATA', Chunk(4096, language)));
  };
  struct Case {
    const char* what;
    std::string bytes;
    std::string code;
    size_t maxSamplers;
  };
  const Case cases[] = {
      // 24 bytes of bindings claiming two billion: no more than 24 / 8 are read.
      {"huge count", file(Chunk('META', Int32(0x7FFFFFFF) + String("a") + Int32(1) + String("b") +
                                            Int32(2)) +
                          Code("c")),
       "c", 3},
      {"negative count", file(Chunk('META', Int32(-5) + String("a") + Int32(1)) + Code("c")), "c",
       0},
      {"count without bindings", file(Chunk('META', Int32(1000)) + Code("c")), "c", 0},
      // A string longer than its chunk gives what is there.
      {"code length past the end", file(Chunk('CODE', Int32(1 << 30) + "abcd")), "abcd", 0},
      {"sampler name past the end", file(Chunk('META', Int32(1) + Int32(1 << 30) + "ab")), "", 1},
      // A chunk claiming more bytes than the file holds is cut at the end of the file.
      {"UNIS length past the end",
       Tag('UNIS') + Int32(1 << 30) + info + Chunk('DATA', Chunk(4096, Code("c"))), "c", 0},
      {"negative chunk length",
       Tag('UNIS') + Int32(-8) + info + Chunk('DATA', Chunk(4096, Code("c"))), "c", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    temp.WriteFile("hostile.bin", c.bytes);
    const ShaderCode read = Read("hostile.bin", Draw::GLSL_450);
    EXPECT_EQ(read.code, c.code);
    EXPECT_LE(read.samplers.size(), c.maxSamplers);
  }
}

// Every prefix of a real file, and copies with random bytes changed: whatever comes back, the
// reader must not crash or read outside the file (run under a sanitizer to see the latter).
TEST_F(ShaderFileTest, TruncatedAndCorruptedFilesAreReadSafely) {
  UnishaderData record;
  record.stage = Draw::FRAGMENT;
  record.languages[UnishaderLanguageIndex(Draw::GLSL_450)] = {
      "#version 450 core\nvoid main() {}\n", {{"baseTexture", 0}, {"environmentMap", 1}}};
  record.languages[UnishaderLanguageIndex(128)] = {"other", {{"s", 5}}};
  ASSERT_TRUE(WriteShaderFile(&roots, "good.bin", record));
  const std::string good = temp.ReadFile("good.bin");

  LogCapture quiet;
  for (size_t length = 0; length < good.size(); ++length) {
    temp.WriteFile("cut.bin", good.substr(0, length));
    const ShaderCode read = Read("cut.bin", Draw::GLSL_450);
    EXPECT_LE(read.code.size(), length);
  }
  std::mt19937 random(1234);
  for (int trial = 0; trial < 600; ++trial) {
    std::string bad = good;
    const int changes = 1 + trial % 4;
    for (int i = 0; i < changes; ++i) {
      bad[random() % bad.size()] = static_cast<char>(random() % 256);
    }
    temp.WriteFile("bad.bin", bad);
    const ShaderCode read = Read("bad.bin", Draw::GLSL_450);
    EXPECT_LE(read.code.size(), bad.size());
    EXPECT_LE(read.samplers.size(), bad.size() / 8);
  }
}

}  // namespace

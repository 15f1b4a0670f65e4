// loomwork-tool's commands and arguments: usage, scenes, info, damaged input, the grid and the
// history, against the application's own load path.
#include "tests/tools/loomwork_tool_fixture.h"

#include <cmath>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "sculpt/sculpture_file.h"
#include "sculpt/stamp_mode.h"
#include "sculpt/stroke_sculpture.h"
#include "sculpt/test_scenes.h"

namespace {

using namespace tooltest;

TEST_F(LoomworkToolTest, UsageErrorsExitTwoWithUsageOnStderr) {
  struct Case {
    std::vector<std::string> args;
    const char* message;
  };
  const Case cases[] = {
      {{}, "no command"},
      {{"sculpt"}, "unknown command 'sculpt'"},
      {{"info"}, "info needs a sculpture file"},
      {{"info", "a.sculpt", "b.sculpt"}, "unexpected 'b.sculpt'"},
      {{"scene", "materials"}, "needs an output file"},
      {{"grid", "a.sculpt"}, "needs an output file"},
      {{"mesh", "a.sculpt", "-o"}, "-o needs a file name"},
      {{"mesh", "a.sculpt", "--output"}, "--output needs a file name"},
      {{"mesh", "a.sculpt", "--output="}, "empty"},
      {{"mesh", "a.sculpt", "-o", "x.ply", "--output", "y.ply"}, "more than once"},
      {{"mesh", "a.sculpt", "-o", "x.ply", "--wireframe"}, "unknown option '--wireframe'"},
      {{"info", "a.sculpt", "-o", "x"}, "-o is not accepted"},
      {{"grid", "a.sculpt", "-o", "x", "--stats"}, "--stats is accepted by mesh and export only"},
      // The known names are listed so the user can pick one.
      {{"scene", "teapot", "-o", "t.sculpt"}, "materials, default, marble"},
  };
  for (const Case& c : cases) {
    std::string joined;
    for (const std::string& a : c.args) joined += " " + a;
    SCOPED_TRACE("loomwork-tool" + joined);
    const ToolResult result = Run(c.args);
    EXPECT_EQ(result.exitCode, 2);
    EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("Usage:"), std::string::npos);
    EXPECT_EQ(result.out, "");
  }
  EXPECT_TRUE(Listing().empty()) << "a usage error wrote a file";
}

TEST_F(LoomworkToolTest, HelpGoesToStdoutAndSucceeds) {
  const std::vector<std::string> cases[] = {{"--help"}, {"-h"}, {"help"}, {"mesh", "--help"}};
  for (const auto& args : cases) {
    SCOPED_TRACE(args.back());
    const ToolResult result = Run(args);
    EXPECT_EQ(result.exitCode, 0);
    EXPECT_NE(result.out.find("Usage:"), std::string::npos);
    for (const char* command : {"scene", "info", "grid", "mesh", "--stats"})
      EXPECT_NE(result.out.find(command), std::string::npos) << command;
    EXPECT_EQ(result.err, "");
  }
}

TEST_F(LoomworkToolTest, SceneRoundTripsThroughInfo) {
  struct Case {
    const char* scene;
    const char* count;
    const char* types;
    const char* modes;
    std::vector<SculptOp> records;
  };
  const Case cases[] = {
      {"materials", "513", "types: clear 1, sphere 512, box 0, cylinder 0, other 0",
       "modes: set 0, add 512, subtract 0, sandpaper 0, buff 0, other 0",
       TestSceneRecords("materials")},
      {"default", "4", "types: clear 1, sphere 2, box 1, cylinder 0, other 0",
       "modes: set 0, add 2, subtract 1, sandpaper 0, buff 0, other 0",
       TestSceneRecords("default")},
      {"strokes", "50000", "types: clear 4, sphere 49996, box 0, cylinder 0, other 0",
       "modes: set 10577, add 20381, subtract 12752, sandpaper 0, buff 6286, other 0",
       StrokeSculptureRecords(50000)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scene);
    const std::string path = MakeScene(c.scene);
    const std::vector<uint8_t> expected = SerializeSculpture(c.records);
    EXPECT_EQ(Slurp(path), std::string(expected.begin(), expected.end()));

    const ToolResult info = Run({"info", path});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_EQ(info.err, "");
    for (std::string line :
         {std::string("magic: RDLM"), std::string("version: 1"), "count: " + std::string(c.count),
          "records: " + std::string(c.count), std::string(c.types), std::string(c.modes)})
      EXPECT_NE(info.out.find(line + "\n"), std::string::npos) << line << "\n" << info.out;
  }
}

TEST_F(LoomworkToolTest, OutputOptionSpellingsWriteTheSameFile) {
  const std::vector<std::string> spellings[] = {
      {"-o", "a.sculpt"}, {"--output", "b.sculpt"}, {"--output=c.sculpt"}};
  for (const auto& spelling : spellings) {
    std::vector<std::string> args = {"scene", "marble"};
    args.insert(args.end(), spelling.begin(), spelling.end());
    EXPECT_EQ(Run(args).exitCode, 0) << spelling[0];
  }
  const std::vector<uint8_t> expected = SerializeSculpture(TestSceneRecords("marble"));
  for (const char* name : {"a.sculpt", "b.sculpt", "c.sculpt"})
    EXPECT_EQ(Slurp(dir_.File(name)), std::string(expected.begin(), expected.end())) << name;
}

TEST_F(LoomworkToolTest, InfoCountsUnknownTypesAndModesAsOther) {
  std::vector<SculptOp> records(5);
  records[0].type = kOpClear;
  records[1].type = 7;
  records[2].type = kOpCylinder, records[2].mode = kStampSet;
  records[3].type = kOpBox, records[3].mode = kStampBuff;
  records[4].type = kOpSphere, records[4].mode = 42;
  const std::vector<uint8_t> bytes = SerializeSculpture(records);
  dir_.WriteFile("mixed.sculpt", std::string(bytes.begin(), bytes.end()) + "tail");

  const ToolResult info = Run({"info", "mixed.sculpt"});
  EXPECT_EQ(info.exitCode, 0) << info.err;
  EXPECT_NE(info.out.find("types: clear 1, sphere 1, box 1, cylinder 1, other 1\n"),
            std::string::npos)
      << info.out;
  EXPECT_NE(info.out.find("modes: set 1, add 0, subtract 0, sandpaper 0, buff 1, other 1\n"),
            std::string::npos)
      << info.out;
  // Bytes after the last record are loadable but worth a warning.
  EXPECT_NE(info.err.find("warning"), std::string::npos) << info.err;
}

TEST_F(LoomworkToolTest, DamagedOrMissingInputFailsWithoutWritingAnything) {
  const std::vector<uint8_t> good = SerializeSculpture(TestSceneRecords("materials"));
  std::vector<uint8_t> badMagic = good;
  badMagic[0] = 'X';
  std::vector<uint8_t> badVersion = good;
  badVersion[4] = 2;

  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* message;
  };
  const Case cases[] = {
      {"truncated header", std::vector<uint8_t>(good.begin(), good.begin() + 8), "too short"},
      {"wrong magic", badMagic, "'in.sculpt' is not a sculpture file: bad magic"},
      {"wrong version", badVersion, "'in.sculpt' has version 2;"},
  };
  dir_.MakeDirectory("folder.sculpt");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    dir_.WriteFile("in.sculpt", std::string(c.bytes.begin(), c.bytes.end()));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"info", "in.sculpt"},
          {"grid", "in.sculpt", "-o", "out.grid"},
          {"mesh", "in.sculpt", "-o", "out.ply", "--stats"}}) {
      SCOPED_TRACE(args[0]);
      const ToolResult result = Run(args);
      EXPECT_EQ(result.exitCode, 1);
      EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
      EXPECT_EQ(result.out, "");
    }
  }
  for (const char* input : {"missing.sculpt", "folder.sculpt"}) {
    for (const std::vector<std::string>& args : {std::vector<std::string>{"info", input},
                                                 {"grid", input, "-o", "out.grid"},
                                                 {"mesh", input, "-o", "out.ply"}}) {
      SCOPED_TRACE(args[0] + " " + input);
      const ToolResult result = Run(args);
      EXPECT_EQ(result.exitCode, 1);
      EXPECT_NE(result.err.find(input), std::string::npos) << result.err;
    }
  }
  EXPECT_EQ(Listing(), (std::set<std::string>{"in.sculpt", "folder.sculpt"}));
}

// Damage after a good header loses only the damaged records: the rest load, with a warning that
// names the file and says what was lost.
TEST_F(LoomworkToolTest, DamagedRecordsAreSkippedWithAWarning) {
  const std::vector<uint8_t> good = SerializeSculpture(TestSceneRecords("marble"));
  std::vector<uint8_t> longCount = good;
  longCount[8] = 5;
  std::vector<uint8_t> nanRadius = good;
  const float nan = NAN;
  std::memcpy(nanRadius.data() + kSculptureHeaderSize + sizeof(SculptOp) + offsetof(SculptOp, radius),
              &nan, 4);
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    const char* warning;
  } cases[] = {
      {"count past the end", longCount, "'in.sculpt' is cut short: it holds 2 of the 5 records"},
      {"cut inside a record", std::vector<uint8_t>(good.begin(), good.end() - 50),
       "holds 1 of the 2 records"},
      {"NaN radius", nanRadius, "1 record holding numbers that are not finite was skipped"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    dir_.WriteFile("in.sculpt", std::string(c.bytes.begin(), c.bytes.end()));
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"info", "in.sculpt"}, {"grid", "in.sculpt", "-o", "out.grid"}}) {
      const ToolResult result = Run(args);
      EXPECT_EQ(result.exitCode, 0) << result.err;
      EXPECT_NE(result.err.find(c.warning), std::string::npos) << result.err;
    }
  }
}

TEST_F(LoomworkToolTest, GridIsTheInProcessLoadByteForByte) {
  const std::string path = MakeScene("materials");
  const ToolResult result = Run({"grid", path, "-o", "materials.grid"});
  ASSERT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out, "");
  const std::string written = Slurp(dir_.File("materials.grid"));
  ASSERT_EQ(written.size(), kGridFileBytes);

  auto loaded = std::make_unique<InProcessSculpture>();
  ASSERT_TRUE(loaded->document.LoadSculpture(path, 0));
  EXPECT_EQ(std::memcmp(written.data(), loaded->grid.samples.data(), kGridFileBytes), 0);
  // Guards against both sides being an empty grid.
  const int16_t* shape = loaded->grid.ChannelData(kChannelShape);
  EXPECT_TRUE(
      std::any_of(shape, shape + loaded->grid.channelSize, [](int16_t s) { return s > 0; }));
}

// grid --at N is the grid after the file's first N records, as the history scrubber shows it.
TEST_F(LoomworkToolTest, GridAtAPointOfTheHistoryAndTheHistoryListing) {
  const std::string path = MakeScene("materials");
  const std::vector<SculptOp> records = TestSceneRecords("materials");
  for (size_t at : {size_t(0), size_t(1), size_t(200), records.size()}) {
    SCOPED_TRACE(at);
    const ToolResult result = Run({"grid", path, "--at", std::to_string(at), "-o", "at.grid"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    auto expected = std::make_unique<InProcessSculpture>();
    for (size_t i = 0; i < at; ++i) expected->document.ApplyOperation(records[i]);
    const std::string written = Slurp(dir_.File("at.grid"));
    ASSERT_EQ(written.size(), kGridFileBytes);
    EXPECT_EQ(std::memcmp(written.data(), expected->grid.samples.data(), kGridFileBytes), 0);
  }
  const ToolResult past = Run({"grid", path, "--at", "514", "-o", "at.grid"});
  EXPECT_EQ(past.exitCode, 2);
  EXPECT_NE(past.err.find("--at 514 is past the end"), std::string::npos) << past.err;
  for (const char* bad : {"-1", "x", ""})
    EXPECT_EQ(Run({"grid", path, "--at", bad, "-o", "a"}).exitCode, 2) << bad;
  EXPECT_EQ(Run({"mesh", path, "--at", "3", "-o", "a.ply"}).exitCode, 2);

  const ToolResult history = Run({"history", path});
  EXPECT_EQ(history.exitCode, 0) << history.err;
  EXPECT_EQ(history.out,
            "units: 1\nunit 1: load of 513 records (steps 1 to 513 of the scrubber)\n"
            "  records 1 to 513: starts by clearing every channel\n");
}

}  // namespace

// clear, load, save and testScene called from the script, on a real grid and real files under
// a temporary data root.
#include <cstring>

#include <gtest/gtest.h>

#include "sculpt/sculpt_document.h"
#include "sculpt/voxel_grid.h"
#include "tests/support/log_capture.h"
#include "tests/ui/script_test_util.h"

namespace {

using scripttest::ScriptFixture;

class ScriptDocumentTest : public ::testing::Test {
 protected:
  ScriptDocumentTest()
      : document_(&grid_, &roots_),
        script_({.document = &document_, .mirrorMatrix = &mirror_}) {
    // The document saves and loads under the same root the script comes from.
    AddDataRoot(roots_, script_.root().Path());
    script_.root().MakeDirectory("sculptures");
  }

  // Runs body as the script's processUI, the way a button press would.
  void Run(const std::string& body) {
    script_.Setup("function init() end\nfunction processUI()\n" + body + "\nend\n");
    ASSERT_TRUE(script_.host().CallFunction("processUI")) << script_.ErrorText();
  }

  VoxelGrid grid_{kGridSize, kGridChannels};
  DataRoots roots_;
  Matrix4x4 mirror_;
  SculptDocument document_;
  ScriptFixture script_;
};

TEST_F(ScriptDocumentTest, SaveClearLoadRoundTripsTheOperationLog) {
  Run(R"(testScene("materials"); save("sculptures/slot1.sculpt"))");
  ASSERT_EQ(document_.OperationLog().size(), 513u);
  const std::vector<SculptOp> saved = document_.OperationLog();
  const std::string bytes = script_.root().ReadFile("sculptures/slot1.sculpt");
  ASSERT_EQ(bytes.size(), 12u + 513u * 112u);
  EXPECT_EQ(bytes.compare(0, 4, "RDLM"), 0);

  Run(R"(clear())");
  EXPECT_TRUE(document_.OperationLog().empty());
  EXPECT_EQ(grid_.SampleAt({96, 96, 96}, 0), 0);

  Run(R"(load("sculptures/slot1.sculpt", 0))");
  ASSERT_EQ(document_.OperationLog().size(), saved.size());
  EXPECT_EQ(std::memcmp(document_.OperationLog().data(), saved.data(), saved.size() * 112), 0);
}

TEST_F(ScriptDocumentTest, LoadWithARateQueuesTheRecords) {
  Run(R"(testScene("marble"); save("m.sculpt"); load("m.sculpt", 5))");
  EXPECT_TRUE(document_.OperationLog().empty());
  EXPECT_EQ(document_.ReplayQueue().size(), 2u);
  EXPECT_EQ(document_.ReplayRate(), 5);
}

TEST_F(ScriptDocumentTest, FileFailuresAreLoggedAndTheScriptGoesOn) {
  Run(R"(testScene("marble"))");
  LogCapture log;
  Run(R"(loaded, why = load("sculptures/none.sculpt", 0); saved = save("no/such/folder/x.sculpt")
         after = 1)");
  // Nothing to load is no failure: the panel says the slot is empty.
  EXPECT_EQ(script_.host().GetString("why"), "empty");
  EXPECT_TRUE(log.Contains("Save: Failed to open 'no/such/folder/x.sculpt'"));
  EXPECT_EQ(script_.host().GetInteger("after"), 1);
  // The script is told, so the panel never says "Saved" after a failure.
  Run(R"(loadedNumber = loaded and 1 or 0; savedNumber = saved and 1 or 0)");
  EXPECT_EQ(script_.host().GetInteger("loadedNumber"), 0);
  EXPECT_EQ(script_.host().GetInteger("savedNumber"), 0);
  Run(R"(savedNumber = save("m.sculpt") and 1 or 0; loadedNumber = load("m.sculpt", 0) and 1 or 0)");
  EXPECT_EQ(script_.host().GetInteger("savedNumber"), 1);
  EXPECT_EQ(script_.host().GetInteger("loadedNumber"), 1);
  EXPECT_EQ(document_.OperationLog().size(), 2u);  // the marble scene is untouched
}

TEST_F(ScriptDocumentTest, TestScenesReplaceTheSculpture) {
  struct Case {
    const char* name;
    size_t records;
    int16_t density;  // shape channel inside the scene's first solid
  } cases[] = {{"materials", 513, 32767}, {"default", 4, 32767}, {"marble", 2, 32767},
               {"nothing", 1, 0}};
  for (const Case& c : cases) {
    Run(std::string("testScene('") + c.name + "')");
    ASSERT_EQ(document_.OperationLog().size(), c.records) << c.name;
    EXPECT_EQ(document_.OperationLog()[0].type, kOpClear) << c.name;
    EXPECT_EQ(document_.OperationLog()[0].channelMask, 63u) << c.name;
    const Vec3 inside = std::string_view(c.name) == "materials" ? Vec3{48, 48, 48}
                        : std::string_view(c.name) == "default" ? Vec3{40, 96, 96}
                                                                : Vec3{96, 40, 96};
    EXPECT_EQ(grid_.SampleAt(inside, 0) > 0, c.density > 0) << c.name;
  }
  // Only "default" sets the mirror matrix: a reflection in x.
  EXPECT_EQ(mirror_.m[0], -1.0f);
  EXPECT_EQ(mirror_.m[5], 1.0f);
  EXPECT_EQ(mirror_.m[10], 1.0f);
}

}  // namespace

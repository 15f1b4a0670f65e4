#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <fstream>

#include "../support/log_capture.h"
#include "../support/temp_directory.h"
#include "sculpt/block_tessellator.h"
#include "sculpt/sculpt_document.h"
#include "sculpt/sculpture_file.h"
#include "sculpt/stamp_mode.h"
#include "sculpt/test_scenes.h"
#include "sculpt/voxel_grid.h"
#include "tests/sculpt/sculpt_test_util.h"

namespace {

using sculpttest::Sphere;

struct Fixture : sculpttest::DocumentFixture {
  int16_t At(int x, int y, int z, int c = 0) const {
    return grid.ChannelData(c)[grid.Index(x, y, z)];
  }
  std::string Bytes(const std::string& name) const { return dir.ReadFile(name); }
  bool GridEquals(const VoxelGrid& other) const {
    return std::memcmp(grid.samples.data(), other.samples.data(),
                       size_t(grid.channelSize) * kGridChannels * 2) == 0;
  }
};

TEST(SculptDocument, RecordsWriteTheChannelsTheirMaskSelects) {
  Fixture f;
  f.doc.ApplyOperation(Sphere({50, 50, 50}, 10, kStampAdd, 1));
  EXPECT_EQ(f.At(50, 50, 50), 32767);
  EXPECT_EQ(f.At(50, 50, 50, kChannelRed), 0);
  f.doc.ApplyOperation(Sphere({50, 50, 50}, 10, kStampSubtract, 62, 1.0f));  // paint
  EXPECT_EQ(f.At(50, 50, 50), 32767);
  EXPECT_EQ(f.At(50, 50, 50, kChannelRed), 32767);

  SculptOp split = Sphere({50, 50, 50}, 10, kStampAdd, 62);
  split.metalness = 0.25f, split.roughness = 0.75f;
  f.doc.ApplyOperation(split);
  EXPECT_EQ(f.At(50, 50, 50, kChannelMetalness), int16_t(0.25f * 32767.0f));
  EXPECT_EQ(f.At(50, 50, 50, kChannelRoughness), int16_t(0.75f * 32767.0f));

  SculptOp clear;
  clear.type = kOpClear;
  clear.channelMask = 0x21;
  f.doc.ApplyOperation(clear);
  EXPECT_EQ(f.At(50, 50, 50), 0);
  EXPECT_EQ(f.At(50, 50, 50, kChannelRoughness), 0);
  EXPECT_EQ(f.At(50, 50, 50, kChannelMetalness), int16_t(0.25f * 32767.0f));

  SculptOp unknown = Sphere({50, 50, 50}, 10, kStampAdd, 63);
  unknown.type = 7;
  f.doc.ApplyOperation(unknown);
  EXPECT_EQ(f.At(50, 50, 50), 0);
  ASSERT_EQ(f.doc.OperationLog().size(), 5u);
  EXPECT_EQ(f.doc.OperationLog()[4].type, 7);
}

TEST(SculptDocument, BuffAndSandpaperShapes) {
  Fixture f;
  std::fill_n(f.grid.ChannelData(0), f.grid.channelSize, int16_t(30000));
  SculptOp box = Sphere({0, 0, 0}, 32, kStampSandpaper, 63, 0.5f);
  box.type = kOpBox;
  box.matrix = Matrix4x4::Scale({10, 10, 10}) * Matrix4x4::Translation({96, 96, 96});
  f.doc.ApplyOperation(box);
  EXPECT_EQ(f.At(96, 96, 96), 30000);
  EXPECT_EQ(f.At(96, 96, 96, kChannelBlue), 16383);
  box.mode = kStampBuff;
  box.type = kOpCylinder;
  f.doc.ApplyOperation(box);
  EXPECT_EQ(f.At(96, 96, 96), 0);
  // Spheres of radius 5 or more leave the shape alone in these modes; smaller ones empty a core.
  f.doc.ApplyOperation(Sphere({40, 40, 40}, 5, kStampBuff, 63));
  EXPECT_EQ(f.At(40, 40, 40), 30000);
  f.doc.ApplyOperation(Sphere({40, 40, 40}, 2, kStampSandpaper, 63));
  EXPECT_EQ(f.At(40, 40, 40), 0);
  EXPECT_EQ(f.At(43, 40, 40), 30000);
}

TEST(SculptDocument, SaveAndLoadRoundTripTheLog) {
  Fixture f;
  EXPECT_TRUE(f.doc.SaveSculpture("empty.sculpt"));
  EXPECT_EQ(f.Bytes("empty.sculpt"), std::string("RDLM\1\0\0\0\0\0\0\0", 12));
  f.doc.ApplyOperation(Sphere({50, 50, 50}, 10, kStampAdd, 63));
  EXPECT_TRUE(f.doc.LoadSculpture("empty.sculpt", 0));
  EXPECT_TRUE(f.doc.OperationLog().empty());
  EXPECT_EQ(f.At(50, 50, 50), 0);

  BuildTestScene(f.doc, "materials");
  ASSERT_EQ(f.doc.OperationLog().size(), 513u);
  ASSERT_TRUE(f.doc.SaveSculpture("materials.sculpt"));
  EXPECT_EQ(f.Bytes("materials.sculpt").size(), 12u + 513u * 112u);

  VoxelGrid other(kGridSize, kGridChannels);
  SculptDocument second(&other, &f.roots);
  ASSERT_TRUE(second.LoadSculpture("materials.sculpt", 0));
  EXPECT_TRUE(f.GridEquals(other));
  ASSERT_TRUE(second.SaveSculpture("again.sculpt"));
  EXPECT_EQ(f.Bytes("again.sculpt"), f.Bytes("materials.sculpt"));
}

TEST(SculptDocument, ReplayAppliesRatePerFrameAndDropsUserStrokes) {
  Fixture f;
  for (int i = 0; i < 12; ++i) f.doc.ApplyOperation(Sphere({20.0f + 10 * i, 50, 50}, 4, 2, 1));
  ASSERT_TRUE(f.doc.SaveSculpture("twelve.sculpt"));
  ASSERT_TRUE(f.doc.LoadSculpture("twelve.sculpt", 5));
  EXPECT_EQ(f.At(20, 50, 50), 0);  // nothing until the first frame
  const size_t expected[] = {5, 10, 12, 13};
  for (size_t logSize : expected) {
    // The user's stroke is dropped while the replay runs and applied once it has finished.
    EXPECT_EQ(f.At(150, 150, 150), 0);
    std::vector<SculptOp> frame = {Sphere({150, 150, 150}, 4, 2, 1)};
    f.doc.ApplyFrame(frame);
    EXPECT_EQ(f.doc.OperationLog().size(), logSize);
  }
  EXPECT_EQ(f.At(150, 150, 150), 32767);
  EXPECT_EQ(f.At(130, 50, 50), 32767);
}

TEST(SculptDocument, RateZeroLoadKeepsTheLastReplayRate) {
  Fixture f;
  f.doc.ApplyOperation(Sphere({50, 50, 50}, 4, 2, 1));
  ASSERT_TRUE(f.doc.SaveSculpture("one.sculpt"));
  ASSERT_TRUE(f.doc.LoadSculpture("one.sculpt", 5));
  std::vector<SculptOp> none;
  f.doc.ApplyFrame(none);
  ASSERT_TRUE(f.doc.LoadSculpture("one.sculpt", 0));
  EXPECT_EQ(f.doc.ReplayRate(), 5);
  EXPECT_EQ(f.doc.OperationLog().size(), 1u);
  ASSERT_TRUE(f.doc.LoadSculpture("one.sculpt", -3));  // a negative rate loads at once
  EXPECT_EQ(f.doc.ReplayRate(), 5);
  EXPECT_TRUE(f.doc.ReplayQueue().empty());
}

std::string Header(uint32_t magic, uint32_t version, uint32_t count) {
  uint32_t words[3] = {magic, version, count};
  return std::string(reinterpret_cast<const char*>(words), 12);
}

std::string Record(const SculptOp& op) {
  return std::string(reinterpret_cast<const char*>(&op), sizeof(op));
}

// A header that is short or wrong refuses the file with a message naming it, and the sculpture
// stays as it was.
TEST(SculptDocument, FilesWithABadHeaderChangeNothing) {
  SculptOp good = Sphere({50, 50, 50}, 10, 2, 63);
  struct Case {
    const char* name;
    std::string bytes;
    const char* message;
  } cases[] = {
      {"short", "RDLM\1\0", "'short' is too short"},
      {"magic", Header(0x12345678, 1, 0),
       "'magic' is not a sculpture file: bad magic \"xV4?\" (expected \"RDLM\")"},
      {"version", Header(kSculptureMagic, 2, 0), "'version' has version 2;"},
      {"high", Header(kSculptureMagic, 0x80000001u, 1) + Record(good), "version 2147483649;"},
  };
  for (const Case& c : cases) {
    Fixture f;
    f.dir.WriteFile(c.name, c.bytes);
    f.doc.ApplyOperation(Sphere({100, 100, 100}, 10, 2, 63));
    LogCapture log;
    EXPECT_FALSE(f.doc.LoadSculpture(c.name, 0)) << c.name;
    EXPECT_TRUE(log.Contains(c.message)) << c.name << ": " << log.Text();
    EXPECT_EQ(f.doc.OperationLog().size(), 1u) << c.name;
    EXPECT_EQ(f.At(100, 100, 100), 32767) << c.name;
  }
}

// Damage after a good header loses only what is damaged: the whole, finite records load (at once
// or queued), the user is told, and the next save writes a file that loads without a warning.
TEST(SculptDocument, DamagedFilesLoadTheRecordsTheyHold) {
  SculptOp good = Sphere({50, 50, 50}, 10, 2, 63);
  SculptOp other = Sphere({80, 50, 50}, 10, 2, 63);
  SculptOp nanRadius = good;
  nanRadius.radius = NAN;
  SculptOp infMatrix = good;
  infMatrix.matrix.m[13] = INFINITY;
  SculptOp nanColour = good;
  nanColour.blue = NAN;
  struct Case {
    const char* name;
    std::string bytes;
    size_t loaded;
    const char* warning;
  } cases[] = {
      {"count", Header(kSculptureMagic, 1, 3) + Record(good) + Record(other),
       2, "'count' is cut short: it holds 2 of the 3 records it promises"},
      {"huge", Header(kSculptureMagic, 1, 0xFFFFFFFF) + Record(good), 1, "1 of the 4294967295"},
      {"partial", Header(kSculptureMagic, 1, 2) + Record(good) + Record(other).substr(0, 50),
       1, "holds 1 of the 2 records"},
      {"nan", Header(kSculptureMagic, 1, 3) + Record(good) + Record(nanRadius) + Record(other),
       2, "'nan': 1 record holding numbers that are not finite was skipped (the first is record 1)"},
      {"inf", Header(kSculptureMagic, 1, 3) + Record(infMatrix) + Record(nanColour) + Record(good),
       1, "2 records holding numbers that are not finite were skipped (the first is record 0)"},
      {"both", Header(kSculptureMagic, 1, 4) + Record(nanColour) + Record(good), 1,
       "holds 2 of the 4 records it promises; the 2 whole records are loaded; 'both': 1 record"},
  };
  for (const Case& c : cases) {
    for (int rate : {0, 1}) {
      SCOPED_TRACE(std::string(c.name) + " at rate " + std::to_string(rate));
      Fixture f;
      f.dir.WriteFile(c.name, c.bytes);
      f.doc.ApplyOperation(Sphere({100, 100, 100}, 10, 2, 63));
      LogCapture log;
      ASSERT_TRUE(f.doc.LoadSculpture(c.name, rate));
      EXPECT_TRUE(log.Contains(c.warning)) << log.Text();
      while (!f.doc.ReplayQueue().empty()) {
        std::vector<SculptOp> none;
        f.doc.ApplyFrame(none);
      }
      ASSERT_EQ(f.doc.OperationLog().size(), c.loaded);
      EXPECT_EQ(f.At(100, 100, 100), 0);
      EXPECT_EQ(f.At(50, 50, 50), 32767);

      ASSERT_TRUE(f.doc.SaveSculpture("saved"));
      LogCapture again;
      ASSERT_TRUE(f.doc.LoadSculpture("saved", 0));
      EXPECT_EQ(again.Text(), "");
      EXPECT_EQ(f.doc.OperationLog().size(), c.loaded);
    }
  }
}

// Records with non-finite numbers never reach the grid or the log, so whatever a script or a lost
// pose feeds the brush, the saved file loads.
TEST(SculptDocument, NonFiniteRecordsAreDropped) {
  Fixture f;
  SculptOp op = Sphere({50, 50, 50}, 10, kStampAdd, 63);
  LogCapture log;
  for (int i = 0; i < 5; ++i) {
    op.matrix.m[12 + i % 3] = i % 2 ? -INFINITY : NAN;
    f.doc.ApplyOperation(op);
  }
  EXPECT_TRUE(f.doc.OperationLog().empty());
  EXPECT_TRUE(log.Contains("not finite was dropped (1 so far)"));
  EXPECT_TRUE(log.Contains("(4 so far)"));
  EXPECT_FALSE(log.Contains("(3 so far)"));  // a broken pose every frame does not flood the log
  SculptOp odd = op;  // a type that applies nothing is logged whatever it holds
  odd.type = 9;
  f.doc.ApplyOperation(odd);
  EXPECT_EQ(f.doc.OperationLog().size(), 1u);
}

TEST(SculptDocument, MissingFilesAndFoldersAreNotLoaded) {
  SculptOp good = Sphere({50, 50, 50}, 10, 2, 63);
  Fixture f;
  LogCapture log;
  EXPECT_FALSE(f.doc.LoadSculpture("missing.sculpt", 0));
  EXPECT_TRUE(log.Contains("Load: Failed to open 'missing.sculpt'"));
  f.dir.MakeDirectory("folder");
  EXPECT_FALSE(f.doc.LoadSculpture("folder", 0));

  // Unknown record types and trailing bytes are not damage: they load.
  SculptOp odd = good;
  odd.type = 9;
  odd.radius = NAN;
  f.dir.WriteFile("odd", Header(kSculptureMagic, 1, 1) + Record(odd) + "xyz");
  EXPECT_TRUE(f.doc.LoadSculpture("odd", 0));
  EXPECT_TRUE(log.Contains("3 bytes after its last record"));
  EXPECT_EQ(f.doc.OperationLog().size(), 1u);
}

// A file padded far past its records (a hole made with truncate) loads its records, in memory
// and time that follow the records: neither the terabyte nor the gigabyte and a half is read.
TEST(SculptDocument, PaddedFilesLoadOnlyTheRecordsTheyPromise) {
  const SculptOp good = Sphere({50, 50, 50}, 10, 2, 63);
  const SculptOp other = Sphere({80, 50, 50}, 10, 2, 63);
  struct Case {
    const char* name;
    std::string bytes;
    off_t paddedSize;
    size_t loaded;
    const char* warning;
  } cases[] = {
      {"empty", Header(kSculptureMagic, 1, 0), off_t(1) << 40, 0,
       "'empty' has 1099511627764 bytes after its last record; they are ignored"},
      {"two", Header(kSculptureMagic, 1, 2) + Record(good) + Record(other), off_t(3) << 29, 2,
       "'two' has 1610612500 bytes after its last record"},
  };
  // The grid is made before the peak is taken: what the loads add is measured, with room for a
  // sanitizer's shadow memory but far below the gigabyte and a half a whole read would take.
  Fixture f;
  rusage before;
  getrusage(RUSAGE_SELF, &before);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    f.dir.WriteFile(c.name, c.bytes);
    ASSERT_EQ(truncate(f.dir.File(c.name).c_str(), c.paddedSize), 0);
    LogCapture log;
    ASSERT_TRUE(f.doc.LoadSculpture(c.name, 0));
    EXPECT_TRUE(log.Contains(c.warning)) << log.Text();
    EXPECT_EQ(f.doc.OperationLog().size(), c.loaded);
  }
  rusage after;
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 1024 * 1024) << "kB more at the peak";
}

TEST(SculptDocument, FailedSaveKeepsThePreviousFile) {
  Fixture f;
  f.doc.ApplyOperation(Sphere({50, 50, 50}, 10, 2, 63));
  ASSERT_TRUE(f.doc.SaveSculpture("keep.sculpt"));
  std::string before = f.Bytes("keep.sculpt");
  f.doc.ApplyOperation(Sphere({60, 50, 50}, 10, 2, 63));
  LogCapture log;
  EXPECT_FALSE(f.doc.SaveSculpture("no/such/folder/keep.sculpt"));
  EXPECT_TRUE(log.Contains("Save: Failed to open 'no/such/folder/keep.sculpt'"));
  EXPECT_EQ(f.Bytes("keep.sculpt"), before);
}

TEST(TestScenes, RecordsOfTheBuiltInScenes) {
  Fixture f;
  BuildTestScene(f.doc, "nothing");
  ASSERT_EQ(f.doc.OperationLog().size(), 1u);
  EXPECT_EQ(f.doc.OperationLog()[0].type, kOpClear);
  EXPECT_EQ(f.doc.OperationLog()[0].channelMask, 63u);

  std::vector<SculptOp> materials = TestSceneRecords("materials");
  ASSERT_EQ(materials.size(), 513u);
  const SculptOp& first = materials[1];
  EXPECT_EQ(first.roughness, 0.0f);
  EXPECT_EQ(first.metalness, 0.0f);
  EXPECT_EQ(first.red, 0.0f);
  EXPECT_EQ(first.green, 0.0f);
  EXPECT_NEAR(first.blue, 0.91f, 1e-6f);
  EXPECT_FLOAT_EQ(first.radius, 7.3846154f);
  EXPECT_EQ(materials[512].matrix.m[12], 48.0f + 84.0f);
  EXPECT_EQ(materials[512].metalness, 1.0f);

  Matrix4x4 mirror;
  std::vector<SculptOp> def = TestSceneRecords("default", &mirror);
  ASSERT_EQ(def.size(), 4u);
  EXPECT_EQ(def[2].mode, kStampSubtract);
  EXPECT_EQ(def[3].type, kOpBox);
  Vec3 p = TransformPoint(mirror, {10, 20, 30});
  EXPECT_EQ(p.x, 182.0f);  // about the middle plane: mirrored strokes stay in the grid
  EXPECT_EQ(p.y, 20.0f);
  EXPECT_EQ(TestSceneRecords("marble").size(), 2u);

  BuildTestScene(f.doc, "marble");
  EXPECT_EQ(f.At(96, 50, 96), 32767);
  EXPECT_EQ(f.At(96, 50, 96, kChannelBlue), 32767);
}

}  // namespace

// The autosave: a file per running program that holds the document's unsaved records, written on
// a thread of its own, and what a program that ended without discarding it left, offered back at
// the next start.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <filesystem>
#include <string>
#include <vector>

#include "app/autosave.h"
#include "app/autosave_recovery.h"
#include "sculpt/sculpture_file.h"
#include "sculpt/stamp_mode.h"
#include "tests/sculpt/sculpt_test_util.h"
#include "tests/support/log_capture.h"
#include "tests/support/saved_sculpture.h"
#include "tests/support/temp_directory.h"

namespace {

using sculpttest::Sphere;

std::vector<SculptOp> Strokes(int count) {
  std::vector<SculptOp> records;
  for (int i = 0; i < count; ++i)
    records.push_back(Sphere({60.0f + float(i), 80.0f, 90.0f}, 8, kStampAdd, kAllChannels));
  return records;
}

std::vector<SculptOp> RecordsIn(const std::string& path) {
  std::vector<SculptOp> records;
  std::string error;
  EXPECT_TRUE(ReadSculptureRecords(path, &records, &error)) << error;
  return records;
}

bool SameRecords(const std::vector<SculptOp>& a, const std::vector<SculptOp>& b) {
  return a.size() == b.size() &&
         (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(SculptOp)) == 0);
}

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(AutosaveTest, KeepsTheNewestRecordsAndDiscardsThem) {
  TempDirectory dir;
  Autosave autosave;
  std::string error;
  ASSERT_TRUE(autosave.Open(dir.File("state/loomwork"), &error)) << error;
  EXPECT_EQ(autosave.Path(), dir.File("state/loomwork/autosave.sculpt"));
  for (int count : {3, 7, 5}) autosave.Keep(Strokes(count));
  ASSERT_TRUE(autosave.Flush());
  EXPECT_TRUE(SameRecords(RecordsIn(autosave.Path()), Strokes(5)));
  autosave.Discard();
  ASSERT_TRUE(autosave.Flush());
  EXPECT_FALSE(std::filesystem::exists(autosave.Path()));
  // Only the lock is left, and no temporary file.
  EXPECT_EQ(Names(dir.File("state/loomwork")), std::vector<std::string>{"autosave.sculpt.lock"});
}

// Two programs never write one file: the second takes the next name, and neither one's file is
// offered back while its program runs.
TEST(AutosaveTest, EachRunningProgramHoldsItsOwnFile) {
  TempDirectory dir;
  const std::string folder = dir.Path();
  std::string error;
  auto first = std::make_unique<Autosave>();
  Autosave second;
  ASSERT_TRUE(first->Open(folder, &error)) << error;
  ASSERT_TRUE(second.Open(folder, &error)) << error;
  EXPECT_EQ(second.Path(), dir.File("autosave-2.sculpt"));
  first->Keep(Strokes(2));
  second.Keep(Strokes(4));
  ASSERT_TRUE(first->Flush() && second.Flush());
  EXPECT_TRUE(Autosave::IsHeld(first->Path()));
  EXPECT_TRUE(LeftAutosaves(folder, "").empty());

  // The first program ends without discarding: its file is left work for the others.
  const std::string left = first->Path();
  first.reset();
  EXPECT_FALSE(Autosave::IsHeld(left));
  EXPECT_EQ(LeftAutosaves(folder, ""), std::vector<std::string>{left});
  EXPECT_TRUE(SameRecords(RecordsIn(left), Strokes(2)));
}

TEST(AutosaveTest, AFolderThatCannotBeMadeIsSaidAndNothingIsWritten) {
  TempDirectory dir;
  dir.WriteFile("state", "a file where the folder would be");
  Autosave autosave;
  std::string error;
  EXPECT_FALSE(autosave.Open(dir.File("state/loomwork"), &error));
  EXPECT_NE(error.find(dir.File("state")), std::string::npos) << error;
  autosave.Keep(Strokes(1));  // does nothing
  EXPECT_EQ(dir.ReadFile("state"), "a file where the folder would be");
}

struct RecoveryFixture : sculpttest::DocumentFixture {
  RecoveryFixture() {
    doc.EnableHistory(size_t(16) << 20);
    std::string error;
    EXPECT_TRUE(autosave.Open(dir.File("state"), &error)) << error;
  }
  void Leave(const std::string& name, const std::string& bytes) {
    dir.WriteFile("state/" + name, bytes);
  }
  std::string Bytes(const std::vector<SculptOp>& records) {
    const std::vector<uint8_t> bytes = SerializeSculpture(records);
    return std::string(bytes.begin(), bytes.end());
  }
  Autosave autosave;
};

// Offers what is left one at a time; `answer` says what to do with the next offered (true:
// restore). The questions asked come back in order.
std::vector<std::string> Offer(RecoveryFixture& f, const std::vector<bool>& answers) {
  AutosaveRecovery recovery;
  recovery.Find(f.autosave);
  std::vector<std::string> questions;
  std::string question;
  while (recovery.Next(&question)) {
    const bool restore = questions.size() < answers.size() && answers[questions.size()];
    questions.push_back(question);
    if (restore) {
      EXPECT_TRUE(recovery.Restore(f.doc, f.autosave));
    } else {
      recovery.Decline();
    }
  }
  return questions;
}

// Restored, the left records are the document (bit for bit the grid they replay to), with unsaved
// changes, held by this program's autosave; the file they came from goes only once that is
// written.
TEST(AutosaveRecoveryTest, RestoredWorkIsTheDocumentAndThisProgramsAutosave) {
  RecoveryFixture f;
  f.Leave("autosave-2.sculpt", f.Bytes(Strokes(6)));
  const std::vector<std::string> asked = Offer(f, {true});
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].rfind("Restore the unsaved sculpture\n(6 records, from ", 0), 0u)
      << asked[0];
  EXPECT_TRUE(SameRecords(f.doc.OperationLog(), Strokes(6)));
  EXPECT_TRUE(f.doc.HasUnsavedChanges());
  VoxelGrid plain(kGridSize, kGridChannels);
  for (const SculptOp& op : Strokes(6)) ApplyOperationToGrid(plain, op);
  EXPECT_EQ(std::memcmp(plain.samples.data(), f.grid.samples.data(),
                        size_t(plain.channelSize) * kGridChannels * 2),
            0);
  EXPECT_TRUE(SameRecords(RecordsIn(f.autosave.Path()), Strokes(6)));
  EXPECT_FALSE(std::filesystem::exists(f.dir.File("state/autosave-2.sculpt")));
}

// Declined, damaged or foreign, or after one was restored: moved aside with the time in the name,
// never deleted and never loaded half-way.
TEST(AutosaveRecoveryTest, WhatIsNotRestoredIsMovedAsideWhole) {
  std::vector<SculptOp> partial = Strokes(3);
  const std::vector<uint8_t> cut = SerializeSculpture(partial);
  struct Case {
    const char* name;
    bool restore;
    bool damaged;  // refused with the reason, without a question
  };
  for (const Case c : {Case{"declined", false, false}, Case{"cut short", true, true},
                       Case{"not a sculpture", true, true}}) {
    SCOPED_TRACE(c.name);
    RecoveryFixture f;
    std::string bytes = f.Bytes(Strokes(4));
    if (std::string(c.name) == "cut short") bytes = std::string(cut.begin(), cut.end() - 50);
    if (std::string(c.name) == "not a sculpture") bytes = "PNG and more";
    f.Leave("autosave.sculpt", bytes);
    LogCapture log;
    EXPECT_EQ(Offer(f, {c.restore}).size(), c.damaged ? 0u : 1u);
    EXPECT_TRUE(f.doc.OperationLog().empty());
    const std::vector<std::string> names = Names(f.dir.File("state"));
    ASSERT_EQ(names.size(), 2u) << log.Text();  // the lock and the file moved aside
    EXPECT_EQ(names[0], "autosave.sculpt.lock");
    EXPECT_EQ(names[1].rfind("unsaved-", 0), 0u) << names[1];
    EXPECT_EQ(f.dir.ReadFile("state/" + names[1]), bytes);
    if (c.damaged) {
      EXPECT_TRUE(log.Contains("cannot be restored")) << log.Text();
    }
  }

  // Two left: the first offered is restored, the other kept aside without a second question.
  RecoveryFixture f;
  f.Leave("autosave-3.sculpt", f.Bytes(Strokes(2)));
  f.Leave("autosave-4.sculpt", f.Bytes(Strokes(5)));
  EXPECT_EQ(Offer(f, {true, true}).size(), 1u);
  const std::vector<std::string> names = Names(f.dir.File("state"));
  ASSERT_EQ(names.size(), 3u);
  EXPECT_EQ(names[2].rfind("unsaved-", 0), 0u) << names[2];
  const size_t restored = f.doc.OperationLog().size();
  EXPECT_TRUE(restored == 2 || restored == 5);
  EXPECT_EQ(RecordsIn(f.dir.File("state/" + names[2])).size(), restored == 2 ? 5u : 2u);
}

// What the autosave follows: the document has unsaved changes from its first change after a save
// or a completed load until the next one; a load still replaying is not finished.
TEST(AutosaveRecoveryTest, UnsavedChangesFollowEditsSavesAndLoads) {
  RecoveryFixture f;
  EXPECT_FALSE(f.doc.HasUnsavedChanges());
  f.doc.ApplyOperation(Strokes(1)[0]);
  f.doc.EndUnit();
  EXPECT_TRUE(f.doc.HasUnsavedChanges());
  ASSERT_TRUE(f.doc.SaveSculpture("saved.sculpt"));
  EXPECT_FALSE(f.doc.HasUnsavedChanges());
  ASSERT_TRUE(f.doc.Undo());
  EXPECT_TRUE(f.doc.HasUnsavedChanges());
  ASSERT_TRUE(f.doc.LoadSculpture("saved.sculpt", 1));
  EXPECT_TRUE(f.doc.UnitOpen());
  std::vector<SculptOp> none;
  f.doc.ApplyFrame(none);
  EXPECT_FALSE(f.doc.UnitOpen());
  EXPECT_FALSE(f.doc.HasUnsavedChanges());
  f.doc.NewSculpture();
  EXPECT_TRUE(f.doc.HasUnsavedChanges());
}

}  // namespace

#include "file/chunk_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "tests/support/log_capture.h"
#include "tests/support/temp_directory.h"

namespace {

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int value : values) {
    bytes += static_cast<char>(value);
  }
  return bytes;
}

std::string Int32(int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  return Bytes({int(bits & 0xFF), int((bits >> 8) & 0xFF), int((bits >> 16) & 0xFF), int(bits >> 24)});
}

// A chunk header: the tag in reading order, then the length.
std::string Header(const char* tag, int32_t length) { return std::string(tag, 4) + Int32(length); }

std::string Chunk(const char* tag, const std::string& content) {
  return Header(tag, static_cast<int32_t>(content.size())) + content;
}

class ChunkFileTest : public ::testing::Test {
 protected:
  DataRoots Roots() const {
    DataRoots roots;
    AddDataRoot(roots, temp.Path());
    return roots;
  }
  TempDirectory temp;
};

TEST_F(ChunkFileTest, WritesTheDocumentedTwentyBytes) {
  const DataRoots roots = Roots();
  {
    ChunkFile file(&roots, "test.chunk", false);
    ASSERT_FALSE(file.Failed());
    EXPECT_TRUE(file.Descend('TEST'));
    file.WriteInt(7);
    file.WriteString("abc");
    EXPECT_EQ(file.GetCurrentChunkLength(), 12);
    file.Ascend();
  }
  EXPECT_EQ(temp.ReadFile("test.chunk"), "TEST" + Int32(12) + Int32(7) + Int32(3) + Bytes({'a', 'b', 'c', 0}));

  ChunkFile file(&roots, "test.chunk", true);
  ASSERT_FALSE(file.Failed());
  ASSERT_TRUE(file.Descend('TEST'));
  EXPECT_EQ(file.GetCurrentChunkLength(), 12);
  EXPECT_EQ(file.ReadInt(), 7);
  EXPECT_EQ(file.ReadString(), "abc");
  EXPECT_EQ(file.ReadInt(), 0);  // End of the chunk.
  file.Ascend();
  EXPECT_EQ(file.GetCurrentChunkLength(), 0);
}

TEST_F(ChunkFileTest, NestedChunksAndPaddingRoundTrip) {
  const DataRoots roots = Roots();
  const std::string blocks[] = {"", "1", "12", "123", "1234", "12345"};
  {
    ChunkFile file(&roots, "nested.chunk", false);
    ASSERT_TRUE(file.Descend('OUTR'));
    for (uint32_t i = 0; i < std::size(blocks); ++i) {
      ASSERT_TRUE(file.Descend('BLK0' + i));
      file.WriteData(blocks[i].data(), static_cast<int>(blocks[i].size()));
      file.WriteInt(-1);  // Sentinel after the padding.
      EXPECT_EQ(file.GetCurrentChunkLength(), static_cast<int32_t>((blocks[i].size() + 3) / 4 * 4 + 4));
      file.Ascend();
    }
    file.Ascend();
  }
  // Zero-length data adds nothing; the rest pad to 4: 0, 4, 4, 4, 4 and 8 bytes of data.
  std::vector<uint8_t> whole;
  ASSERT_TRUE(ReadFile(temp.File("nested.chunk"), whole));
  EXPECT_EQ(whole.size(), 8u + 6 * (8 + 4) + (0 + 4 + 4 + 4 + 4 + 8));

  ChunkFile file(whole.data(), whole.size());
  ASSERT_TRUE(file.Descend('OUTR'));
  for (uint32_t i = std::size(blocks); i-- > 0;) {
    ASSERT_TRUE(file.Descend('BLK0' + i));
    const int length = static_cast<int>(blocks[i].size());
    char buffer[8] = {};
    file.ReadData(buffer, length);
    EXPECT_EQ(std::string(buffer, static_cast<size_t>(length)), blocks[i]);
    EXPECT_EQ(file.ReadInt(), -1) << "padding after " << length << " bytes";
    file.Ascend();
  }
}

TEST(ChunkFileReadTest, SiblingsCanBeLookedUpInAnyOrder) {
  const std::string data = Chunk("AAAA", Int32(1)) + Chunk("BBBB", Int32(2)) + Chunk("CCCC", Int32(3));
  ChunkFile file(data.data(), data.size());
  ASSERT_FALSE(file.Failed());
  const struct {
    uint32_t tag;
    bool found;
    int value;
  } lookups[] = {
      {'CCCC', true, 3}, {'AAAA', true, 1}, {'NONE', false, 0}, {'BBBB', true, 2}, {'CCCC', true, 3},
  };
  for (const auto& lookup : lookups) {
    ASSERT_EQ(file.Descend(lookup.tag), lookup.found);
    if (lookup.found) {
      EXPECT_EQ(file.ReadInt(), lookup.value);
      file.Ascend();
    }
  }
}

TEST(ChunkFileReadTest, DescendSearchesOnlyInsideTheCurrentChunk) {
  const std::string data = Chunk("PRNT", Chunk("KID1", Int32(10))) + Chunk("KID2", Int32(20));
  ChunkFile file(data.data(), data.size());
  ASSERT_TRUE(file.Descend('PRNT'));
  EXPECT_FALSE(file.Descend('KID2'));  // A sibling of the parent, not a child.
  ASSERT_TRUE(file.Descend('KID1'));
  EXPECT_EQ(file.GetCurrentChunkLength(), 4);
  EXPECT_EQ(file.ReadInt(), 10);
  file.Ascend();
  file.Ascend();
  ASSERT_TRUE(file.Descend('KID2'));
  EXPECT_EQ(file.ReadInt(), 20);
}

TEST(ChunkFileReadTest, BufferIsCopied) {
  std::string data = Chunk("COPY", Int32(5));
  ChunkFile file(data.data(), data.size());
  data.assign(data.size(), '\0');
  ASSERT_TRUE(file.Descend('COPY'));
  EXPECT_EQ(file.ReadInt(), 5);
}

TEST_F(ChunkFileTest, FailedOpenIsReportedAndSafeToUse) {
  const DataRoots roots = Roots();
  LogCapture logs;
  ChunkFile reader(&roots, "missing.chunk", true);
  EXPECT_TRUE(reader.Failed());
  EXPECT_TRUE(logs.Contains("ReadDataFromFile: Failed to open missing.chunk"));
  EXPECT_EQ(reader.ReadInt(), 0);
  EXPECT_FALSE(reader.Descend('TEST'));
  EXPECT_EQ(reader.ReadString(), "");
  int value = 42;
  reader.ReadData(&value, 4);
  EXPECT_EQ(value, 0);

  CheckCapture checks;
  {
    ChunkFile writer(&roots, "no/such/dir/out.chunk", false);
    EXPECT_TRUE(writer.Failed());
    EXPECT_FALSE(writer.Descend('TEST'));
    writer.WriteInt(1);
    writer.WriteString("ignored");
    writer.Ascend();
  }
  EXPECT_EQ(checks.Count(), 0);
}

TEST_F(ChunkFileTest, WriterUsesTheFirstRootThatCanCreateTheFile) {
  temp.MakeDirectory("second");
  DataRoots roots;
  AddDataRoot(roots, temp.File("first-missing"));
  AddDataRoot(roots, temp.File("second"));
  {
    ChunkFile writer(&roots, "shader.bin", false);
    ASSERT_FALSE(writer.Failed());
    writer.WriteInt(1);
  }
  EXPECT_EQ(temp.ReadFile("second/shader.bin"), Int32(1));
}

TEST(ChunkFileWriteTest, DestructorReportsAPositionItDidNotExpect) {
  // /dev/null does not keep a file position, so the tracked one disagrees after a flush.
  LogCapture logs;
  CheckCapture checks;
  {
    ChunkFile file(nullptr, "/dev/null", false);
    ASSERT_FALSE(file.Failed());
    const std::vector<char> block(5000, 'x');
    file.WriteData(block.data(), static_cast<int>(block.size()));
  }
  ASSERT_EQ(checks.Count(), 1);
  EXPECT_EQ(checks.Messages()[0], "Check failed in ChunkFile::~ChunkFile at chunk_file:56");
  ASSERT_FALSE(logs.Messages().empty());
  EXPECT_EQ(logs.Messages()[0].first, 0);
  EXPECT_EQ(logs.Messages()[0].second, checks.Messages()[0]);
}

TEST(ChunkFileHostileTest, TruncatedChunkReadsOnlyWhatIsThere) {
  // Promises 100 bytes of content, holds 6.
  const std::string data = Header("TRNC", 100) + Int32(77) + "xy";
  ChunkFile file(data.data(), data.size());
  ASSERT_TRUE(file.Descend('TRNC'));
  EXPECT_EQ(file.GetCurrentChunkLength(), 6);
  EXPECT_EQ(file.ReadInt(), 77);
  char buffer[16];
  std::memset(buffer, 0x55, sizeof(buffer));
  file.ReadData(buffer, 16);
  EXPECT_EQ(std::string(buffer, 16), std::string("xy") + std::string(14, '\0'));
  EXPECT_EQ(file.ReadInt(), 0);
  file.Ascend();
  EXPECT_FALSE(file.Descend('NEXT'));
}

TEST(ChunkFileHostileTest, BadLengthsAreClippedToTheBuffer) {
  const struct {
    const char* name;
    std::string data;
  } cases[] = {
      {"negative length", Header("BADL", -8) + Int32(5) + Int32(6)},
      {"huge length", Header("BADL", 0x7FFFFFF0) + Int32(5) + Int32(6)},
      {"sibling past end", Header("SKIP", 0x7FFFFFF0) + Header("BADL", 8) + Int32(5) + Int32(6)},
      {"header cut short", std::string("BAD", 3)},
      {"length cut short", std::string("BADL\x08\x00", 6)},
  };
  for (const auto& c : cases) {
    ChunkFile file(c.data.data(), c.data.size());
    if (file.Descend('BADL')) {
      EXPECT_LE(file.GetCurrentChunkLength(), static_cast<int32_t>(c.data.size())) << c.name;
      EXPECT_GE(file.GetCurrentChunkLength(), 0) << c.name;
      std::vector<char> buffer(64, 'z');
      file.ReadData(buffer.data(), static_cast<int>(buffer.size()));
      EXPECT_EQ(file.ReadInt(), 0) << c.name;
      file.Ascend();
    }
    EXPECT_FALSE(file.Descend('NONE')) << c.name;
  }
}

TEST(ChunkFileHostileTest, StringLengthsBeyondTheChunkGiveWhatIsThere) {
  const struct {
    int32_t length;
    std::string expected;
  } cases[] = {
      {0x7FFFFFFF, "hello"},
      {7, "hello"},
      {-5, "hello"},
      {static_cast<int32_t>(0x80000000), "hello"},
  };
  for (const auto& c : cases) {
    const std::string data = Chunk("STRS", Int32(c.length) + "hello") + Chunk("NEXT", Int32(9));
    ChunkFile file(data.data(), data.size());
    ASSERT_TRUE(file.Descend('STRS'));
    EXPECT_EQ(file.ReadString(), c.expected) << c.length;
    EXPECT_EQ(file.ReadInt(), 0) << c.length;  // The string never reads into the next chunk.
    file.Ascend();
    ASSERT_TRUE(file.Descend('NEXT'));
    EXPECT_EQ(file.ReadInt(), 9);
  }
}

TEST(ChunkFileHostileTest, NestingStopsAtThirtyTwoChunks) {
  constexpr int kLevels = 40;
  std::string data = Int32(1234);
  for (int i = 0; i < kLevels; ++i) {
    data = Chunk("NEST", data);
  }
  ChunkFile file(data.data(), data.size());
  int entered = 0;
  while (file.Descend('NEST')) {
    ++entered;
  }
  EXPECT_EQ(entered, ChunkFile::kMaxDepth);
  for (int i = 0; i < entered + 5; ++i) {
    file.Ascend();  // Extra calls at depth 0 do nothing.
  }
  EXPECT_EQ(file.GetCurrentChunkLength(), 0);
  ASSERT_TRUE(file.Descend('NEST'));
  EXPECT_EQ(file.GetCurrentChunkLength(), static_cast<int32_t>(data.size()) - 8);
}

TEST_F(ChunkFileTest, WriterNestsToThirtyTwoAndAscendAtTopDoesNothing) {
  const DataRoots roots = Roots();
  CheckCapture checks;
  {
    ChunkFile file(&roots, "deep.chunk", false);
    file.Ascend();
    for (int i = 0; i < ChunkFile::kMaxDepth; ++i) {
      ASSERT_TRUE(file.Descend('DEEP'));
    }
    EXPECT_FALSE(file.Descend('DEEP'));
    file.WriteInt(99);
    for (int i = 0; i < ChunkFile::kMaxDepth + 3; ++i) {
      file.Ascend();
    }
  }
  EXPECT_EQ(checks.Count(), 0);  // The destructor found the position where it expected it.

  ChunkFile file(&roots, "deep.chunk", true);
  ASSERT_FALSE(file.Failed());
  for (int i = 0; i < ChunkFile::kMaxDepth; ++i) {
    ASSERT_TRUE(file.Descend('DEEP'));
    EXPECT_EQ(file.GetCurrentChunkLength(), (ChunkFile::kMaxDepth - 1 - i) * 8 + 4);
  }
  EXPECT_EQ(file.ReadInt(), 99);
}

TEST_F(ChunkFileTest, FileTooLargeForThirtyTwoBitPositionsIsRefused) {
  const std::string path = temp.File("huge.chunk");
  FILE* handle = std::fopen(path.c_str(), "wb");
  ASSERT_NE(handle, nullptr);
  // Sparse: takes no space and is never read, because the size is checked first.
  ASSERT_EQ(ftruncate(fileno(handle), int64_t{3} << 30), 0);
  std::fclose(handle);
  LogCapture logs;
  ChunkFile file(nullptr, path, true);
  EXPECT_TRUE(file.Failed());
  EXPECT_TRUE(logs.Contains("too large"));
  EXPECT_FALSE(file.Descend('NEST'));
}

// Walks everything a reader could: every tag it sees, ints, data and strings.
void WalkChunks(ChunkFile& file, int depth) {
  for (int step = 0; step < 8; ++step) {
    const uint32_t tags[] = {'NODE', 'LEAF', 'DATA'};
    for (uint32_t tag : tags) {
      if (file.Descend(tag)) {
        char buffer[32];
        file.ReadInt();
        file.ReadData(buffer, static_cast<int>(sizeof(buffer)));
        file.ReadString();
        if (depth < 40) {
          WalkChunks(file, depth + 1);
        }
        file.Ascend();
      }
    }
  }
}

TEST(ChunkFileHostileTest, RandomlyCorruptedFilesNeverReadOutOfBounds) {
  std::string valid;
  {
    std::string leaf = Chunk("LEAF", Int32(3) + "abc" + Bytes({0}) + Int32(8));
    std::string data = Chunk("DATA", Int32(5) + "12345" + Bytes({0, 0, 0}));
    valid = Chunk("NODE", leaf + data + Chunk("NODE", leaf + leaf)) + data;
  }
  std::mt19937 random(1234);
  for (int round = 0; round < 3000; ++round) {
    std::string corrupt = valid;
    const int edits = 1 + static_cast<int>(random() % 6);
    for (int e = 0; e < edits; ++e) {
      corrupt[random() % corrupt.size()] = static_cast<char>(random());
    }
    corrupt.resize(random() % (corrupt.size() + 1));
    // Exact-size heap copy, so a sanitizer build flags any stray read.
    ChunkFile file(corrupt.data(), corrupt.size());
    WalkChunks(file, 0);
  }
}

}  // namespace

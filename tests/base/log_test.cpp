#include "base/log.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/log_capture.h"

namespace {

TEST(LogTest, LevelPrefixes) {
  const struct {
    int level;
    const char* prefix;
  } cases[] = {
      {0, "e: "}, {1, "w: "}, {2, "i: "}, {3, "d: "}, {4, "f: "}, {5, ""},
      {-1, "u"},  {6, "u"},   {1000, "u"},
  };
  for (const auto& c : cases) {
    EXPECT_STREQ(LogLevelPrefix(c.level), c.prefix) << "level " << c.level;
  }
}

TEST(LogTest, FormatsAndDeliversLevel) {
  LogCapture capture;
  Log(LogLevel::Warning, "%s has %d blocks", "grid", 216);
  Log(static_cast<LogLevel>(9), "odd level");
  ASSERT_EQ(capture.Messages().size(), 2u);
  EXPECT_EQ(capture.Messages()[0].first, 1);
  EXPECT_EQ(capture.Messages()[0].second, "grid has 216 blocks");
  EXPECT_EQ(capture.Messages()[1].first, 9);
  EXPECT_TRUE(capture.Contains("odd"));
  EXPECT_FALSE(capture.Contains("even"));
}

struct RecordedCall {
  void* userData;
  int level;
  std::string text;
  int length;
  bool terminated;
};

std::vector<RecordedCall>* g_recorded = nullptr;

void RecordingSink(void* userData, int level, const char* text, int length) {
  if (g_recorded != nullptr) {
    g_recorded->push_back({userData, level, text, length, text[length] == '\0'});
  }
}

// Sinks cannot be removed, so this test installs its two sinks once and gates them.
class LogSinkTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    AddLogSink(RecordingSink, &first);
    AddLogSink(RecordingSink, &second);
  }
  void SetUp() override { g_recorded = &calls; }
  void TearDown() override { g_recorded = nullptr; }

  static int first;
  static int second;
  std::vector<RecordedCall> calls;
};
int LogSinkTest::first;
int LogSinkTest::second;

TEST_F(LogSinkTest, SinksRunInOrderWithTheirUserData) {
  Log(LogLevel::Info, "hello %d", 7);
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].userData, &first);
  EXPECT_EQ(calls[1].userData, &second);
  for (const RecordedCall& call : calls) {
    EXPECT_EQ(call.level, 2);
    EXPECT_EQ(call.text, "hello 7");
    EXPECT_EQ(call.length, 7);
    EXPECT_TRUE(call.terminated);
  }
}

TEST_F(LogSinkTest, LongMessageIsCutAt2047Bytes) {
  const std::string longText(3000, 'x');
  Log(LogLevel::Error, "%s", longText.c_str());
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].length, 2047);
  EXPECT_EQ(calls[0].text, longText.substr(0, 2047));
  EXPECT_TRUE(calls[0].terminated);
}

TEST_F(LogSinkTest, RawTextIsPassedUnformattedAtLevel5) {
  LogRaw("100% raw\n");
  // A view into a larger buffer: the sink must still get exactly the viewed, terminated text.
  const char buffer[] = "print output and more";
  LogRaw(std::string_view(buffer, 12));
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].level, 5);
  EXPECT_EQ(calls[0].text, "100% raw\n");
  EXPECT_EQ(calls[0].length, 9);
  EXPECT_EQ(calls[2].level, 5);
  EXPECT_EQ(calls[2].text, "print output");
  EXPECT_EQ(calls[2].length, 12);
  EXPECT_TRUE(calls[2].terminated);
}

TEST(DebugOutputSinkTest, PrefixesAndLineBreaks) {
  const struct {
    int level;
    const char* text;
    const char* expected;
  } cases[] = {
      {0, "disk on fire", "e: disk on fire\n"},
      {1, "no headset", "w: no headset\n"},
      {4, "bad mode", "f: bad mode\n"},
      {7, "strange", "ustrange\n"},
      {5, "print(1)", "print(1)"},  // Raw: unchanged, no line break.
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStderr();
    DebugOutputSink(nullptr, c.level, c.text, static_cast<int>(std::strlen(c.text)));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.expected) << "level " << c.level;
  }
}

TEST(DebugOutputSinkTest, OverlongLineIsCutToItsBuffer) {
  const std::string text(5000, 'y');
  testing::internal::CaptureStderr();
  DebugOutputSink(nullptr, 2, text.c_str(), static_cast<int>(text.size()));
  const std::string written = testing::internal::GetCapturedStderr();
  EXPECT_EQ(written.size(), 4095u);
  EXPECT_EQ(written.substr(0, 3), "i: ");
}

std::atomic<int> g_concurrentSinkCalls{0};
void CountingSink(void*, int level, const char*, int) {
  if (level == 3) {
    g_concurrentSinkCalls.fetch_add(1);
  }
}

TEST(LogConcurrencyTest, SinksAddedFromSeveralThreadsAreAllKept) {
  constexpr int kThreads = 8;
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i) {
    threads.emplace_back([] {
      AddLogSink(CountingSink, nullptr);
      Log(LogLevel::Info, "added");
    });
  }
  for (std::thread& thread : threads) {
    thread.join();
  }
  g_concurrentSinkCalls = 0;
  Log(LogLevel::Debug, "count me");
  EXPECT_EQ(g_concurrentSinkCalls.load(), kThreads);
}

}  // namespace

#include "audio/sdl_audio_streamer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

#include "tests/support/log_capture.h"

namespace {

// SDL's dummy driver consumes samples at the real rate (256 frames every 5.8 ms) without a
// sound device. Waits only guard against a hang; nothing here measures time.
template <typename Predicate>
bool WaitUntil(Predicate predicate) {
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!predicate()) {
    if (std::chrono::steady_clock::now() > giveUp) {
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

struct CallRecord {
  std::atomic<int> calls{0};
  std::atomic<int> wrongFrameCounts{0};
  std::atomic<int> wrongUsers{0};
  // Set by the test to make the next call sleep inside the callback.
  std::atomic<bool> sleepInside{false};
  std::atomic<bool> inside{false};
  std::atomic<bool> returned{false};
};

void RecordCall(int16_t* samples, int32_t frames, void* user) {
  auto* record = static_cast<CallRecord*>(user);
  if (frames != SdlAudioStreamer::kBlockFrames) {
    record->wrongFrameCounts.fetch_add(1);
  }
  for (int32_t i = 0; i < 2 * frames; ++i) {
    samples[i] = int16_t(i);
  }
  if (record->sleepInside.exchange(false)) {
    record->inside.store(true);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    record->returned.store(true);
  }
  record->calls.fetch_add(1);
}

// Two callbacks, each knowing which user pointer it must be paired with.
CallRecord g_first;
CallRecord g_second;

void FirstCallback(int16_t* /*samples*/, int32_t /*frames*/, void* user) {
  if (user != &g_first) {
    g_first.wrongUsers.fetch_add(1);
  }
  g_first.calls.fetch_add(1);
}

void SecondCallback(int16_t* /*samples*/, int32_t /*frames*/, void* user) {
  if (user != &g_second) {
    g_second.wrongUsers.fetch_add(1);
  }
  g_second.calls.fetch_add(1);
}

class SdlAudioStreamerTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("SDL_AUDIODRIVER", "dummy", 1); }
};

TEST_F(SdlAudioStreamerTest, PullsSilenceBeforeACallbackAndBlocksOf256After) {
  CallRecord record;  // outlives the streamer that calls into it
  SdlAudioStreamer streamer;
  ASSERT_TRUE(streamer.IsOpen());
  ASSERT_TRUE(WaitUntil([&] { return streamer.FramesPulled() >= 4 * 256; }));

  streamer.SetCallback(&RecordCall, &record);
  ASSERT_TRUE(WaitUntil([&] { return record.calls.load() >= 8; }));
  EXPECT_EQ(record.wrongFrameCounts.load(), 0);

  // Cleared again: no more calls, but the device keeps being fed.
  streamer.SetCallback(nullptr, nullptr);
  const int callsWhenCleared = record.calls.load();
  const int64_t pulledWhenCleared = streamer.FramesPulled();
  ASSERT_TRUE(WaitUntil([&] { return streamer.FramesPulled() >= pulledWhenCleared + 4 * 256; }));
  EXPECT_EQ(record.calls.load(), callsWhenCleared);
}

TEST_F(SdlAudioStreamerTest, CallbackAndUserPointerChangeAsOnePair) {
  SdlAudioStreamer streamer;
  ASSERT_TRUE(streamer.IsOpen());
  const auto bothCalledOften = [] {
    return g_first.calls.load() >= 20 && g_second.calls.load() >= 20;
  };
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!bothCalledOften() && std::chrono::steady_clock::now() < giveUp) {
    streamer.SetCallback(&FirstCallback, &g_first);
    std::this_thread::yield();
    streamer.SetCallback(&SecondCallback, &g_second);
    std::this_thread::yield();
  }
  EXPECT_TRUE(bothCalledOften());
  EXPECT_EQ(g_first.wrongUsers.load(), 0);
  EXPECT_EQ(g_second.wrongUsers.load(), 0);
}

TEST_F(SdlAudioStreamerTest, DestructionWaitsForTheRunningCallback) {
  CallRecord record;
  auto streamer = std::make_unique<SdlAudioStreamer>();
  ASSERT_TRUE(streamer->IsOpen());
  record.sleepInside.store(true);
  streamer->SetCallback(&RecordCall, &record);
  ASSERT_TRUE(WaitUntil([&] { return record.inside.load(); }));

  streamer.reset();
  EXPECT_TRUE(record.returned.load());
  const int callsAfterDestruction = record.calls.load();
  std::this_thread::sleep_for(std::chrono::milliseconds(30));  // several device periods
  EXPECT_EQ(record.calls.load(), callsAfterDestruction);
}

TEST_F(SdlAudioStreamerTest, FallsBackToTheDummyDriverWhenNoDeviceOpens) {
  setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
  LogCapture log;
  {
    SdlAudioStreamer streamer;
    EXPECT_TRUE(streamer.IsOpen());
    EXPECT_TRUE(WaitUntil([&] { return streamer.FramesPulled() >= 2 * 256; }));
  }
  EXPECT_TRUE(log.Contains("using SDL's dummy audio driver"));
}

}  // namespace

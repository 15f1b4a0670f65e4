#include "base/check.h"

#include <gtest/gtest.h>

#include <string>

#include "base/log.h"
#include "tests/support/log_capture.h"

// Outside the anonymous namespace so the reported names read as in production code.
class CheckTestPanel {
 public:
  int Place(int width) {
    checkLine = __LINE__ + 1;
    CHECK(width > 0);
    return ++placed;  // Execution goes on after a failed check.
  }
  ~CheckTestPanel() { CHECK(placed == 0); }

  template <typename T>
  static T Clamp(T value) {
    CHECK(value >= T(0));
    return value < T(0) ? T(0) : value;
  }

  int placed = 0;
  int checkLine = 0;
};

namespace check_test_draw {
void Submit(const char* /*name*/, int count) { CHECK(count < 10); }
}  // namespace check_test_draw

namespace {

TEST(CheckTest, FailedCheckNamesFunctionFileAndLine) {
  LogCapture logs;
  CheckCapture checks;
  CheckTestPanel panel;
  EXPECT_EQ(panel.Place(0), 1);
  EXPECT_EQ(panel.Place(5), 2);
  ASSERT_EQ(checks.Count(), 1);
  EXPECT_EQ(checks.Messages()[0], "Check failed in CheckTestPanel::Place at check_test.cpp:" +
                                      std::to_string(panel.checkLine));
  ASSERT_EQ(logs.Messages().size(), 1u);
  EXPECT_EQ(logs.Messages()[0].first, 0);
  EXPECT_EQ(logs.Messages()[0].second, checks.Messages()[0]);
  panel.placed = 0;
}

TEST(CheckTest, QualifiedNamesOfDestructorsTemplatesAndNamespaces) {
  CheckCapture checks;
  {
    CheckTestPanel panel;
    panel.placed = 3;
  }
  CheckTestPanel::Clamp(-1.5f);
  check_test_draw::Submit("x", 12);
  ASSERT_EQ(checks.Count(), 3);
  EXPECT_NE(checks.Messages()[0].find("in CheckTestPanel::~CheckTestPanel at check_test.cpp:"),
            std::string::npos)
      << checks.Messages()[0];
  EXPECT_NE(checks.Messages()[1].find("in CheckTestPanel::Clamp at "), std::string::npos)
      << checks.Messages()[1];
  EXPECT_NE(checks.Messages()[2].find("in check_test_draw::Submit at "), std::string::npos)
      << checks.Messages()[2];
}

TEST(CheckTest, PassingCheckEvaluatesConditionOnceAndReportsNothing) {
  LogCapture logs;
  CheckCapture checks;
  int evaluations = 0;
  CHECK(++evaluations == 1);
  ASSUME(++evaluations == 2);
  EXPECT_EQ(evaluations, 2);
  EXPECT_EQ(checks.Count(), 0);
  EXPECT_TRUE(logs.Messages().empty());
}

TEST(CheckTest, FailedAssumptionLogsFatal) {
  LogCapture logs;
  CheckCapture checks;
  ASSUME(1 + 1 == 3);
  ASSERT_EQ(checks.Count(), 1);
  EXPECT_EQ(checks.Messages()[0], "Assumption failed");
  ASSERT_EQ(logs.Messages().size(), 1u);
  EXPECT_EQ(logs.Messages()[0].first, 4);
  EXPECT_EQ(logs.Messages()[0].second, "Assumption failed");
}

TEST(CheckTest, ReportFatalFormatsAtLevel4) {
  LogCapture logs;
  CheckCapture checks;
  ReportFatal("Server cannot be null in this RunMode %d", 2);
  ASSERT_EQ(logs.Messages().size(), 1u);
  EXPECT_EQ(logs.Messages()[0].first, 4);
  EXPECT_EQ(logs.Messages()[0].second, "Server cannot be null in this RunMode 2");
  EXPECT_EQ(checks.Count(), 1);
}

void RecordNothing(const char*) {}

TEST(CheckTest, CapturesNestAndRestoreTheHandler) {
  const CheckFailureHandler before = SetCheckFailureHandler(RecordNothing);
  {
    CheckCapture outer;
    {
      CheckCapture inner;
      CHECK(false);
      EXPECT_EQ(inner.Count(), 1);
    }
    CHECK(false);
    EXPECT_EQ(outer.Count(), 1);
  }
  EXPECT_EQ(SetCheckFailureHandler(before), RecordNothing);
}

TEST(CheckTest, QualifiedFunctionNameFromPrettyFunction) {
  const struct {
    const char* pretty;
    const char* expected;
  } cases[] = {
      {"bool SculptApplication::Init(Draw::DrawContext*)", "SculptApplication::Init"},
      {"ChunkFile::~ChunkFile()", "ChunkFile::~ChunkFile"},
      {"ChunkFile::~ChunkFile", "ChunkFile::~ChunkFile"},
      {"virtual Draw::Pipeline* Draw::OpenGLContext::CreatePipeline(const Draw::PipelineDesc&)",
       "Draw::OpenGLContext::CreatePipeline"},
      {"static int Mixer::Count() const", "Mixer::Count"},
      {"std::map<int, std::pair<int, int> > Cache::Get(int) const", "Cache::Get"},
      {"std::function<void(int)> Panel::Callback()", "Panel::Callback"},
      {"T Clamp(T) [with T = float]", "Clamp"},
      {"void Grid<T, N>::Fill(T) [with T = short int; int N = 6]", "Grid<T, N>::Fill"},
      {"bool operator<(const Vec3&, const Vec3&)", "operator<"},
      {"Vec3 Vec3::operator>>(int) const", "Vec3::operator>>"},
      {"void Task::operator()(int)", "Task::operator()"},
      {"Handle::operator bool() const", "Handle::operator bool"},
      {"void Test_Body()::<lambda()>", "Test_Body"},
      {"int main()", "main"},
      {"Widget::Widget()", "Widget::Widget"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(QualifiedFunctionName(c.pretty), c.expected) << c.pretty;
  }
}

TEST(CheckTest, SourceFileNameDropsDirectories) {
  EXPECT_STREQ(SourceFileName("/work/main/file/chunk_file.cpp"), "chunk_file.cpp");
  EXPECT_STREQ(SourceFileName("file/chunk_file"), "chunk_file");
  EXPECT_STREQ(SourceFileName("C:\\src\\app\\main.cpp"), "main.cpp");
  EXPECT_STREQ(SourceFileName("plain.cpp"), "plain.cpp");
}

TEST(CheckDeathTest, FailedCheckWithoutHandlerStopsAfterLogging) {
  EXPECT_DEATH(
      {
        AddLogSink(DebugOutputSink, nullptr);
        SetCheckFailureHandler(nullptr);
        CHECK(sizeof(int) == 1);
      },
      "e: Check failed in .*FailedCheckWithoutHandlerStopsAfterLogging.* at check_test\\.cpp:[0-9]+");
}

}  // namespace

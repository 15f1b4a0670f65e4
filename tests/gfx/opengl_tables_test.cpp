// Values outside the format and comparison tables are programming errors that never read past
// a table.
#include <string>

#include <gtest/gtest.h>

#include "gfx/opengl_tables.h"
#include "tests/support/log_capture.h"

namespace {

TEST(OpenGLTablesTest, ValuesOutsideTheTablesFailACheckNamingTheQuery) {
  struct Case {
    const char* function;
    void (*call)();
  };
  const Case cases[] = {
      {"Draw::DataFormatCount", [] { EXPECT_EQ(Draw::DataFormatCount(Draw::BC1_RGB_UNORM), 0); }},
      {"Draw::DataFormatCount", [] { EXPECT_EQ(Draw::DataFormatCount(Draw::DataFormat(200)), 0); }},
      {"Draw::DataFormatNormalized",
       [] { EXPECT_FALSE(Draw::DataFormatNormalized(Draw::UNDEFINED)); }},
      {"Draw::GetDataFormatType", [] { Draw::GetDataFormatType(Draw::D24_S8); }},
      {"Draw::ToGLComparison", [] { Draw::ToGLComparison(Draw::Comparison(8)); }},
      {"Draw::ToGLBlendFactor", [] { Draw::ToGLBlendFactor(Draw::BlendFactor(18)); }},
  };
  for (const Case& c : cases) {
    CheckCapture checks;
    c.call();
    ASSERT_EQ(checks.Count(), 1) << c.function;
    EXPECT_NE(checks.Messages()[0].find(std::string("Check failed in ") + c.function),
              std::string::npos)
        << checks.Messages()[0];
  }
}

TEST(OpenGLTablesTest, AttributeFormatsKeepTheirComponentsAndNormalisation) {
  struct Case {
    Draw::DataFormat format;
    int components;
    bool normalized;
    GLenum type;
  };
  const Case cases[] = {
      {Draw::R8G8B8A8_UNORM, 4, true, GL_UNSIGNED_BYTE},
      {Draw::R8G8B8A8_SNORM, 4, true, GL_BYTE},
      {Draw::R8G8B8A8_UINT, 4, false, GL_UNSIGNED_BYTE},
      {Draw::R16G16_FLOAT, 2, false, GL_HALF_FLOAT},
      {Draw::R32G32B32_FLOAT, 3, false, GL_FLOAT},
  };
  CheckCapture checks;
  for (const Case& c : cases) {
    EXPECT_EQ(Draw::DataFormatCount(c.format), c.components) << int(c.format);
    EXPECT_EQ(Draw::DataFormatNormalized(c.format), c.normalized) << int(c.format);
    EXPECT_EQ(Draw::GetDataFormatType(c.format), c.type) << int(c.format);
  }
  EXPECT_EQ(checks.Count(), 0);
}

}  // namespace

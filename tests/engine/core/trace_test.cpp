#include "engine/core/trace.h"

#include <gtest/gtest.h>

#include "tests/support/trace_capture.h"

namespace {

TEST(Trace, SinksComposeExactTextsWithoutDecoration) {
  testsupport::TraceCapture capture;
  halcyon::logLine("DX version ok\n");
  halcyon::logError("", "Log started \n");
  ASSERT_EQ(capture.entries().size(), 2u);
  EXPECT_EQ(capture.entries()[0].sink, "line");
  EXPECT_EQ(capture.entries()[0].text, "DX version ok\n");
  EXPECT_EQ(capture.entries()[1].sink, "error");
  EXPECT_EQ(capture.entries()[1].text, "Log started \n");
}

TEST(Trace, WithoutATapNothingHappens) {
  halcyon::logLine("ignored\n");
  halcyon::logError("", "ignored\n");
  SUCCEED();
}

}  // namespace

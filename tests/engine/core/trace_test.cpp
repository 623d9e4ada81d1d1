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

namespace {

// What the sink writes, for the time of a test.
class WrittenText {
 public:
  WrittenText() {
    previous_ = halcyon::setTraceWriter([this](std::string_view t) { text.append(t); });
  }
  ~WrittenText() {
    halcyon::setTraceWriter(previous_);
    halcyon::setTraceVerbose(false);
  }
  std::string text;

 private:
  halcyon::TraceWriter previous_;
};

TEST(Trace, FailuresAlwaysReachTheOneWriterAndTraceLinesOnlyWhenVerbose) {
  WrittenText out;
  halcyon::setTraceProgramName("brassmoor");
  halcyon::logLine("Full Mode:\n");
  halcyon::logError("", "Application created\n");
  halcyon::reportFailure("the font Media/sylfaen.fs cannot be read\n");
  EXPECT_EQ(out.text, "brassmoor: the font Media/sylfaen.fs cannot be read\n") << "one line, no doubled break";
  out.text.clear();
  halcyon::setTraceVerbose(true);
  halcyon::logLine("Full Mode:\n");
  halcyon::logError("", "Application created\n");
  halcyon::reportFailure("no display");
  EXPECT_EQ(out.text, "Full Mode:\nApplication created\nbrassmoor: no display\n") << "in the order they happened";
}

TEST(Trace, ATapSeesFailuresApartFromTraceTexts) {
  WrittenText out;
  testsupport::TraceCapture capture;
  halcyon::logLine("2.exit\n");
  halcyon::reportFailure("the X display went away; the run ends");
  EXPECT_EQ(capture.texts(), std::vector<std::string>{"2.exit\n"});
  EXPECT_EQ(capture.failures(), std::vector<std::string>{"the X display went away; the run ends"});
}

}  // namespace

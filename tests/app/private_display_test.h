#pragma once
// A test of the executable on an X server of its own and with a settings folder of its own:
// DISPLAY names that server for the test and the processes it starts. Without Xvfb the test is
// skipped; a fixture that goes on setting up after this one returns when IsSkipped().
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/app/process.h"
#include "tests/platform/registry/scoped_config_dir.h"

namespace testsupport {

class PrivateDisplayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (server_.display().empty()) GTEST_SKIP() << "needs Xvfb";
    setenv("DISPLAY", server_.display().c_str(), 1);
  }
  PrivateXServer server_;
  ScopedConfigDir config_;
};

}  // namespace testsupport

#include "app/runtime_version.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using brassmoor::RuntimeVersion;

std::string text(const RuntimeVersion& v, std::size_t length = 10) {
  char buffer[16];
  std::fill(std::begin(buffer), std::end(buffer), 'x');
  brassmoor::formatRuntimeVersion(v, buffer, length);
  return buffer;
}

TEST(RuntimeVersion, PackingAndTextAgainstTheThreshold) {
  EXPECT_EQ(brassmoor::packRuntimeVersion({9, 0, 'c'}), 0x00090003u);
  EXPECT_EQ(text({9, 0, 'c'}), "9.0c");
  EXPECT_EQ(brassmoor::packRuntimeVersion({8, 1, 'b'}), 0x00080102u);
  EXPECT_LT(brassmoor::packRuntimeVersion({8, 1, 'b'}), brassmoor::kRequiredRuntimeVersion);
  EXPECT_EQ(brassmoor::packRuntimeVersion({9, 0, 0}), brassmoor::kRequiredRuntimeVersion);
  EXPECT_EQ(text({9, 0, 0}), "9.0");
  EXPECT_EQ(brassmoor::packRuntimeVersion({0, 0, 0}), 0u);
  EXPECT_EQ(text({0, 0, 0}), "0.0");
  // Letters count in either case; anything else is no letter.
  EXPECT_EQ(brassmoor::packRuntimeVersion({6, 1, 'A'}), 0x00060101u);
  EXPECT_EQ(brassmoor::packRuntimeVersion({6, 1, 'z'}), 0x0006011Au);
  EXPECT_EQ(brassmoor::packRuntimeVersion({6, 1, '3'}), 0x00060100u);
  EXPECT_EQ(text({6, 1, '3'}), "6.1");
}

TEST(RuntimeVersion, TextStaysInsideItsBuffer) {
  EXPECT_EQ(text({12345, 255, 'q'}, 10), "12345.255");
  EXPECT_EQ(text({9, 0, 'c'}, 3), "9.");
  char untouched = 'x';
  brassmoor::formatRuntimeVersion({9, 0, 'c'}, &untouched, 0);
  EXPECT_EQ(untouched, 'x');
}

}  // namespace

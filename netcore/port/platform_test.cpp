#include "netcore/port/platform.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

// The pulse carries these seconds to the gate and the silence check compares
// them across threads: they must be the C runtime's epoch seconds, not the
// system's 100 ns units or its 1601 epoch.
TEST(WallClockSeconds, AgreesWithTheRuntimesTime) {
  const int64_t before = int64_t(std::time(nullptr));
  const int64_t ours = q_platform::WallClockSeconds();
  const int64_t after = int64_t(std::time(nullptr));
  EXPECT_GE(ours, before - 1);
  EXPECT_LE(ours, after + 1);
}

}  // namespace

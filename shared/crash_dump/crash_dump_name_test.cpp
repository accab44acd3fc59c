#include "shared/crash_dump/crash_dump_name.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(CrashDumpName, MillisecondsWithoutLeadingZerosAndEachPrefix) {
  const crash_dump::CrashClock t{2025, 3, 3, 9, 5, 7, 42};
  char name[crash_dump::kNameBufferSize];
  ASSERT_TRUE(crash_dump::FormatDumpFileName(name, sizeof name, "Quorrel_", t));
  EXPECT_STREQ("Quorrel_2025-03-03-09-05-07-42.dmp", name);
  ASSERT_TRUE(crash_dump::FormatDumpFileName(name, sizeof name, "Halvora_", t));
  EXPECT_STREQ("Halvora_2025-03-03-09-05-07-42.dmp", name);
  const crash_dump::CrashClock late{2025, 12, 31, 23, 59, 59, 999};
  ASSERT_TRUE(crash_dump::FormatDumpFileName(name, sizeof name, "Quorrel_", late));
  EXPECT_STREQ("Quorrel_2025-12-31-23-59-59-999.dmp", name);
}

TEST(CrashDumpName, SmallBufferAndLongPrefixStayInBounds) {
  const crash_dump::CrashClock t{2025, 3, 3, 9, 5, 7, 0};
  char small[12];
  std::memset(small, 'x', sizeof small);
  EXPECT_FALSE(crash_dump::FormatDumpFileName(small, sizeof small, "Quorrel_", t));
  EXPECT_EQ('\0', small[sizeof small - 1]);

  // A prefix beyond the limit is cut, and the longest name still fits.
  const std::string longPrefix(200, 'p');
  const crash_dump::CrashClock worst{-2147483647, -2147483647, -2147483647, -2147483647,
                                     -2147483647, -2147483647, -2147483647};
  char name[crash_dump::kNameBufferSize];
  EXPECT_FALSE(crash_dump::FormatDumpFileName(name, sizeof name, longPrefix.c_str(), worst));
  EXPECT_LT(std::strlen(name), sizeof name);
  ASSERT_TRUE(crash_dump::FormatDumpFileName(name, sizeof name, longPrefix.c_str(), t));
  EXPECT_EQ(std::string(crash_dump::kMaxPrefix, 'p') + "2025-03-03-09-05-07-0.dmp", name);
}

}  // namespace

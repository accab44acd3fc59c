#include "gateclient/client_frame/reconnect_pacer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>

namespace {

using bsc::ReconnectPacer;

struct Clock {
  uint32_t now = 0xFFFF0000u;  // starts just before the tick count wraps
};

// Ten minutes against a gate that refuses every connect: each try logs its
// address, its "reconnecting" and its "connect failed" lines when logged,
// plus one count line after tries were left out. Without pacing the frame
// tried every 50 ms (about 12,000 tries and 36,000 lines).
TEST(ReconnectPacer, TenMinutesOfRefusedConnectsStayBounded) {
  for (uint32_t seed : {1u, 7u, 99u}) {
    Clock clock;
    std::minstd_rand rng(seed);
    ReconnectPacer pacer([&] { return clock.now; }, [&] { return uint32_t(rng()); });
    const uint32_t start = clock.now;
    int tries = 0;
    int lines = 0;
    uint32_t mutedTotal = 0;
    uint32_t previous = 0;
    while (clock.now - start < 10 * 60 * 1000) {
      uint32_t muted = 0;
      if (pacer.BeginTry("gate.example:10168", &muted)) lines += muted != 0 ? 4 : 3;
      mutedTotal += muted;
      ++tries;
      const uint32_t delay = pacer.NextDelayMs();
      if (tries == 1) EXPECT_EQ(delay, 50u);  // the first retry as before
      EXPECT_LE(delay, ReconnectPacer::kMaxRetryMs);
      if (tries > 1 && previous < ReconnectPacer::kMaxRetryMs / 2) EXPECT_GE(delay, previous);
      previous = delay;
      clock.now += delay;
    }
    // 11 tries in the first ~40 s, then one every 22.5 to 30 s.
    EXPECT_GE(tries, 25) << seed;
    EXPECT_LE(tries, 40) << seed;
    // The first try, then at most one logged try per minute.
    EXPECT_LE(lines, 3 + 10 * 4) << seed;
    EXPECT_GE(mutedTotal, uint32_t(tries - 12)) << seed;
  }
}

TEST(ReconnectPacer, LoginStartsOverAndEachAddressIsLoggedOnItsOwn) {
  Clock clock;
  ReconnectPacer pacer([&] { return clock.now; }, [] { return 0u; });
  uint32_t muted = 0;
  EXPECT_TRUE(pacer.BeginTry("a:1", &muted));
  for (int i = 0; i < 8; ++i) pacer.NextDelayMs();
  EXPECT_GT(pacer.NextDelayMs(), 9000u);
  // A second address is logged at its first failure; the first is not again.
  EXPECT_TRUE(pacer.BeginTry("b:2", &muted));
  EXPECT_FALSE(pacer.BeginTry("a:1", &muted));
  EXPECT_FALSE(pacer.BeginTry("a:1", &muted));
  clock.now += ReconnectPacer::kLogIntervalMs;
  EXPECT_TRUE(pacer.BeginTry("a:1", &muted));
  EXPECT_EQ(muted, 2u);
  // Logged in: the next failure waits 50 ms and is logged.
  pacer.Reset();
  EXPECT_TRUE(pacer.BeginTry("a:1", &muted));
  EXPECT_EQ(muted, 0u);
  EXPECT_EQ(pacer.NextDelayMs(), 50u);
  EXPECT_LT(pacer.NextDelayMs(), 200u);
}

}  // namespace

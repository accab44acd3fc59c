#include "shared/thread_check/thread_check.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

bool AskFromOtherThread(const q_platform::ThreadChecker& checker) {
  bool ok = false;
  std::thread([&] { ok = checker.OnBoundThread(); }).join();
  return ok;
}

TEST(ThreadChecker, BindsTheFirstCallerUntilDetached) {
  q_platform::ThreadChecker checker;
  EXPECT_TRUE(AskFromOtherThread(checker));  // a thread that started later binds it
  EXPECT_FALSE(checker.OnBoundThread());
  EXPECT_FALSE(checker.OnBoundThread());  // a refusal does not rebind

  checker.Detach();  // a restart: the next caller owns it
  EXPECT_TRUE(checker.OnBoundThread());
  EXPECT_TRUE(checker.OnBoundThread());
  EXPECT_FALSE(AskFromOtherThread(checker));

  checker.BindToCurrent();
  EXPECT_TRUE(checker.OnBoundThread());
}

TEST(ThreadChecker, OneOfManyRacingFirstCallersBinds) {
  q_platform::ThreadChecker checker;
  std::atomic<int> bound{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < 8; ++i) {
    threads.emplace_back([&] {
      if (checker.OnBoundThread()) bound.fetch_add(1);
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(1, bound.load());
}

// Also fails when a tree builds with the checks off: every tree, the Windows
// one included, runs with them on.
TEST(ThreadCheckDeathTest, WrongThreadAbortsNamingRoleAndPlace) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        q_platform::ThreadChecker watcher;
        AskFromOtherThread(watcher);
        Q_CHECK_BOUND_THREAD(watcher, "watcher thread");
      },
      "watcher thread only: called from another thread at .*thread_check_test\\.cpp:.+");
  // The bound thread passes.
  q_platform::ThreadChecker mine;
  Q_CHECK_BOUND_THREAD(mine, "watcher thread");
  Q_CHECK_BOUND_THREAD(mine, "watcher thread");
}

}  // namespace

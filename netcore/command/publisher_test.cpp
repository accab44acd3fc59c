#include "netcore/command/publisher.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace {

using bs::CMD_base;
using bsc::Publisher;

// Records its calls into a shared log and counts its releases; an optional
// action runs inside OnCommand.
class Probe final : public bsc::ICmdSubscriber {
 public:
  Probe(std::string name, std::vector<std::string>* log, int* released, bool persistent = true)
      : name_(std::move(name)), log_(log), released_(released), persistent_(persistent) {}

  void OnCommand(CMD_base* cmd) override {
    log_->push_back(name_);
    if (action) action(cmd);
  }
  bool IsPersistent() override { return persistent_; }
  void Release() override {
    ++*released_;
    delete this;
  }
  void SetPersistent(bool p) override { persistent_ = p; }

  std::function<void(CMD_base*)> action;

 private:
  ~Probe() = default;
  std::string name_;
  std::vector<std::string>* log_;
  int* released_;
  bool persistent_;
};

using Log = std::vector<std::string>;

// The publisher releases no subscriber when it is destroyed; TearDown ends
// whatever subscriptions a test left, so the sanitizer sees no leak.
class PublisherTest : public ::testing::Test {
 protected:
  void TearDown() override {
    for (const Sub& s : subs_) s.pub->Unsubscribe(s.sub, s.kind, s.subid);
  }
  // Subscribes and remembers the subscription for TearDown.
  template <class S>
  S* Subscribe(Publisher& p, S* sub, uint16_t kind, uint16_t subid) {
    p.Subscribe(sub, kind, subid);
    subs_.push_back({&p, sub, kind, subid});
    return sub;
  }
  Probe* Add(const char* name, uint16_t kind, uint16_t subid, bool persistent = true) {
    return Subscribe(pub, new Probe(name, &log, &released, persistent), kind, subid);
  }

  Publisher pub;
  Log log;
  int released = 0;

 private:
  struct Sub {
    Publisher* pub;
    bsc::ICmdSubscriber* sub;
    uint16_t kind, subid;
  };
  std::vector<Sub> subs_;
};

TEST_F(PublisherTest, ExactKeyThenKindThenAll) {
  Add("all", 0, 0);
  Add("kind", 18, 0);
  Add("exact", 18, 14);
  Add("other", 13, 14);

  CMD_base cmd(18, 14);
  pub.Process(&cmd, 0);
  EXPECT_EQ(log, (Log{"exact", "kind", "all"}));

  log.clear();
  CMD_base other_subid(18, 3);
  pub.Process(&other_subid, 0);
  EXPECT_EQ(log, (Log{"kind", "all"}));
  pub.Process(nullptr, 0);
  EXPECT_EQ(released, 0);
}

TEST_F(PublisherTest, SubidZeroAndKindZeroReachCoincidingKeysOncePerPass) {
  Add("kind18", 18, 0);
  CMD_base zero(18, 0);
  pub.Process(&zero, 0);
  EXPECT_EQ(log, (Log{"kind18", "kind18"}));  // passes (18,0) and (18,0)

  Publisher pub0;
  Log log0;
  auto* all = new Probe("all", &log0, &released);
  pub0.Subscribe(all, 0, 0);
  CMD_base none(0, 0);
  pub0.Process(&none, 0);
  EXPECT_EQ(log0, (Log{"all", "all", "all"}));
  pub0.Unsubscribe(all, 0, 0);
}

TEST_F(PublisherTest, NonPersistentSubscriberIsCalledOnceThenReleased) {
  Add("detail", 18, 14, false);
  CMD_base cmd(18, 14);
  pub.Process(&cmd, 0);
  EXPECT_EQ(released, 1);
  pub.Process(&cmd, 0);
  EXPECT_EQ(log, (Log{"detail"}));
  EXPECT_EQ(released, 1);
}

TEST_F(PublisherTest, SameSubscriberTwiceUnderOneKeyIsListedOnce) {
  auto* p = new Probe("p", &log, &released);
  pub.Subscribe(p, 18, 14);
  pub.Subscribe(p, 18, 14);
  CMD_base cmd(18, 14);
  pub.Process(&cmd, 0);
  EXPECT_EQ(log, (Log{"p"}));
  pub.Unsubscribe(p, 18, 14);
  EXPECT_EQ(released, 1);
  pub.Unsubscribe(p, 18, 14);  // no longer listed: nothing happens
  EXPECT_EQ(released, 1);
}

TEST_F(PublisherTest, SubscriberAddedInsideCallbackWaitsForALaterPass) {
  auto* adder = new Probe("adder", &log, &released);
  bool added = false;
  adder->action = [&](CMD_base*) {
    if (added) return;
    added = true;
    Add("late-exact", 18, 14);
    Add("late-all", 0, 0);
  };
  Subscribe(pub, adder, 18, 14);
  CMD_base cmd(18, 14);
  pub.Process(&cmd, 0);
  // The (18,14) pass ran on its snapshot; the key-0 pass came later.
  EXPECT_EQ(log, (Log{"adder", "late-all"}));
  log.clear();
  pub.Process(&cmd, 0);
  EXPECT_EQ(log, (Log{"adder", "late-exact", "late-all"}));
  EXPECT_EQ(released, 0);
}

TEST_F(PublisherTest, SubscriberUnsubscribedByAnotherIsNotCalledAndReleasedOnce) {
  auto* killer = new Probe("killer", &log, &released);
  auto* victim = new Probe("victim", &log, &released);
  killer->action = [&](CMD_base*) { pub.Unsubscribe(victim, 18, 14); };
  pub.Subscribe(killer, 18, 14);
  pub.Subscribe(victim, 18, 14);
  CMD_base cmd(18, 14);
  pub.Process(&cmd, 0);
  EXPECT_EQ(log, (Log{"killer"}));
  EXPECT_EQ(released, 1);
  killer->action = nullptr;
  pub.Unsubscribe(killer, 18, 14);
  EXPECT_EQ(released, 2);
}

TEST_F(PublisherTest, NonPersistentSubscriberUnderTwoKeysIsReleasedOnce) {
  auto* p = new Probe("twice", &log, &released, /*persistent=*/false);
  pub.Subscribe(p, 18, 14);
  pub.Subscribe(p, 18, 0);
  CMD_base cmd(18, 14);
  pub.Process(&cmd, 0);
  // Each subscription is used once; the last one to end releases it.
  EXPECT_EQ(log, (Log{"twice", "twice"}));
  EXPECT_EQ(released, 1);
  pub.Process(&cmd, 0);
  EXPECT_EQ(log.size(), 2u);
  EXPECT_EQ(released, 1);
}

TEST_F(PublisherTest, ExplicitUnsubscribeReleasesWithTheLastKey) {
  auto* p = new Probe("p", &log, &released);
  pub.Subscribe(p, 18, 14);
  pub.Subscribe(p, 0, 0);
  pub.Unsubscribe(p, 18, 14);
  EXPECT_EQ(released, 0);
  CMD_base cmd(18, 14);
  pub.Process(&cmd, 0);
  EXPECT_EQ(log, (Log{"p"}));
  pub.Unsubscribe(p, 0, 0);
  EXPECT_EQ(released, 1);
}

TEST_F(PublisherTest, SubscriberDroppingItselfInsideItsCallback) {
  auto* self = new Probe("self", &log, &released, /*persistent=*/false);
  self->action = [&](CMD_base*) {
    pub.Unsubscribe(self, 18, 14);
    pub.Unsubscribe(self, 0, 0);
  };
  pub.Subscribe(self, 18, 14);
  pub.Subscribe(self, 0, 0);
  CMD_base cmd(18, 14);
  pub.Process(&cmd, 0);  // IsPersistent is still asked after the callback
  EXPECT_EQ(log, (Log{"self"}));
  EXPECT_EQ(released, 1);
}

TEST_F(PublisherTest, ResetForgetsSubscriptionsWithoutReleasing) {
  auto* p = new Probe("p", &log, &released);
  pub.Subscribe(p, 18, 14);
  pub.Reset();
  CMD_base cmd(18, 14);
  pub.Process(&cmd, 0);
  EXPECT_TRUE(log.empty());
  EXPECT_EQ(released, 0);
  p->Release();  // ours again
}

TEST_F(PublisherTest, SubscribeCommandForwardsToItsCallback) {
  static int calls = 0;
  calls = 0;
  Publisher pub;
  auto* sub = new bsc::SubscribeCommand<>([](CMD_base* cmd) { calls += cmd->subid; });
  EXPECT_FALSE(sub->IsPersistent());
  pub.Subscribe(sub, 18, 14);
  CMD_base cmd(18, 14);
  pub.Process(&cmd, 0);  // non-persistent: released after this
  pub.Process(&cmd, 0);
  EXPECT_EQ(calls, 14);

  auto* kept = new bsc::SubscribeCommand<>([](CMD_base*) { ++calls; });
  kept->SetPersistent(true);
  pub.Subscribe(kept, 18, 0);
  pub.Process(&cmd, 0);
  pub.Process(&cmd, 0);
  EXPECT_EQ(calls, 16);
  pub.Unsubscribe(kept, 18, 0);
}

// Run under ThreadSanitizer in the tsan tree.
TEST_F(PublisherTest, FourPublishersWhileAnotherThreadSubscribes) {
  class Counter final : public bsc::ICmdSubscriber {
   public:
    explicit Counter(std::atomic<int>* released) : released_(released) {}
    void OnCommand(CMD_base*) override { calls.fetch_add(1, std::memory_order_relaxed); }
    bool IsPersistent() override { return true; }
    void Release() override {
      released_->fetch_add(1);
      delete this;
    }
    void SetPersistent(bool) override {}
    std::atomic<int> calls{0};

   private:
    ~Counter() = default;
    std::atomic<int>* released_;
  };

  Publisher pub;
  std::atomic<int> released{0};
  std::atomic<int> all_calls{0};
  auto* all = new bsc::SubscribeCommand<>(nullptr);
  all->SetPersistent(true);
  static std::atomic<int>* s_all_calls;
  s_all_calls = &all_calls;
  all->callback = [](CMD_base*) { s_all_calls->fetch_add(1); };
  pub.Subscribe(all, 0, 0);

  constexpr int kPublishers = 4;
  constexpr int kPerPublisher = 2000;
  constexpr int kChurn = 500;
  std::vector<std::thread> threads;
  for (int t = 0; t < kPublishers; ++t) {
    threads.emplace_back([&pub, t] {
      CMD_base cmd(18, static_cast<uint16_t>(10 + t));
      for (int i = 0; i < kPerPublisher; ++i) pub.Process(&cmd, 0);
    });
  }
  threads.emplace_back([&] {
    for (int i = 0; i < kChurn; ++i) {
      auto* c = new Counter(&released);
      const uint16_t subid = static_cast<uint16_t>(10 + i % kPublishers);
      pub.Subscribe(c, 18, subid);
      pub.Subscribe(c, 18, 0);
      pub.Unsubscribe(c, 18, subid);
      pub.Unsubscribe(c, 18, 0);
    }
  });
  for (std::thread& t : threads) t.join();

  EXPECT_EQ(all_calls.load(), kPublishers * kPerPublisher);
  EXPECT_EQ(released.load(), kChurn);
  pub.Unsubscribe(all, 0, 0);
}

}  // namespace

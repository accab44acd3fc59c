#include "netcore/port/send_batch.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

using q_platform::SendBatch;
using q_platform::SendBatchTarget;

struct Recorder final : q_platform::SendOutlet {
  void SendHeld(uint64_t key, const char* data, size_t size) override {
    writes.emplace_back(key, std::string(data, size));
  }
  std::vector<std::pair<uint64_t, std::string>> writes;
};

bool Hold(const std::shared_ptr<SendBatchTarget>& t, uint64_t key, const std::string& bytes) {
  return SendBatch::Hold(t, key, bytes.data(), bytes.size());
}

TEST(SendBatchTest, HoldsOnlyInsideTheOutermostBatchAndKeepsTheOrderOfWrites) {
  Recorder rec;
  auto target = std::make_shared<SendBatchTarget>(&rec);
  EXPECT_FALSE(Hold(target, 1, "x"));  // no batch: the caller sends
  {
    SendBatch outer;
    EXPECT_TRUE(Hold(target, 1, "a1"));
    {
      SendBatch inner;  // nested: the outer batch writes
      EXPECT_TRUE(Hold(target, 1, "a2"));
    }
    EXPECT_TRUE(rec.writes.empty());
    EXPECT_TRUE(Hold(target, 2, "b1"));
    EXPECT_TRUE(Hold(target, 1, "a3"));
    // Another thread's sends are its own, not held here.
    bool other = true;
    std::thread([&] { other = Hold(target, 1, "t"); }).join();
    EXPECT_FALSE(other);
    EXPECT_TRUE(rec.writes.empty());
  }
  const std::vector<std::pair<uint64_t, std::string>> want = {
      {1, "a1a2"}, {2, "b1"}, {1, "a3"}};
  EXPECT_EQ(want, rec.writes);
  EXPECT_FALSE(SendBatch::IsOpen());
}

TEST(SendBatchTest, WritesEarlyPastTheLimitAndDropsWhatATargetClosedMeanwhileHeld) {
  Recorder rec;
  auto target = std::make_shared<SendBatchTarget>(&rec);
  {
    SendBatch batch;
    const std::string big(SendBatch::kMaxHeldBytes, 'z');
    EXPECT_TRUE(Hold(target, 7, big));
    ASSERT_EQ(1u, rec.writes.size());
    EXPECT_EQ(big.size(), rec.writes[0].second.size());
    EXPECT_TRUE(Hold(target, 7, "late"));
    // The manager goes before the batch ends: nothing reaches its outlet.
    target->Close();
  }
  EXPECT_EQ(1u, rec.writes.size());
}

}  // namespace

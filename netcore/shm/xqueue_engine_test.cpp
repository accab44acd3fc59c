#include "netcore/shm/xqueue_engine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <limits>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "netcore/shm/word_flipper_test_util.h"

using namespace xqueue;

namespace {

// In-process stand-in for the named event and mutex: counts what the engine
// asks for and can be told to refuse.
class FakeSync : public XQueueSync {
 public:
  Wait turn_result = kAcquired;
  Wait lock_result = kAcquired;
  int turns_taken = 0;
  int turns_given = 0;
  int locks = 0;
  int unlocks = 0;
  int notifies = 0;
  int sleeps = 0;

  Wait WaitWriteTurn(uint32_t) override {
    if (turn_result == kAcquired) ++turns_taken;
    return turn_result;
  }
  void GiveWriteTurn() override { ++turns_given; }
  // Runs when the mutex is taken: the other side's last chance to meddle.
  std::function<void()> on_lock;

  Wait LockQueue(uint32_t) override {
    if (lock_result == kAcquired) ++locks;
    if (on_lock) on_lock();
    return lock_result;
  }
  // One wait on both objects: both or neither.
  Wait WaitWriteTurnAndLock(uint32_t) override {
    if (turn_result != kAcquired) return turn_result;
    if (lock_result != kAcquired) return lock_result;
    ++turns_taken;
    ++locks;
    if (on_lock) on_lock();
    return kAcquired;
  }
  void UnlockQueue() override { ++unlocks; }
  void NotifyReader() override { ++notifies; }
  void SleepMs(uint32_t) override { ++sleeps; }
  uint32_t CurrentThreadId() override { return 77; }
};

struct Region {
  std::vector<uint32_t> words = std::vector<uint32_t>(kRegionSize / 4);
  void* data() { return words.data(); }
  unsigned char* bytes() { return reinterpret_cast<unsigned char*>(words.data()); }
  int32_t& hdr(uint32_t off) { return *reinterpret_cast<int32_t*>(bytes() + off); }
  int32_t& blk(int32_t i, uint32_t off) {
    return *reinterpret_cast<int32_t*>(bytes() + kBlockSize * (i + 1) + off);
  }
};

std::string Pattern(size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char((i * 131 + seed * 17 + (i >> 8)) & 0xff);
  return s;
}

class XQueueEngineTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(q.Format(r.data(), kRegionSize, 1234)); }

  int Write(const std::string& s) { return q.Write(s.data(), uint32_t(s.size()), sync); }
  int Read(std::string* out, uint32_t capacity, int32_t* id = nullptr) {
    out->assign(capacity, '\xAA');
    uint32_t len = capacity;
    int32_t mid = -5;
    int code = q.Read(&(*out)[0], &len, &mid, nullptr, 100, sync);
    if (code == kXqOk) out->resize(len);
    if (id) *id = mid;
    return code;
  }

  // ReadBatch into a buffer of `capacity` bytes; the messages it removed.
  int ReadBatch(std::vector<std::string>* out, uint32_t capacity, int max = 32) {
    std::vector<char> buf(capacity, '\xAA');
    std::vector<uint32_t> offsets(static_cast<size_t>(max)), lengths(static_cast<size_t>(max));
    int count = -1;
    out->clear();
    const int code =
        q.ReadBatch(buf.data(), capacity, offsets.data(), lengths.data(), max, &count, 100, sync);
    for (int i = 0; i < count; ++i) {
      out->emplace_back(buf.data() + offsets[size_t(i)], lengths[size_t(i)]);
      // Read's trailing zeros, as far as the buffer goes.
      for (uint32_t z = offsets[size_t(i)] + lengths[size_t(i)];
           z < std::min(capacity, offsets[size_t(i)] + lengths[size_t(i)] + 4); ++z) {
        EXPECT_EQ(buf[z], 0) << "after message " << i;
      }
    }
    if (code == kXqBufferTooSmall) out->emplace_back(lengths[0], '?');
    return code;
  }

  // Every block is in exactly one list, the counts agree, and every used
  // block but a message's last carries bit 31.
  void ExpectConsistent() {
    std::set<int32_t> seen;
    int32_t free_n = 0, used_n = 0;
    for (int32_t i = r.hdr(kHdrFreeHead), prev = -1; i != -1; prev = i, i = r.blk(i, kBlkNext)) {
      ASSERT_TRUE(i >= 0 && i < kBlockCount);
      ASSERT_TRUE(seen.insert(i).second);
      EXPECT_EQ(r.blk(i, kBlkPrev), prev);
      EXPECT_EQ(r.hdr(kHdrFreeTail) == i, r.blk(i, kBlkNext) == -1);
      ++free_n;
    }
    for (int32_t i = r.hdr(kHdrUsedHead), prev = -1; i != -1; prev = i, i = r.blk(i, kBlkNext)) {
      ASSERT_TRUE(i >= 0 && i < kBlockCount);
      ASSERT_TRUE(seen.insert(i).second);
      EXPECT_EQ(r.blk(i, kBlkPrev), prev);
      EXPECT_EQ(r.hdr(kHdrUsedTail) == i, r.blk(i, kBlkNext) == -1);
      ++used_n;
    }
    EXPECT_EQ(free_n, r.hdr(kHdrFreeCount));
    EXPECT_EQ(used_n, r.hdr(kHdrUsedCount));
    EXPECT_EQ(free_n + used_n, kBlockCount);
  }

  Region r;
  XQueueEngine q;
  FakeSync sync;
};

TEST_F(XQueueEngineTest, FormatLaysOutHeaderAndFreeChain) {
  r.hdr(200) = 99;  // a stale header page is wiped
  ASSERT_TRUE(q.Format(r.data(), kRegionSize, 1234));
  const int32_t expect[][2] = {{0, 1024},  {4, 1000}, {8, 1025}, {12, 1024}, {16, 1024},
                               {20, 0},    {24, 0},   {28, 1},   {32, 1234}, {36, 0},
                               {40, 0},    {44, 0},   {48, 0},   {52, 1},    {56, 0},
                               {60, 1023}, {64, -1},  {68, -1},  {200, 0}};
  for (auto& e : expect) EXPECT_EQ(r.hdr(uint32_t(e[0])), e[1]) << "offset " << e[0];
  for (int32_t i : {0, 1, 511, 1023}) {
    EXPECT_EQ(r.blk(i, kBlkIndex), i);
    EXPECT_EQ(r.blk(i, kBlkPrev), i - 1);
    EXPECT_EQ(r.blk(i, kBlkNext), i == 1023 ? -1 : i + 1);
  }
  ExpectConsistent();
}

TEST_F(XQueueEngineTest, MessagesFillBlocksAndChainWithBit31) {
  ASSERT_EQ(Write(Pattern(1000, 1)), kXqOk);
  EXPECT_EQ(r.hdr(kHdrFreeCount), 1023);
  EXPECT_EQ(r.blk(0, kBlkLength), 1000);
  EXPECT_EQ(r.blk(0, kBlkMessageId), 1);
  EXPECT_EQ(r.blk(0, kBlkThread), 77);

  ASSERT_EQ(Write(Pattern(1001, 2)), kXqOk);
  EXPECT_EQ(r.hdr(kHdrFreeCount), 1021);
  EXPECT_EQ(uint32_t(r.blk(1, kBlkLength)), 0x80000000u | 1000u);
  EXPECT_EQ(r.blk(2, kBlkLength), 1);
  EXPECT_EQ(r.blk(1, kBlkMessageId), 2);
  EXPECT_EQ(r.blk(2, kBlkMessageId), 2);
  EXPECT_EQ(r.blk(1, kBlkNext), 2);
  EXPECT_EQ(r.hdr(kHdrMessagesWritten), 2);
  EXPECT_EQ(r.hdr(kHdrLargestMessage), 1001);
  EXPECT_EQ(r.hdr(kHdrNextMessageId), 3);
  EXPECT_EQ(sync.notifies, 2);
  EXPECT_EQ(sync.turns_given, sync.turns_taken);
  ExpectConsistent();

  std::string got;
  int32_t id = 0;
  EXPECT_EQ(q.FirstMessageLength(), 1000u);
  ASSERT_EQ(Read(&got, 5000, &id), kXqOk);
  EXPECT_EQ(got, Pattern(1000, 1));
  EXPECT_EQ(id, 1);
  ASSERT_EQ(Read(&got, 5000, &id), kXqOk);
  EXPECT_EQ(got, Pattern(1001, 2));
  EXPECT_EQ(id, 2);
  EXPECT_EQ(r.hdr(kHdrMessagesRead), 2);
  EXPECT_EQ(r.hdr(kHdrFreeCount), 1024);
  EXPECT_EQ(Read(&got, 5000), kXqEmpty);
  ExpectConsistent();
}

TEST_F(XQueueEngineTest, WriteRefusesBadArgumentsAndMessagesThatCanNeverFit) {
  std::string big(kMaxWriteLength, 'x');
  EXPECT_EQ(q.Write(big.data(), kMaxWriteLength, sync), kXqBadArgument);
  EXPECT_EQ(q.Write(big.data(), kMaxWriteLength - 1, sync), kXqBadArgument);  // 1048 blocks
  EXPECT_EQ(q.Write(big.data(), 1030000, sync), kXqBadArgument);
  EXPECT_EQ(q.Write(nullptr, 10, sync), kXqBadArgument);
  EXPECT_EQ(q.Write(big.data(), 0, sync), kXqBadArgument);
  // Refused without waiting or taking the turn.
  EXPECT_EQ(sync.turns_taken, 0);
  EXPECT_EQ(sync.sleeps, 0);

  // Exactly the whole queue fits.
  ASSERT_EQ(q.Write(big.data(), 1024000, sync), kXqOk);
  EXPECT_EQ(r.hdr(kHdrFreeCount), 0);
  EXPECT_EQ(r.hdr(kHdrFreeHead), -1);
  EXPECT_EQ(r.hdr(kHdrFreeTail), -1);
  ExpectConsistent();
  std::string got;
  ASSERT_EQ(Read(&got, 1024000), kXqOk);
  EXPECT_EQ(got, big.substr(0, 1024000));
  ExpectConsistent();

  XQueueEngine closed;
  EXPECT_EQ(closed.Write("a", 1, sync), kXqNotOpen);
  r.hdr(kHdrCreators) = 0;
  EXPECT_EQ(q.Write("a", 1, sync), kXqNoCreator);
}

TEST_F(XQueueEngineTest, ReadEmptyShortBufferAndTrailingZeros) {
  std::string got;
  uint32_t len = 99;
  int32_t id = 99;
  char buf[20];
  EXPECT_EQ(q.Read(buf, &len, &id, nullptr, 100, sync), kXqEmpty);
  EXPECT_EQ(len, 0u);
  EXPECT_EQ(id, 0);
  EXPECT_EQ(q.Read(buf, nullptr, &id, nullptr, 100, sync), kXqBadArgument);
  EXPECT_EQ(q.Read(buf, &len, nullptr, nullptr, 100, sync), kXqBadArgument);

  const std::string msg = Pattern(2345, 3);
  ASSERT_EQ(Write(msg), kXqOk);
  ASSERT_EQ(Read(&got, 2344), kXqBufferTooSmall);
  EXPECT_EQ(got, msg.substr(0, 2344));    // buffer filled
  EXPECT_EQ(r.hdr(kHdrMessagesRead), 0);  // and the message still queued
  EXPECT_EQ(q.FirstMessageLength(), 2345u);

  // Without a buffer only the length is reported.
  len = 0;
  uint32_t thread = 0;
  EXPECT_EQ(q.Read(nullptr, &len, &id, &thread, 100, sync), kXqOk);
  EXPECT_EQ(len, 2345u);
  EXPECT_EQ(id, 1);
  EXPECT_EQ(thread, 77u);
  ASSERT_EQ(Read(&got, 2345), kXqOk);
  EXPECT_EQ(got, msg);

  ASSERT_EQ(Write("0123456789"), kXqOk);
  std::memset(buf, 0xAA, sizeof buf);
  len = sizeof buf;
  ASSERT_EQ(q.Read(buf, &len, &id, nullptr, 100, sync), kXqOk);
  EXPECT_EQ(len, 10u);
  EXPECT_EQ(std::string(buf, 10), "0123456789");
  for (int i = 10; i < 14; ++i) EXPECT_EQ(buf[i], 0) << i;
  for (int i = 14; i < 20; ++i) EXPECT_EQ(buf[i], char(0xAA)) << i;

  // Only as many zeros as the buffer holds.
  ASSERT_EQ(Write("0123456789"), kXqOk);
  std::memset(buf, 0xAA, sizeof buf);
  len = 12;
  ASSERT_EQ(q.Read(buf, &len, &id, nullptr, 100, sync), kXqOk);
  EXPECT_EQ(buf[11], 0);
  EXPECT_EQ(buf[12], char(0xAA));
}

TEST_F(XQueueEngineTest, WaitsAreBoundedAndTheTurnIsReturnedOnlyWhenTaken) {
  // Another writer holds the turn: time-out, and the turn is not ours to give.
  sync.turn_result = XQueueSync::kTimedOut;
  EXPECT_EQ(Write("abc"), kXqTimeout);
  EXPECT_EQ(sync.turns_given, 0);
  sync.turn_result = XQueueSync::kAcquired;

  // Mutex held elsewhere: time-out, nothing stored, turn handed back.
  sync.lock_result = XQueueSync::kTimedOut;
  EXPECT_EQ(Write("abc"), kXqTimeout);
  EXPECT_EQ(sync.turns_given, 1);
  EXPECT_EQ(sync.notifies, 0);
  EXPECT_EQ(r.hdr(kHdrUsedHead), -1);
  sync.lock_result = XQueueSync::kFailed;
  EXPECT_EQ(Write("abc"), kXqBrokenChain);
  EXPECT_EQ(sync.turns_given, 2);
  sync.lock_result = XQueueSync::kAcquired;

  // Not enough free blocks: 100 polls 1 ms apart, then time-out.
  std::string half(600000, 'h');
  ASSERT_EQ(Write(half), kXqOk);
  EXPECT_EQ(Write(half), kXqTimeout);
  EXPECT_EQ(sync.sleeps, kFreeBlockPolls);
  EXPECT_EQ(sync.turns_given, sync.turns_taken);
  EXPECT_EQ(sync.locks, sync.unlocks);

  // A read whose mutex wait times out has copied the data but keeps it queued.
  std::string got;
  sync.lock_result = XQueueSync::kTimedOut;
  EXPECT_EQ(Read(&got, 700000), kXqTimeout);
  EXPECT_EQ(q.FirstMessageLength(), 600000u);
  sync.lock_result = XQueueSync::kAcquired;
  ASSERT_EQ(Read(&got, 700000), kXqOk);
  EXPECT_EQ(got, half);
  EXPECT_EQ(Read(&got, 10), kXqEmpty);
  EXPECT_EQ(sync.locks, sync.unlocks);
  ExpectConsistent();
}

TEST_F(XQueueEngineTest, RandomisedAgainstADequeModel) {
  std::mt19937 rng(20150531);
  std::deque<std::string> model;
  int32_t free_blocks = kBlockCount;
  auto blocks = [](size_t n) { return int32_t(std::max<size_t>(1, (n + 999) / 1000)); };
  for (int step = 0; step < 4000; ++step) {
    if (rng() % 2 == 0) {
      size_t n;
      switch (rng() % 4) {
        case 0:
          n = 1 + rng() % 10;
          break;
        case 1:
          n = 990 + rng() % 20;
          break;
        case 2:
          n = 1 + rng() % 20000;
          break;
        default:
          n = 1 + rng() % 300000;
          break;
      }
      std::string s = Pattern(n, unsigned(step));
      int code = Write(s);
      if (blocks(n) <= free_blocks) {
        ASSERT_EQ(code, kXqOk) << step;
        model.push_back(s);
        free_blocks -= blocks(n);
      } else {
        ASSERT_EQ(code, kXqTimeout) << step;
      }
    } else if (rng() % 3 == 0) {
      // A batch: as many whole messages from the front as fit and are asked for.
      const uint32_t cap = 1 + rng() % 40000;
      const int max = 1 + int(rng() % 40);
      std::vector<std::string> got;
      const int code = ReadBatch(&got, cap, max);
      if (model.empty()) {
        ASSERT_EQ(code, kXqEmpty) << step;
        continue;
      }
      if (model.front().size() > cap) {
        ASSERT_EQ(code, kXqBufferTooSmall) << step;
        ASSERT_EQ(got.at(0).size(), model.front().size()) << step;
        continue;
      }
      ASSERT_EQ(code, kXqOk) << step;
      uint64_t at = 0;
      size_t expect = 0;
      while (expect < model.size() && int(expect) < max && at < cap &&
             model[expect].size() <= cap - at) {
        at = (at + model[expect].size() + 4 + 3) & ~uint64_t(3);
        ++expect;
      }
      ASSERT_EQ(got.size(), expect) << step;
      for (const std::string& m : got) {
        ASSERT_EQ(m, model.front()) << step;
        free_blocks += blocks(m.size());
        model.pop_front();
      }
    } else {
      std::string got;
      uint32_t cap = model.empty() ? 64 : uint32_t(model.front().size());
      bool short_buffer = !model.empty() && rng() % 8 == 0;
      if (short_buffer)
        cap -= 1;
      else if (rng() % 2)
        cap += rng() % 8;
      int code = Read(&got, cap);
      if (model.empty()) {
        ASSERT_EQ(code, kXqEmpty) << step;
      } else if (short_buffer) {
        ASSERT_EQ(code, kXqBufferTooSmall) << step;
      } else {
        ASSERT_EQ(code, kXqOk) << step;
        ASSERT_EQ(got, model.front()) << step;
        free_blocks += blocks(got.size());
        model.pop_front();
      }
    }
    ASSERT_EQ(r.hdr(kHdrFreeCount), free_blocks);
    if (step % 97 == 0) ExpectConsistent();
  }
  ExpectConsistent();
}

// Many messages, one take of the mutex; one that the other side broke after
// it was copied ends the batch, and only the messages before it go.
TEST_F(XQueueEngineTest, ReadBatchTakesTheMutexOnceAndStopsAtAMessageBrokenMeanwhile) {
  const std::vector<std::string> sent = {Pattern(10, 1), Pattern(1000, 2), Pattern(1001, 3),
                                         Pattern(3, 4), Pattern(2500, 5)};
  for (const std::string& m : sent) ASSERT_EQ(Write(m), kXqOk);
  std::vector<std::string> got;
  const int writes = sync.locks;
  ASSERT_EQ(ReadBatch(&got, 65536), kXqOk);
  EXPECT_EQ(got, sent);
  EXPECT_EQ(sync.locks - writes, 1);
  EXPECT_EQ(sync.unlocks, sync.locks);
  EXPECT_EQ(r.hdr(kHdrMessagesRead), 5);
  ExpectConsistent();

  // Refused mutex: copied, but all still queued.
  for (const std::string& m : sent) ASSERT_EQ(Write(m), kXqOk);
  sync.lock_result = XQueueSync::kTimedOut;
  EXPECT_EQ(ReadBatch(&got, 65536), kXqTimeout);
  EXPECT_TRUE(got.empty());
  sync.lock_result = XQueueSync::kAcquired;
  EXPECT_EQ(q.FirstMessageLength(), 10u);

  // A block of the third message is overwritten between copy and free.
  const int32_t third = r.blk(r.blk(r.hdr(kHdrUsedHead), kBlkNext), kBlkNext);
  sync.on_lock = [&] { r.blk(r.blk(third, kBlkNext), kBlkIndex) = 4000; };
  ASSERT_EQ(ReadBatch(&got, 65536), kXqOk);
  sync.on_lock = nullptr;
  EXPECT_EQ(got, std::vector<std::string>(sent.begin(), sent.begin() + 2));
  EXPECT_EQ(sync.locks, sync.unlocks);
  EXPECT_EQ(ReadBatch(&got, 65536), kXqBrokenChain);
  EXPECT_TRUE(got.empty());
}

// A region broken by the other side: each case gives code 3 (or an empty
// length) and, under the sanitizers, no access outside the region.
TEST_F(XQueueEngineTest, CorruptRegionsGiveCode3) {
  std::string got;
  ASSERT_EQ(Write(Pattern(2500, 4)), kXqOk);  // blocks 0, 1, 2

  r.blk(0, kBlkIndex) = 5;  // index field disagrees with position
  EXPECT_EQ(Read(&got, 5000), kXqBrokenChain);
  EXPECT_EQ(q.FirstMessageLength(), 0u);
  r.blk(0, kBlkIndex) = 0;

  r.blk(1, kBlkNext) = 1 << 30;  // link out of range
  EXPECT_EQ(Read(&got, 5000), kXqBrokenChain);
  r.blk(1, kBlkNext) = -7;
  EXPECT_EQ(Read(&got, 5000), kXqBrokenChain);
  r.blk(1, kBlkNext) = 0;  // cycle 0 -> 1 -> 0, bit 31 on both
  EXPECT_EQ(Read(&got, 5000), kXqBrokenChain);
  EXPECT_EQ(q.FirstMessageLength(), 0u);
  r.blk(1, kBlkNext) = 2;

  r.blk(1, kBlkLength) = int32_t(0xffffffffu);  // huge length, continues
  EXPECT_EQ(Read(&got, 5000), kXqBrokenChain);
  uint32_t len = 0;
  int32_t id = 0;
  EXPECT_EQ(q.Read(nullptr, &len, &id, nullptr, 100, sync), kXqOk);
  EXPECT_EQ(len, 0u);  // length query of a broken chain: nothing to allocate for
  r.blk(1, kBlkLength) = int32_t(0x80000000u | 1000u);

  r.hdr(kHdrUsedHead) = 4096;
  EXPECT_EQ(Read(&got, 5000), kXqBrokenChain);
  r.hdr(kHdrUsedHead) = 0;
  ASSERT_EQ(Read(&got, 5000), kXqOk);  // repaired: reads normally
  EXPECT_EQ(got, Pattern(2500, 4));

  // Free list broken for a writer: nothing is taken, the queue stays as it was.
  const int32_t head = r.hdr(kHdrFreeHead);
  r.blk(head, kBlkNext) = head;  // a one-block circle
  EXPECT_EQ(Write(Pattern(1500, 5)), kXqBrokenChain);
  EXPECT_EQ(r.hdr(kHdrUsedHead), -1);
  EXPECT_EQ(r.hdr(kHdrFreeHead), head);
  r.blk(head, kBlkNext) = head + 1;
  r.hdr(kHdrFreeHead) = -3;
  EXPECT_EQ(Write("x"), kXqBrokenChain);
  r.hdr(kHdrFreeHead) = -1;
  EXPECT_EQ(Write("x"), kXqNoFreeBlock);
  r.hdr(kHdrFreeHead) = head;
  r.hdr(kHdrUsedTail) = 1 << 20;
  EXPECT_EQ(Write("x"), kXqBrokenChain);
  r.hdr(kHdrUsedTail) = -1;
  EXPECT_EQ(Write("x"), kXqOk);
  EXPECT_EQ(sync.turns_given, sync.turns_taken);
  EXPECT_EQ(sync.locks, sync.unlocks);
}

TEST_F(XQueueEngineTest, AttachChecksTheGeometryWrittenByTheCreator) {
  XQueueEngine opener;
  ASSERT_TRUE(opener.Attach(r.data(), kRegionSize));
  EXPECT_EQ(opener.geometry().block_count, kBlockCount);
  EXPECT_EQ(opener.geometry().payload, kPayloadSize);
  opener.AddOpener();
  EXPECT_EQ(r.hdr(kHdrOpeners), 1);
  opener.DropAttach(false);
  opener.DropAttach(false);
  EXPECT_EQ(r.hdr(kHdrOpeners), 0);  // never below zero

  // A message written by one side is read by the other.
  ASSERT_EQ(Write("hello"), kXqOk);
  char buf[16];
  uint32_t len = sizeof buf;
  int32_t id = 0;
  ASSERT_EQ(opener.Read(buf, &len, &id, nullptr, 100, sync), kXqOk);
  EXPECT_EQ(std::string(buf, len), "hello");

  XQueueEngine bad;
  r.hdr(kHdrBlockCount) = 100000;  // more blocks than the mapping holds
  r.hdr(kHdrPages) = 100001;
  EXPECT_FALSE(bad.Attach(r.data(), kRegionSize));
  r.hdr(kHdrBlockCount) = 1024;
  r.hdr(kHdrPages) = 1000;  // pages disagree with the block count
  EXPECT_FALSE(bad.Attach(r.data(), kRegionSize));
  r.hdr(kHdrPages) = 1025;
  r.hdr(kHdrPayload) = 1020;  // payload overlapping the block header
  EXPECT_FALSE(bad.Attach(r.data(), kRegionSize));
  r.hdr(kHdrPayload) = 1000;
  EXPECT_FALSE(bad.Attach(r.data(), kRegionSize - 1));
  EXPECT_TRUE(bad.Attach(r.data(), kRegionSize));
}

// Header values at the ends of int32, as another program or 2^31 messages
// leave them: the engine's arithmetic stays defined, counts stay within
// 0 .. block count, statistics wrap, and the message id after 0x7fffffff is 1.
TEST_F(XQueueEngineTest, HeaderValuesAtTheirLimits) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  r.hdr(kHdrNextMessageId) = kMax;
  r.hdr(kHdrMessagesWritten) = kMax;
  r.hdr(kHdrUsedCount) = kMax;
  ASSERT_EQ(Write("last"), kXqOk);
  EXPECT_EQ(r.hdr(kHdrNextMessageId), 1);
  EXPECT_EQ(r.hdr(kHdrMessagesWritten), kMin);
  EXPECT_EQ(r.hdr(kHdrUsedCount), kBlockCount);
  r.hdr(kHdrUsedCount) = 1;
  ASSERT_EQ(Write("first"), kXqOk);
  EXPECT_EQ(r.hdr(kHdrNextMessageId), 2);
  r.hdr(kHdrNextMessageId) = -7;  // not an id: the next one is 1
  ASSERT_EQ(Write("again"), kXqOk);
  EXPECT_EQ(r.hdr(kHdrNextMessageId), 1);

  std::string got;
  int32_t id = 0;
  r.hdr(kHdrMessagesRead) = kMax;
  r.hdr(kHdrFreeCount) = kMax;
  ASSERT_EQ(Read(&got, 64, &id), kXqOk);
  EXPECT_EQ(got, "last");
  EXPECT_EQ(id, kMax);
  EXPECT_EQ(r.hdr(kHdrMessagesRead), kMin);
  EXPECT_EQ(r.hdr(kHdrFreeCount), kBlockCount);
  r.hdr(kHdrFreeCount) = kBlockCount - 2;  // back to the truth: two messages left
  r.hdr(kHdrUsedCount) = kMin;
  ASSERT_EQ(Read(&got, 64, &id), kXqOk);
  EXPECT_EQ(got, "first");
  EXPECT_EQ(id, 1);
  EXPECT_EQ(r.hdr(kHdrUsedCount), 0);
  r.hdr(kHdrUsedCount) = 1;
  ASSERT_EQ(Read(&got, 64, &id), kXqOk);
  EXPECT_EQ(id, -7);
  ExpectConsistent();

  XQueueEngine opener;
  r.hdr(kHdrBlockCount) = kMax;
  r.hdr(kHdrPages) = kMin;
  EXPECT_FALSE(opener.Attach(r.data(), kRegionSize));
}

// Writer and reader on two threads with a real mutex: every message arrives
// once, whole and in order.
class ThreadSync : public XQueueSync {
 public:
  Wait WaitWriteTurn(uint32_t) override {
    turn_.lock();
    return kAcquired;
  }
  void GiveWriteTurn() override { turn_.unlock(); }
  Wait LockQueue(uint32_t) override {
    mutex_.lock();
    return kAcquired;
  }
  void UnlockQueue() override { mutex_.unlock(); }
  void NotifyReader() override {}
  void SleepMs(uint32_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
  uint32_t CurrentThreadId() override { return 1; }

 private:
  std::mutex turn_;
  std::mutex mutex_;
};

TEST(XQueueEngineThreads, ConcurrentWriterAndReaderKeepOrder) {
  Region r;
  XQueueEngine writer, reader;
  ASSERT_TRUE(writer.Format(r.data(), kRegionSize, 1));
  ASSERT_TRUE(reader.Attach(r.data(), kRegionSize));
  ThreadSync sync;
  const int kMessages = 3000;
  std::thread t([&] {
    for (int i = 0; i < kMessages; ++i) {
      std::string s = Pattern(1 + (i * 7919) % 60000, unsigned(i));
      while (writer.Write(s.data(), uint32_t(s.size()), sync) != kXqOk) {
      }
    }
  });
  std::vector<char> buf(70000);
  int next = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (next < kMessages && std::chrono::steady_clock::now() < deadline) {
    // As the channel does: a length of 0 means nothing yet, or a message
    // still being stored.
    if (reader.FirstMessageLength() == 0) {
      std::this_thread::yield();
      continue;
    }
    uint32_t len = uint32_t(buf.size());
    int32_t id = 0;
    ASSERT_EQ(reader.Read(buf.data(), &len, &id, nullptr, 100, sync), kXqOk);
    ASSERT_EQ(std::string(buf.data(), len), Pattern(1 + (next * 7919) % 60000, unsigned(next)));
    ASSERT_EQ(id, next + 1);
    ++next;
  }
  t.join();
  EXPECT_EQ(next, kMessages);
}

}  // namespace

// The game maps the region too and need not take the queue mutex: a link may
// change between any two loads. A thread flips one block's next link to a
// block far outside the region and back for as long as the engine holds the
// lock; whatever it sees, the engine must store only inside the region (the
// canary after it stays whole) and answer with a code.
class FlippingSync final : public XQueueSync {
 public:
  explicit FlippingSync(int32_t wild) : wild_(wild) {}
  // The link to flip during the next lock, or null for none.
  void Target(int32_t* link) { target_ = link; }

  Wait WaitWriteTurn(uint32_t) override { return kAcquired; }
  void GiveWriteTurn() override {}
  Wait LockQueue(uint32_t) override {
    if (target_ != nullptr) flipper_.Begin(target_, wild_);
    return kAcquired;
  }
  void UnlockQueue() override {
    if (target_ != nullptr) flipper_.End();
  }
  void NotifyReader() override {}
  void SleepMs(uint32_t) override {}
  uint32_t CurrentThreadId() override { return 9; }

 private:
  const int32_t wild_;
  int32_t* target_ = nullptr;
  WordFlipper flipper_;
};

TEST(XQueueEngineHostilePeer, LinksChangedUnderTheLockNeverMoveStoresOutsideTheRegion) {
  // Room up to block 2047 after the region: a store through block 2000 lands
  // in the canary instead of in someone else's memory.
  constexpr int32_t kWild = 2000;
  constexpr size_t kSpan = size_t(2049) * kBlockSize;
  std::vector<uint32_t> words(kSpan / 4);
  unsigned char* base = reinterpret_cast<unsigned char*>(words.data());
  std::memset(base + kRegionSize, 0x5A, kSpan - kRegionSize);
  auto canary_whole = [&] {
    for (size_t i = kRegionSize; i < kSpan; ++i) {
      if (base[i] != 0x5A) return false;
    }
    return true;
  };
  auto link = [&](int32_t block) {
    return reinterpret_cast<int32_t*>(base + size_t(kBlockSize) * size_t(block + 1) + kBlkNext);
  };

  FlippingSync sync(kWild);
  XQueueEngine q;
  const std::string message = Pattern(1500, 3);  // two blocks
  std::vector<char> buf(4000);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(6);
  int round = 0;
  for (; round < 2000 && std::chrono::steady_clock::now() < deadline; ++round) {
    ASSERT_TRUE(q.Format(base, kRegionSize, 1));
    // Writing: the free list's first link flips while the blocks are taken.
    sync.Target(link(0));
    const int wrote = q.Write(message.data(), uint32_t(message.size()), sync);
    ASSERT_TRUE(wrote == kXqOk || wrote == kXqBrokenChain) << wrote;
    ASSERT_TRUE(canary_whole()) << "write, round " << round;
    if (wrote != kXqOk) continue;
    // Reading: the message's first link flips while its blocks are freed.
    sync.Target(link(q.LoadHeader(kHdrUsedHead)));
    uint32_t len = uint32_t(buf.size());
    int32_t id = 0;
    const int read = q.Read(buf.data(), &len, &id, nullptr, 100, sync);
    ASSERT_TRUE(read == kXqOk || read == kXqBrokenChain) << read;
    ASSERT_TRUE(canary_whole()) << "read, round " << round;
    if (read == kXqOk) EXPECT_EQ(std::string(buf.data(), len), message);
    sync.Target(nullptr);
  }
  EXPECT_GT(round, 50) << "rounds in the time";
}

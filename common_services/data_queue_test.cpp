#include "common_services/include/zintal/data_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <deque>
#include <new>
#include <random>
#include <string>
#include <vector>

namespace {

// While set, every nothrow array allocation (the queue's only way to get
// storage) fails.
std::atomic<bool> g_refuse_storage{false};

}  // namespace

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  if (g_refuse_storage) return nullptr;
  try {
    return ::operator new[](size);
  } catch (...) {
    return nullptr;
  }
}

namespace {

tagFileHead HeadOf(CDataQueue& q) {
  tagFileHead h;
  q.GetFileData(h);
  return h;
}

std::string Take(CDataQueue& q, uint16_t* id = nullptr) {
  tagDataHead head{};
  static char buf[65535];
  if (!q.GetData(head, buf, sizeof buf)) return "<none>";
  if (id != nullptr) *id = head.identifier;
  return std::string(buf, head.data_size);
}

bool Put(CDataQueue& q, uint16_t id, const std::string& data) {
  return q.InsertData(id, data.data(), static_cast<uint16_t>(data.size()));
}

void ExpectEmptyWithoutStorage(CDataQueue& q) {
  tagBurthenInfo info;
  EXPECT_TRUE(q.GetBurthenInfo(info));
  EXPECT_EQ(info.used_bytes, 0u);
  EXPECT_EQ(info.capacity, 0u);
  EXPECT_EQ(info.packet_count, 0u);
  tagFileHead h;
  EXPECT_EQ(q.GetFileData(h), nullptr);
  tagDataHead head{};
  EXPECT_FALSE(q.GetData(head, nullptr, 0));
}

TEST(DataQueue, FirstInsertGrowsByTheMinimumAndCounts) {
  CDataQueue q;
  ASSERT_TRUE(Put(q, 7, "0123456789"));
  tagFileHead h = HeadOf(q);
  EXPECT_EQ(h.capacity, 102400u);
  EXPECT_EQ(h.used_bytes, 14u);
  EXPECT_EQ(h.write_pos, 14u);
  EXPECT_EQ(h.wrap_end, 14u);
  EXPECT_EQ(h.read_pos, 0u);
  EXPECT_EQ(h.packet_count, 1u);

  uint16_t id = 0;
  EXPECT_EQ(Take(q, &id), "0123456789");
  EXPECT_EQ(id, 7);

  // A packet bigger than a tenth of the minimum grows by its own size times ten.
  CDataQueue big;
  ASSERT_TRUE(Put(big, 8, std::string(65535, 'x')));
  EXPECT_EQ(HeadOf(big).capacity, (65535u + 4u) * 10u);
  EXPECT_EQ(Take(big, &id), std::string(65535, 'x'));
  EXPECT_EQ(id, 8);
}

TEST(DataQueue, EmptyAndZeroSizeAndTooSmallDestinations) {
  CDataQueue q;
  tagDataHead head{0xAAAA, 0xBBBB};
  char dest[8];
  std::memset(dest, 'z', sizeof dest);
  EXPECT_FALSE(q.GetData(head, dest, sizeof dest));
  EXPECT_EQ(head.data_size, 0xAAAA);  // untouched
  EXPECT_EQ(head.identifier, 0xBBBB);

  ASSERT_TRUE(q.InsertData(3, nullptr, 0));
  EXPECT_EQ(HeadOf(q).used_bytes, 4u);
  ASSERT_TRUE(q.GetData(head, dest, sizeof dest));
  EXPECT_EQ(head.data_size, 0);
  EXPECT_EQ(head.identifier, 3);
  EXPECT_EQ(std::string(dest, sizeof dest), std::string(8, 'z'));
  EXPECT_FALSE(q.GetData(head, dest, sizeof dest));  // empty with storage
  EXPECT_FALSE(q.InsertData(1, nullptr, 5));         // no data behind a size

  // Too small: PreGetData reports size 0 and keeps it; GetData loses it.
  ASSERT_TRUE(Put(q, 4, "twelve bytes"));
  ASSERT_TRUE(Put(q, 5, "next"));
  ASSERT_TRUE(q.PreGetData(head, dest, sizeof dest));
  EXPECT_EQ(head.data_size, 0);
  EXPECT_EQ(HeadOf(q).packet_count, 2u);
  ASSERT_TRUE(q.GetData(head, dest, sizeof dest));
  EXPECT_EQ(head.data_size, 0);
  EXPECT_EQ(head.identifier, 4);
  EXPECT_EQ(HeadOf(q).used_bytes, 8u);  // taken by its stored size
  EXPECT_EQ(Take(q), "next");
}

// Fills the first storage (102400 bytes) with packets of 1020 data bytes
// (1024 in the queue) up to `count`.
void Fill(CDataQueue& q, int count) {
  for (int i = 0; i < count; ++i)
    ASSERT_TRUE(Put(q, static_cast<uint16_t>(i), std::string(1020, char('a' + i % 26))));
}

TEST(DataQueue, WrapsToTheFrontAndTheReaderFollows) {
  CDataQueue q;
  Fill(q, 100);  // 102400 bytes: the tail is full
  ASSERT_EQ(HeadOf(q).capacity, 102400u);
  for (int i = 0; i < 2; ++i) Take(q);  // 2048 bytes free in front

  ASSERT_TRUE(Put(q, 500, std::string(1000, 'W')));  // need 1004 < 2048
  tagFileHead h = HeadOf(q);
  EXPECT_EQ(h.capacity, 102400u);
  EXPECT_EQ(h.write_pos, 1004u);
  EXPECT_EQ(h.wrap_end, 102400u);
  EXPECT_EQ(h.read_pos, 2048u);

  for (int i = 2; i < 100; ++i) {
    uint16_t id = 0;
    ASSERT_EQ(Take(q, &id), std::string(1020, char('a' + i % 26)));
    ASSERT_EQ(id, i);
  }
  uint16_t id = 0;
  EXPECT_EQ(Take(q, &id), std::string(1000, 'W'));
  EXPECT_EQ(id, 500);
  h = HeadOf(q);
  EXPECT_EQ(h.read_pos, 1004u);
  EXPECT_EQ(h.wrap_end, 1004u);  // flat again
}

TEST(DataQueue, PreGetDataAtTheWrapEndMovesTheReaderToTheFront) {
  CDataQueue q;
  Fill(q, 100);
  for (int i = 0; i < 2; ++i) Take(q);
  ASSERT_TRUE(Put(q, 500, "front"));      // wraps: written at offset 0
  for (int i = 2; i < 100; ++i) Take(q);  // the reader stops at the wrap end
  tagFileHead h = HeadOf(q);
  ASSERT_EQ(h.read_pos, h.wrap_end);
  ASSERT_EQ(h.read_pos, h.capacity);

  tagDataHead head{};
  char buf[16];
  ASSERT_TRUE(q.PreGetData(head, buf, sizeof buf));
  EXPECT_EQ(head.identifier, 500);
  EXPECT_EQ(std::string(buf, head.data_size), "front");
  h = HeadOf(q);
  EXPECT_EQ(h.read_pos, 0u);  // moved to the front, nothing taken
  EXPECT_EQ(h.wrap_end, 9u);
  EXPECT_EQ(h.packet_count, 1u);
  EXPECT_EQ(Take(q), "front");
  EXPECT_EQ(Take(q), "<none>");
}

TEST(DataQueue, RemoveDataKeepsOrFreesTheStorage) {
  CDataQueue q;
  Fill(q, 3);
  q.RemoveData(false);
  tagBurthenInfo info;
  q.GetBurthenInfo(info);
  EXPECT_EQ(info.used_bytes, 0u);
  EXPECT_EQ(info.capacity, 102400u);
  EXPECT_EQ(info.packet_count, 0u);
  tagFileHead h;
  EXPECT_NE(q.GetFileData(h), nullptr);
  EXPECT_EQ(h.write_pos + h.wrap_end + h.read_pos, 0u);
  EXPECT_EQ(Take(q), "<none>");
  ASSERT_TRUE(Put(q, 1, "again"));  // at the front of the kept storage
  EXPECT_EQ(HeadOf(q).capacity, 102400u);
  EXPECT_EQ(HeadOf(q).write_pos, 9u);
  EXPECT_EQ(Take(q), "again");

  q.RemoveData(true);
  ExpectEmptyWithoutStorage(q);
}

// No memory to grow: InsertData says false and the queue is as it was, in
// both shapes; once memory is there again the insert goes through.
TEST(DataQueue, AFailedGrowthLeavesTheQueueAsItWas) {
  for (bool wrapped : {false, true}) {
    SCOPED_TRACE(wrapped ? "wrapped" : "flat");
    CDataQueue q;
    Fill(q, 100);
    Take(q);  // 1024 bytes free in front: too few for the big packet below
    if (wrapped) {
      ASSERT_TRUE(Put(q, 700, "front"));
    }
    const tagFileHead before = HeadOf(q);
    ASSERT_EQ(before.write_pos < before.read_pos, wrapped);
    tagFileHead h;
    const char* storage = static_cast<const char*>(q.GetFileData(h));
    const std::vector<char> bytes(storage, storage + before.wrap_end);

    g_refuse_storage = true;
    const bool inserted = Put(q, 800, std::string(2000, 'B'));
    g_refuse_storage = false;
    EXPECT_FALSE(inserted);
    const tagFileHead after = HeadOf(q);
    EXPECT_EQ(std::memcmp(&before, &after, sizeof before), 0);
    EXPECT_EQ(q.GetFileData(h), storage);
    EXPECT_EQ(std::memcmp(storage, bytes.data(), bytes.size()), 0);

    ASSERT_TRUE(Put(q, 800, std::string(2000, 'B')));
    for (int i = 1; i < 100; ++i) ASSERT_EQ(Take(q), std::string(1020, char('a' + i % 26)));
    if (wrapped) {
      EXPECT_EQ(Take(q), "front");
    }
    EXPECT_EQ(Take(q), std::string(2000, 'B'));
    EXPECT_EQ(Take(q), "<none>");
  }
}

TEST(DataQueue, AnExactFitGapGrowsInsteadOfFilling) {
  {  // flat: need equals the free bytes in front of the read position
    CDataQueue q;
    Fill(q, 100);
    Take(q);  // read position 1024
    ASSERT_TRUE(Put(q, 1, std::string(1020, 'g')));
    tagFileHead h = HeadOf(q);
    EXPECT_EQ(h.capacity, 2u * 102400u);
    EXPECT_EQ(h.read_pos, 0u);
    EXPECT_EQ(h.write_pos, 100u * 1024u);
  }
  {  // wrapped: need equals the gap between write and read position
    CDataQueue q;
    Fill(q, 100);
    for (int i = 0; i < 3; ++i) Take(q);             // read position 3072
    ASSERT_TRUE(Put(q, 1, std::string(1020, 'g')));  // wraps: write 1024
    ASSERT_EQ(HeadOf(q).capacity, 102400u);
    ASSERT_TRUE(Put(q, 2, std::string(1020, 'h')));  // gap 2048 > 1024: fits
    ASSERT_EQ(HeadOf(q).capacity, 102400u);
    ASSERT_TRUE(Put(q, 3, std::string(1020, 'i')));  // gap 1024 == need: grows
    tagFileHead h = HeadOf(q);
    EXPECT_EQ(h.capacity, 2u * 102400u);
    EXPECT_EQ(h.used_bytes, 100u * 1024u);
    // Oldest first across the regrouping.
    for (int i = 3; i < 100; ++i) ASSERT_EQ(Take(q), std::string(1020, char('a' + i % 26)));
    EXPECT_EQ(Take(q), std::string(1020, 'g'));
    EXPECT_EQ(Take(q), std::string(1020, 'h'));
    EXPECT_EQ(Take(q), std::string(1020, 'i'));
    EXPECT_EQ(Take(q), "<none>");
  }
}

// A long random run against a plain model queue, with copies and snapshot
// restores in between: every packet comes out once, in order, intact.
TEST(DataQueue, RandomRunMatchesAModelQueue) {
  std::mt19937 rng(20261209);
  std::deque<std::pair<uint16_t, std::string>> model;
  CDataQueue q;
  uint16_t next_id = 0;
  int wrapped_steps = 0;
  for (int step = 0; step < 20000; ++step) {
    const unsigned r = rng() % 100;
    if (r < 52) {
      // Mostly small packets, now and then a big one, so that the queue
      // grows, wraps and grows again while wrapped.
      size_t size = rng() % 8 == 0 ? rng() % 65536 : rng() % 300;
      std::string data(size, '\0');
      for (auto& c : data) c = static_cast<char>(rng());
      ASSERT_TRUE(Put(q, next_id, data));
      model.emplace_back(next_id++, std::move(data));
    } else if (r < 97) {
      uint16_t id = 0;
      std::string got = Take(q, &id);
      if (model.empty()) {
        ASSERT_EQ(got, "<none>");
        continue;
      }
      ASSERT_EQ(id, model.front().first) << "step " << step;
      ASSERT_EQ(got, model.front().second) << "step " << step;
      model.pop_front();
    } else if (r < 98 && step % 10 == 0) {
      CDataQueue copy(q);
      q = copy;  // the original's storage is replaced by the copy's copy
    } else if (step % 10 == 0) {
      tagFileHead h;
      const void* bytes = q.GetFileData(h);
      std::vector<char> saved(static_cast<const char*>(bytes),
                              static_cast<const char*>(bytes) + (bytes ? h.wrap_end : 0));
      CDataQueue restored;
      restored.SetFileData(h, bytes ? saved.data() : nullptr);
      ASSERT_EQ(HeadOf(restored).packet_count, model.size());
      q = restored;
    }
    tagBurthenInfo info;
    q.GetBurthenInfo(info);
    ASSERT_EQ(info.packet_count, model.size());
    const tagFileHead h = HeadOf(q);
    wrapped_steps += h.write_pos < h.read_pos;
  }
  EXPECT_GT(wrapped_steps, 1000);  // the run did exercise the wrapped shape
}

TEST(DataQueue, SnapshotRoundTripThroughAFile) {
  CDataQueue q;
  Fill(q, 100);
  for (int i = 0; i < 5; ++i) Take(q);
  ASSERT_TRUE(Put(q, 900, "front"));  // wrapped: both parts hold packets
  tagFileHead h;
  const void* bytes = q.GetFileData(h);
  ASSERT_LT(h.write_pos, h.read_pos);

  std::FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(std::fwrite(&h, sizeof h, 1, f), 1u);
  ASSERT_EQ(std::fwrite(bytes, 1, h.wrap_end, f), h.wrap_end);
  std::rewind(f);
  tagFileHead read_head;
  ASSERT_EQ(std::fread(&read_head, sizeof read_head, 1, f), 1u);
  std::vector<char> read_bytes(read_head.wrap_end);
  ASSERT_EQ(std::fread(read_bytes.data(), 1, read_bytes.size(), f), read_bytes.size());
  std::fclose(f);

  CDataQueue restored;
  restored.SetFileData(read_head, read_bytes.data());
  for (int i = 5; i < 100; ++i) ASSERT_EQ(Take(restored), Take(q));
  uint16_t id = 0;
  EXPECT_EQ(Take(restored, &id), "front");
  EXPECT_EQ(id, 900);
  EXPECT_EQ(Take(restored), "<none>");
}

// The storage GetFileData lends out, handed straight back to the same
// queue, restores what the queue held: flat, wrapped, and with the storage
// freed by the restore itself (ASan sees any read of it).
TEST(DataQueue, RestoringTheQueuesOwnSnapshotKeepsItsPackets) {
  CDataQueue flat;
  ASSERT_TRUE(Put(flat, 1, "abc"));
  ASSERT_TRUE(Put(flat, 2, "defgh"));
  CDataQueue wrapped;
  Fill(wrapped, 100);
  for (int i = 0; i < 5; ++i) Take(wrapped);
  ASSERT_TRUE(Put(wrapped, 900, "front"));
  ASSERT_LT(HeadOf(wrapped).write_pos, HeadOf(wrapped).read_pos);

  for (CDataQueue* q : {&flat, &wrapped}) {
    CDataQueue before(*q);
    tagFileHead h;
    const void* own = q->GetFileData(h);
    q->SetFileData(h, own);
    const tagFileHead after = HeadOf(*q);
    EXPECT_EQ(std::memcmp(&after, &h, sizeof h), 0);
    for (uint32_t i = 0; i < h.packet_count; ++i) {
      uint16_t id = 0, want_id = 0;
      ASSERT_EQ(Take(*q, &id), Take(before, &want_id)) << i;
      EXPECT_EQ(id, want_id);
    }
    EXPECT_EQ(Take(*q), "<none>");
  }
}

// A snapshot that does not fit its capacity or whose packets do not add up
// is refused: the queue stays empty and usable.
TEST(DataQueue, SnapshotsThatDoNotAddUpAreRefused) {
  CDataQueue source;
  ASSERT_TRUE(Put(source, 1, "abc"));
  ASSERT_TRUE(Put(source, 2, "defgh"));
  tagFileHead good;
  const char* p = static_cast<const char*>(source.GetFileData(good));
  std::vector<char> bytes(p, p + good.wrap_end);

  struct Case {
    const char* what;
    void (*spoil)(tagFileHead&, std::vector<char>&);
  };
  const Case cases[] = {
      {"write past capacity",
       [](tagFileHead& h, std::vector<char>&) { h.capacity = h.wrap_end - 4; }},
      {"read past wrap end",
       [](tagFileHead& h, std::vector<char>&) { h.read_pos = h.wrap_end + 4; }},
      {"flat with a wrap end beyond the write position",
       [](tagFileHead& h, std::vector<char>&) { h.wrap_end += 4; }},
      {"used bytes off", [](tagFileHead& h, std::vector<char>&) { h.used_bytes += 1; }},
      {"count off", [](tagFileHead& h, std::vector<char>&) { h.packet_count = 3; }},
      {"a packet longer than the chain", [](tagFileHead&, std::vector<char>& b) { b[0] = 100; }},
      {"a packet ending short of the write position",
       [](tagFileHead&, std::vector<char>& b) { b[0] = 2; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    tagFileHead h = good;
    std::vector<char> b = bytes;
    c.spoil(h, b);
    CDataQueue q;
    ASSERT_TRUE(Put(q, 9, "old"));
    q.SetFileData(h, b.data());
    ExpectEmptyWithoutStorage(q);
    ASSERT_TRUE(Put(q, 10, "new"));
    EXPECT_EQ(Take(q), "new");
  }

  CDataQueue q;
  q.SetFileData(good, nullptr);  // packets claimed, no bytes
  ExpectEmptyWithoutStorage(q);
  tagFileHead empty = {0, 4096, 40, 40, 40, 0};
  q.SetFileData(empty, nullptr);  // an empty queue with storage
  tagBurthenInfo info;
  q.GetBurthenInfo(info);
  EXPECT_EQ(info.capacity, 4096u);
  EXPECT_EQ(Take(q), "<none>");
  ASSERT_TRUE(Put(q, 1, "x"));
  EXPECT_EQ(Take(q), "x");
}

TEST(DataQueue, CopiesOwnTheirStorage) {
  CDataQueue a;
  ASSERT_TRUE(Put(a, 1, "one"));
  CDataQueue b(a);
  ASSERT_TRUE(Put(a, 2, "two"));
  EXPECT_NE(HeadOf(a).packet_count, HeadOf(b).packet_count);
  EXPECT_EQ(Take(b), "one");
  EXPECT_EQ(Take(b), "<none>");
  b = a;
  a.RemoveData(true);
  EXPECT_EQ(Take(b), "one");
  EXPECT_EQ(Take(b), "two");
}

}  // namespace

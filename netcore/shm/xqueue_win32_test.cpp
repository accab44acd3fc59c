#include "netcore/shm/xqueue.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

using namespace xqueue;

namespace {

// A name no other test (or earlier run) uses.
std::string Unique(const char* stem) {
  static int counter = 0;
  return std::string(stem) + "_" + std::to_string(GetCurrentProcessId()) + "_" +
         std::to_string(++counter);
}

std::string Upper(std::string s) {
  for (char& c : s) c = char(toupper(static_cast<unsigned char>(c)));
  return s;
}

// The raw header of a region, mapped by the literal name a peer would use.
struct RawView {
  HANDLE mapping = nullptr;
  int32_t* words = nullptr;
  explicit RawView(const std::string& region) {
    mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, region.c_str());
    if (mapping) words = static_cast<int32_t*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
  }
  ~RawView() {
    if (words) UnmapViewOfFile(words);
    if (mapping) CloseHandle(mapping);
  }
  int32_t& at(uint32_t offset) { return words[offset / 4]; }
};

TEST(XQueueNamesTest, PrefixesCaseAndBackslashes) {
  XQueueNames n = MakeXQueueNames("cs20151234_5_s");
  EXPECT_EQ(n.queue, "kv_31526_queue_cs20151234_5_s");
  EXPECT_EQ(n.region, "KV_31526_QUEUE_CS20151234_5_S");
  EXPECT_EQ(n.mutex, "kv_31526_mutex_write_kv_31526_queue_cs20151234_5_s");
  EXPECT_EQ(n.notify, "kv_31526_server_notify_kv_31526_queue_cs20151234_5_s");
  EXPECT_EQ(n.write_turn, "kv_31526_client_write_event_kv_31526_queue_cs20151234_5_s");

  n = MakeXQueueNames("a\\b");
  EXPECT_EQ(n.region, "KV_31526_QUEUE_A_B");
  EXPECT_EQ(n.mutex, "kv_31526_mutex_write_kv_31526_queue_a\\b");

  n = MakeXQueueNames(std::string(600, 'x').c_str());
  EXPECT_EQ(n.queue.size(), 519u);
  EXPECT_EQ(n.region.size(), 519u);

  if (GetACP() == 936) {
    // "\xD5\x5C" and "\xB0\x61" are single characters of code page 936:
    // neither trail byte is a backslash or a letter.
    n = MakeXQueueNames("\xD5\x5C\xB0\x61z");
    EXPECT_EQ(n.region, "KV_31526_QUEUE_\xD5\x5C\xB0\x61Z");
  }
}

TEST(XQueueTest, CreateMakesTheNamedObjectsAndLayout) {
  const std::string name = Unique("layout");
  CXQueue q;
  ASSERT_EQ(q.Create(name.c_str()), kXqOk);
  const std::string Q = "kv_31526_queue_" + name;
  RawView raw(Upper(Q));
  ASSERT_NE(raw.words, nullptr);
  EXPECT_EQ(raw.at(0), 1024);  // the rest of the layout: xqueue_engine_test
  EXPECT_EQ(uint32_t(raw.at(32)), GetCurrentThreadId());

  HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, ("kv_31526_mutex_write_" + Q).c_str());
  HANDLE notify =
      OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE, ("kv_31526_server_notify_" + Q).c_str());
  HANDLE turn = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE,
                           ("kv_31526_client_write_event_" + Q).c_str());
  ASSERT_NE(mutex, nullptr);
  ASSERT_NE(notify, nullptr);
  ASSERT_NE(turn, nullptr);
  EXPECT_EQ(WaitForSingleObject(notify, 0), DWORD(WAIT_TIMEOUT));  // created clear
  EXPECT_EQ(WaitForSingleObject(turn, 0), WAIT_OBJECT_0);          // created set
  SetEvent(turn);
  EXPECT_EQ(WaitForSingleObject(mutex, 0), WAIT_OBJECT_0);  // not owned
  ReleaseMutex(mutex);

  ASSERT_EQ(q.Write("hello", 5), kXqOk);
  EXPECT_EQ(WaitForSingleObject(notify, 0), WAIT_OBJECT_0);  // reader told
  EXPECT_EQ(raw.at(1024 + 16), 5);                           // block 0 length
  EXPECT_EQ(std::string(reinterpret_cast<char*>(&raw.at(1024 + 24)), 5), "hello");
  EXPECT_EQ(q.GetMessageLength(), 5u);
  CloseHandle(mutex);
  CloseHandle(notify);
  CloseHandle(turn);
}

TEST(XQueueTest, RoleCountsAndStateCodes) {
  const std::string name = Unique("roles");
  CXQueue creator, opener, other;
  EXPECT_EQ(opener.Open(name.c_str()), kXqOpenFailed);  // no such region
  EXPECT_EQ(creator.Create(nullptr), kXqBadArgument);
  EXPECT_EQ(creator.Open(""), kXqBadArgument);
  EXPECT_EQ(creator.Write("a", 1), kXqNotOpen);
  uint32_t len = 4;
  int32_t id = 0;
  char buf[4];
  EXPECT_EQ(creator.Read(buf, &len, &id, nullptr, 100), kXqNotOpen);

  ASSERT_EQ(creator.Create(name.c_str()), kXqOk);
  EXPECT_EQ(creator.Create(name.c_str()), kXqCreateFailed);
  EXPECT_EQ(creator.Open(name.c_str()), kXqOpenFailed);
  ASSERT_EQ(opener.Open(name.c_str()), kXqOk);
  ASSERT_EQ(other.Open(name.c_str()), kXqOk);
  RawView raw(Upper("kv_31526_queue_" + name));
  EXPECT_EQ(raw.at(24), 2);
  other.Close();
  EXPECT_EQ(raw.at(24), 1);

  // The opener reads what the creator wrote, and may write back into it.
  ASSERT_EQ(creator.Write("abc", 3), kXqOk);
  len = sizeof buf;
  ASSERT_EQ(opener.Read(buf, &len, &id, nullptr, 100), kXqOk);
  EXPECT_EQ(std::string(buf, 3), "abc");
  EXPECT_EQ(opener.Write("xyz", 3), kXqOk);

  creator.Close();
  EXPECT_EQ(raw.at(28), 0);
  EXPECT_EQ(opener.Write("late", 4), kXqNoCreator);
  EXPECT_EQ(creator.Close(), kXqOk);  // twice is harmless
}

TEST(XQueueTest, RefusesRegionsThatDoNotFit) {
  // A region of the right name but too small for a queue.
  const std::string small = Unique("small");
  HANDLE h = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, 4096,
                                Upper("kv_31526_queue_" + small).c_str());
  ASSERT_NE(h, nullptr);
  CXQueue q;
  EXPECT_EQ(q.Create(small.c_str()), kXqCreateFailed);
  CloseHandle(h);

  // A header whose geometry reaches past the mapping.
  const std::string name = Unique("geometry");
  CXQueue creator, opener;
  ASSERT_EQ(creator.Create(name.c_str()), kXqOk);
  RawView raw(Upper("kv_31526_queue_" + name));
  raw.at(12) = 5000;
  raw.at(8) = 5001;
  EXPECT_EQ(opener.Open(name.c_str()), kXqBrokenChain);
  EXPECT_EQ(raw.at(24), 0);  // a refused opener is not counted
  raw.at(12) = 1024;
  raw.at(8) = 1025;
  EXPECT_EQ(opener.Open(name.c_str()), kXqOk);
}

TEST(XQueueTest, WriteTurnWaitIsBoundedAndNotHandedBackByANonHolder) {
  const std::string name = Unique("turn");
  CXQueue q;
  ASSERT_EQ(q.Create(name.c_str()), kXqOk);
  HANDLE turn = OpenEventA(SYNCHRONIZE | EVENT_MODIFY_STATE, FALSE,
                           ("kv_31526_client_write_event_kv_31526_queue_" + name).c_str());
  ASSERT_NE(turn, nullptr);
  ASSERT_EQ(WaitForSingleObject(turn, 0), WAIT_OBJECT_0);  // another writer has the turn

  const DWORD start = GetTickCount();
  EXPECT_EQ(q.Write("x", 1), kXqTimeout);
  const DWORD took = GetTickCount() - start;
  EXPECT_GE(took, kWriteTurnTimeoutMs / 2);
  EXPECT_LT(took, 10u * kWriteTurnTimeoutMs);
  EXPECT_EQ(WaitForSingleObject(turn, 0), DWORD(WAIT_TIMEOUT));  // still not given back
  EXPECT_EQ(q.GetMessageLength(), 0u);

  SetEvent(turn);  // the holder finishes
  EXPECT_EQ(q.Write("x", 1), kXqOk);
  EXPECT_EQ(WaitForSingleObject(turn, 0), WAIT_OBJECT_0);  // the writer returned it
  SetEvent(turn);
  CloseHandle(turn);
}

TEST(XQueueTest, MutexAbandonedByADeadOwnerIsTakenOver) {
  const std::string name = Unique("abandon");
  CXQueue q;
  ASSERT_EQ(q.Create(name.c_str()), kXqOk);
  const std::string mutex_name = "kv_31526_mutex_write_kv_31526_queue_" + name;
  std::thread owner([&] {
    HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, mutex_name.c_str());
    WaitForSingleObject(m, INFINITE);
    CloseHandle(m);  // ends without ReleaseMutex
  });
  owner.join();

  ASSERT_EQ(q.Write("survived", 8), kXqOk);
  char buf[16];
  uint32_t len = sizeof buf;
  int32_t id = 0;
  ASSERT_EQ(q.Read(buf, &len, &id, nullptr, 100), kXqOk);
  EXPECT_EQ(std::string(buf, len), "survived");
  // Released again: another taker gets it at once.
  HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, mutex_name.c_str());
  EXPECT_EQ(WaitForSingleObject(m, 0), WAIT_OBJECT_0);
  ReleaseMutex(m);
  CloseHandle(m);
}

TEST(XQueueTest, TooLargeMessagesFailAtOnce) {
  const std::string name = Unique("large");
  CXQueue q;
  ASSERT_EQ(q.Create(name.c_str()), kXqOk);
  std::string big(kMaxWriteLength, 'b');
  EXPECT_EQ(q.Write(big.data(), kMaxWriteLength), kXqBadArgument);
  EXPECT_EQ(q.Write(big.data(), 1030000), kXqBadArgument);
  EXPECT_EQ(q.Write(big.data(), 1024000), kXqOk);
  // The queue is full now: a small message waits for blocks, then times out.
  EXPECT_EQ(q.Write("x", 1), kXqTimeout);
  std::string got(1024000, '\0');
  uint32_t len = uint32_t(got.size());
  int32_t id = 0;
  ASSERT_EQ(q.Read(&got[0], &len, &id, nullptr, 100), kXqOk);
  EXPECT_EQ(got, big.substr(0, 1024000));
}

}  // namespace

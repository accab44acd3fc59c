#include "netcore/port/platform.h"

#include <event2/util.h>
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>

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

// The reader's wait: bytes and the peer's end make it return readable, and
// the reader then reads until nothing is left; a Wake from another thread
// ends a wait with nothing to read, and one that came before the wait is
// not lost.
TEST(SocketReadWait, ReturnsForBytesTheEndAndAWake) {
  q_platform::SocketStartup();
#ifdef _WIN32
  const int family = AF_INET;
#else
  const int family = AF_UNIX;
#endif
  evutil_socket_t pair[2];
  ASSERT_EQ(evutil_socketpair(family, SOCK_STREAM, 0, pair), 0);
  ASSERT_EQ(evutil_make_socket_nonblocking(pair[0]), 0);
  using Result = q_platform::SocketReadWait::Result;
  char buf[16];
  {
    q_platform::SocketReadWait wait;
    ASSERT_TRUE(wait.Open(intptr_t(pair[0])));
    EXPECT_EQ(q_platform::RecvNow(intptr_t(pair[0]), buf, sizeof buf), q_platform::kRecvWouldBlock);
    ASSERT_EQ(q_platform::SendNow(intptr_t(pair[1]), "abc", 3), 3);
    EXPECT_EQ(wait.Wait(), Result::kReadable);
    EXPECT_EQ(q_platform::RecvNow(intptr_t(pair[0]), buf, sizeof buf), 3);
    EXPECT_EQ(q_platform::RecvNow(intptr_t(pair[0]), buf, sizeof buf), q_platform::kRecvWouldBlock);

    std::thread waker([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      wait.Wake();
    });
    EXPECT_EQ(wait.Wait(), Result::kWoken);
    waker.join();
    EXPECT_EQ(wait.Wait(), Result::kWoken) << "a wake stays";
    wait.Close();
  }
  {
    q_platform::SocketReadWait wait;
    ASSERT_TRUE(wait.Open(intptr_t(pair[0])));
    evutil_closesocket(pair[1]);
    EXPECT_EQ(wait.Wait(), Result::kReadable);
    EXPECT_EQ(q_platform::RecvNow(intptr_t(pair[0]), buf, sizeof buf), 0);
    wait.Close();
  }
  evutil_closesocket(pair[0]);
  q_platform::SocketCleanup();
}

}  // namespace

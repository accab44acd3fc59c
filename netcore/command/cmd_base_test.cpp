#include "netcore/command/cmd_base.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <new>
#include <thread>
#include <vector>

#include "netcore/command/network_commands.h"

namespace {

// A command that reports its destruction.
class CountedCmd : public bs::CMD_base {
 public:
  explicit CountedCmd(std::atomic<int>* destroyed) : destroyed_(destroyed) {}
  ~CountedCmd() override { destroyed_->fetch_add(1); }

 private:
  std::atomic<int>* destroyed_;
};

bool AllZero(const void* p, size_t n) {
  const auto* b = static_cast<const unsigned char*>(p);
  for (size_t i = 0; i < n; ++i) {
    if (b[i] != 0) return false;
  }
  return true;
}

TEST(CmdRouteHeader, ConstructorZeroesAll72BytesOverDirtyMemory) {
  alignas(8) unsigned char raw[sizeof(bs::CmdRouteHeader)];
  std::memset(raw, 0xAB, sizeof(raw));
  auto* route = new (raw) bs::CmdRouteHeader();
  EXPECT_TRUE(AllZero(route, 72));
  route->~CmdRouteHeader();

  bs::CMD_base cmd;
  EXPECT_TRUE(AllZero(&cmd.route, 72));
}

TEST(CmdRouteHeader, CopyCarriesEveryByteIncludingPaddingAndReserved) {
  bs::CmdRouteHeader src;
  auto* b = reinterpret_cast<unsigned char*>(&src);
  for (int i = 0; i < 72; ++i) b[i] = static_cast<unsigned char>(i + 1);

  bs::CmdRouteHeader copied(src);
  EXPECT_EQ(0, std::memcmp(&copied, &src, 72));

  bs::CMD_base other;
  other.route = src;
  EXPECT_EQ(0, std::memcmp(&other.route, &src, 72));
}

TEST(DeleteHandler, LastReleaseDestroysCommandOnlyThen) {
  std::atomic<int> destroyed{0};
  auto* cmd = new CountedCmd(&destroyed);
  cmd->AttachDeleteHandler();
  ASSERT_NE(nullptr, cmd->handler);
  auto* h = static_cast<bs::CommonDeleteHandler*>(cmd->handler);
  EXPECT_EQ(cmd, h->command);
  EXPECT_EQ(1, h->refs.load());

  h->AddRef();
  h->Release();
  EXPECT_EQ(0, destroyed.load());
  EXPECT_EQ(1, h->refs.load());
  h->Release();  // frees command and handler; ASan reports any later touch
  EXPECT_EQ(1, destroyed.load());
}

TEST(DeleteHandler, AttachTwiceKeepsTheFirstHandlerAndItsCount) {
  std::atomic<int> destroyed{0};
  auto* cmd = new CountedCmd(&destroyed);
  cmd->AttachDeleteHandler();
  bs::IEventHandler* first = cmd->handler;
  first->AddRef();
  cmd->AttachDeleteHandler();
  EXPECT_EQ(first, cmd->handler);
  EXPECT_EQ(2, static_cast<bs::CommonDeleteHandler*>(first)->refs.load());
  first->Release();
  first->Release();
  EXPECT_EQ(1, destroyed.load());
}

TEST(DeleteHandler, ConcurrentReleaseDestroysExactlyOnce) {
  constexpr int kThreads = 8;
  constexpr int kRounds = 200;
  for (int round = 0; round < kRounds; ++round) {
    std::atomic<int> destroyed{0};
    auto* cmd = new CountedCmd(&destroyed);
    cmd->AttachDeleteHandler();
    bs::IEventHandler* h = cmd->handler;
    for (int i = 1; i < kThreads; ++i) h->AddRef();

    std::atomic<bool> go{false};
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
      threads.emplace_back([&] {
        while (!go.load()) std::this_thread::yield();
        h->Release();
      });
    }
    go.store(true);
    for (auto& t : threads) t.join();
    ASSERT_EQ(1, destroyed.load()) << "round " << round;
  }
}

TEST(NetworkCommands, KindsSubidsAndFreshState) {
  bs::CMDNetwork_DataMessage data;
  EXPECT_EQ(9, data.kind);
  EXPECT_EQ(2, data.subid);
  EXPECT_EQ(0x63, data.header.mark0);
  EXPECT_EQ(0x68, data.header.mark1);
  EXPECT_EQ(0, data.header.kind);
  EXPECT_EQ(0, data.header.subid);
  EXPECT_TRUE(data.header.extension.empty());
  EXPECT_TRUE(data.body.empty());
  EXPECT_EQ(nullptr, data.handler);
  EXPECT_TRUE(AllZero(&data.route, 72));

  bs::CMDNetwork_ConnectTo connect;
  EXPECT_EQ(3, connect.subid);
  EXPECT_TRUE(connect.host.empty());
  EXPECT_EQ(0, connect.port);
  EXPECT_EQ(0, connect.user_data);
  EXPECT_EQ(0u, connect.delay);

  bs::CMDNetwork_OnConnectToRet ret;
  EXPECT_EQ(4, ret.subid);
  EXPECT_FALSE(ret.ok);
  EXPECT_TRUE(ret.host.empty());

  EXPECT_EQ(0, bs::CMDNetwork_OnConnectionCome().subid);
  EXPECT_EQ(1, bs::CMDNetwork_OnConnectionClose().subid);
  bs::CMDNetwork_KickConnection kick;
  EXPECT_EQ(9, kick.kind);
  EXPECT_EQ(7, kick.subid);
}

}  // namespace

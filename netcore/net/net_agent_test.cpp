#include "netcore/net/net_agent.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "netcore/command/network_commands.h"
#include "netcore/net/loopback_peer_test_util.h"
#include "netcore/net/packet_codec.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kWait = std::chrono::seconds(10);

template <typename Pred>
bool TestWait(Pred pred) {
  const auto end = Clock::now() + kWait;
  while (!pred()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

// A pool that keeps every posted command (and so its reference) until the
// test ends.
class RecordingPool : public IJobProcessPool {
 public:
  ~RecordingPool() {
    for (bs::CMD_base* c : cmds_) c->handler->Release();
  }
  void AddProcessor(ICmdProcess*, uint16_t) override {}
  void ReservedSlot2(int, int) override {}
  int PostCommand(bs::CMD_base* cmd) override {
    std::lock_guard<std::mutex> lock(mutex_);
    cmds_.push_back(cmd);
    cv_.notify_all();
    return 1;
  }
  void Release() override {}
  bool Start(int) override { return true; }
  void Stop() override {}
  void ReservedSlot7(int) override {}
  void ReservedSlot8(int) override {}
  int ReservedSlot9() override { return 0; }
  int ReservedSlot10() override { return 0; }
  uint32_t GetTickCount() override { return 0; }

  bool WaitSize(size_t n) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_until(lock, Clock::now() + kWait, [&] { return cmds_.size() >= n; });
  }
  std::vector<bs::CMD_base*> Commands() {
    std::lock_guard<std::mutex> lock(mutex_);
    return cmds_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<bs::CMD_base*> cmds_;
};

// A manager that records what the agent asks of it.
class FakeManager : public ICMGR_ConnManager {
 public:
  bool Init(ICMGR_ChannelSink* s) override {
    sink = s;
    return init_result;
  }
  void Release() override { ++released; }
  uint64_t Connect(const char* host, int port, int ud, unsigned timeout_ms) override {
    connects.push_back({host, port, ud, timeout_ms});
    return next_id++;
  }
  bool Send(uint64_t id, const char* data, int len) override {
    sends.push_back({id, std::string(data, static_cast<size_t>(len))});
    return true;
  }
  void Close(uint64_t id) override { closes.push_back(id); }
  void ResolveHosts(int, void*, int, int, int) override {}

  struct ConnectCall {
    std::string host;
    int port;
    int user_data;
    unsigned timeout_ms;
  };
  bool init_result = true;
  int released = 0;
  uint64_t next_id = 1;
  ICMGR_ChannelSink* sink = nullptr;
  std::vector<ConnectCall> connects;
  std::vector<std::pair<uint64_t, std::string>> sends;
  std::vector<uint64_t> closes;
};

// An agent on a FakeManager, destroyed through Release.
struct FakeAgent {
  FakeAgent() : agent(new ClientNetAgent([this] { return &fake; })) {}
  ~FakeAgent() { agent->Release(); }
  FakeManager fake;
  RecordingPool pool;
  ClientNetAgent* agent;
};

std::string EncodedFrame(uint16_t kind, uint16_t subid, const std::string& body) {
  bs::CMDNetwork_DataMessage m;
  m.header.kind = kind;
  m.header.subid = subid;
  m.body = body;
  std::string frame;
  EncodePacket(&frame, m);
  return frame;
}

TEST(NetAgent, RunsNetworkCommandsOnTheManager) {
  FakeAgent t;
  ASSERT_TRUE(t.agent->Init(&t.pool, 0, 0, 0, "", nullptr));

  bs::CMDNetwork_ConnectTo by_default;
  by_default.host = "gate.example";
  by_default.port = 8000;
  by_default.user_data = 11;
  EXPECT_TRUE(t.agent->Process(&by_default));
  EXPECT_EQ(by_default.route.conn_id, 1u);  // the id the manager returned
  bs::CMDNetwork_ConnectTo slow;
  slow.delay = 5000;
  EXPECT_TRUE(t.agent->Process(&slow));
  EXPECT_EQ(slow.route.conn_id, 2u);
  ASSERT_EQ(t.fake.connects.size(), 2u);
  EXPECT_EQ(t.fake.connects[0].host, "gate.example");
  EXPECT_EQ(t.fake.connects[0].port, 8000);
  EXPECT_EQ(t.fake.connects[0].user_data, 11);
  EXPECT_EQ(t.fake.connects[0].timeout_ms, 3000u);  // delay 0
  EXPECT_EQ(t.fake.connects[1].timeout_ms, 5000u);

  bs::CMDNetwork_DataMessage data;
  data.route.conn_id = 1;
  data.header.kind = 12;
  data.header.subid = 3;
  data.body = "body";
  EXPECT_TRUE(t.agent->Process(&data));
  ASSERT_EQ(t.fake.sends.size(), 1u);
  EXPECT_EQ(t.fake.sends[0].first, 1u);
  EXPECT_EQ(t.fake.sends[0].second, EncodedFrame(12, 3, "body"));

  bs::CMDNetwork_KickConnection kick;
  kick.route.conn_id = 2;
  EXPECT_TRUE(t.agent->Process(&kick));
  EXPECT_EQ(t.fake.closes, std::vector<uint64_t>{2});

  // Other kinds, other sub-ids and settings reach no manager operation.
  bs::CMD_base gate(12, 3);
  bs::CMD_base unknown(9, 5);
  bs::CMD_base bare_setting(9, 6);  // not a setting command: ignored
  bs::CMDNetwork_AgentSetting setting;
  setting.value = "a.b:8000";
  for (bs::CMD_base* c : {&gate, &unknown, &bare_setting, static_cast<bs::CMD_base*>(&setting)})
    EXPECT_TRUE(t.agent->Process(c));
  EXPECT_TRUE(t.agent->Process(nullptr));
  EXPECT_EQ(t.fake.connects.size(), 2u);
  EXPECT_EQ(t.fake.sends.size(), 1u);
  EXPECT_EQ(t.fake.closes.size(), 1u);
  EXPECT_TRUE(t.pool.Commands().empty());
}

TEST(NetAgent, TurnsConnectionEventsIntoPostedCommands) {
  FakeAgent t;
  ASSERT_TRUE(t.agent->Init(&t.pool, 0, 0, 0, "", nullptr));
  ICMGR_ChannelSink* sink = t.fake.sink;
  ASSERT_EQ(sink, static_cast<ICMGR_ChannelSink*>(t.agent));

  sink->OnConnectToRet(5, true, 9);
  sink->OnConnectToRet(6, false, 10);
  sink->OnConnectionClose(5, 9);
  const std::string frame = EncodedFrame(12, 7, "payload");
  sink->OnData(5, frame.data(), static_cast<int>(frame.size()), 9);
  sink->OnData(5, frame.data(), static_cast<int>(frame.size()) - 1, 9);  // length field disagrees

  const auto cmds = t.pool.Commands();
  ASSERT_EQ(cmds.size(), 6u);
  for (bs::CMD_base* c : cmds) {
    EXPECT_EQ(c->kind, 9);
    EXPECT_EQ(c->route.origin, 1);
    EXPECT_NE(c->handler, nullptr);
  }
  auto* ok = dynamic_cast<bs::CMDNetwork_OnConnectToRet*>(cmds[0]);
  ASSERT_NE(ok, nullptr);
  EXPECT_TRUE(ok->ok);
  EXPECT_EQ(ok->route.conn_id, 5u);
  EXPECT_EQ(ok->route.user_data, 9);
  // A successful connect is always followed by its connection-come.
  ASSERT_NE(dynamic_cast<bs::CMDNetwork_OnConnectionCome*>(cmds[1]), nullptr);
  EXPECT_EQ(cmds[1]->route.conn_id, 5u);
  EXPECT_EQ(cmds[1]->route.user_data, 9);
  auto* failed = dynamic_cast<bs::CMDNetwork_OnConnectToRet*>(cmds[2]);
  ASSERT_NE(failed, nullptr);
  EXPECT_FALSE(failed->ok);
  EXPECT_EQ(failed->route.conn_id, 6u);
  auto* closed = dynamic_cast<bs::CMDNetwork_OnConnectionClose*>(cmds[3]);
  ASSERT_NE(closed, nullptr);
  EXPECT_EQ(closed->route.conn_id, 5u);
  EXPECT_EQ(closed->route.user_data, 0) << "a close carries no user value";
  auto* good = dynamic_cast<bs::CMDNetwork_DataMessage*>(cmds[4]);
  ASSERT_NE(good, nullptr);
  EXPECT_EQ(good->header.kind, 12);
  EXPECT_EQ(good->header.subid, 7);
  EXPECT_EQ(good->body, "payload");
  EXPECT_EQ(good->route.user_data, 9);
  auto* bad = dynamic_cast<bs::CMDNetwork_DataMessage*>(cmds[5]);
  ASSERT_NE(bad, nullptr);
  EXPECT_EQ(bad->header.kind, 0) << "a frame that does not decode still goes on";
  EXPECT_TRUE(bad->body.empty());
}

TEST(NetAgent, DataGoesToTheDirectProcessorWhenOneIsSet) {
  struct Direct : ICmdProcess {
    bool OnStart(int, IJobProcessPool*) override { return true; }
    void Reset() override {}
    void Process(bs::CMD_base* cmd, int) override {
      kinds.push_back(static_cast<bs::CMDNetwork_DataMessage*>(cmd)->header.kind);
      cmd->handler->Release();  // it owns the reference
    }
    void OnTimer(uint64_t, int) override {}
    std::vector<int> kinds;
  } direct;
  FakeAgent t;
  ASSERT_TRUE(t.agent->Init(&t.pool, 0, 0, 0, "", &direct));
  const std::string frame = EncodedFrame(12, 1, "x");
  t.fake.sink->OnData(3, frame.data(), static_cast<int>(frame.size()), 0);
  t.fake.sink->OnConnectToRet(3, false, 0);
  EXPECT_EQ(direct.kinds, std::vector<int>{12});
  EXPECT_EQ(t.pool.Commands().size(), 1u);  // only the connect result
}

TEST(NetAgent, InitPassesTheManagersResultOnAndShutdownStopsTheManagerOnce) {
  {
    FakeAgent t;
    t.fake.init_result = false;
    EXPECT_FALSE(t.agent->Init(&t.pool, 0, 0, 0, "", nullptr));
    EXPECT_EQ(t.fake.released, 1);  // the failed manager is not kept
    bs::CMDNetwork_KickConnection kick;
    EXPECT_TRUE(t.agent->Process(&kick));
    EXPECT_TRUE(t.fake.closes.empty());
  }
  FakeAgent t;
  ASSERT_TRUE(t.agent->Init(&t.pool, 0, 0, 0, "", nullptr));
  EXPECT_FALSE(t.agent->Init(&t.pool, 0, 0, 0, "", nullptr)) << "already has a manager";
  t.agent->Shutdown();
  EXPECT_EQ(t.fake.released, 1);
  bs::CMDNetwork_KickConnection kick;
  EXPECT_TRUE(t.agent->Process(&kick)) << "after Shutdown: dropped";
  EXPECT_TRUE(t.fake.closes.empty());
  t.agent->Shutdown();
  EXPECT_EQ(t.fake.released, 1);
}

// The agent from the export, its own QConnMgr, and a real peer.
class NetAgentLoopback : public ::testing::Test {
 protected:
  void SetUp() override {
    agent = CreateJobAgent();
    ASSERT_NE(agent, nullptr);
    ASSERT_TRUE(agent->Init(&pool, 0, 0, 0, "", nullptr));
  }
  void TearDown() override {
    if (agent != nullptr) agent->Release();
  }
  uint64_t Connect() {
    bs::CMDNetwork_ConnectTo connect;
    connect.host = "127.0.0.1";
    connect.port = peer.port();
    connect.user_data = 77;
    agent->Process(&connect);
    return connect.route.conn_id;
  }

  q_test::LoopbackPeer peer;
  RecordingPool pool;
  IJobAgent* agent = nullptr;
};

TEST_F(NetAgentLoopback, ConnectSendAndReceiveFrames) {
  const uint64_t id = Connect();
  EXPECT_EQ(id, 1u);
  ASSERT_TRUE(pool.WaitSize(2));
  auto cmds = pool.Commands();
  ASSERT_EQ(cmds[0]->subid, bs::kNetSubidConnectToRet);
  EXPECT_TRUE(static_cast<bs::CMDNetwork_OnConnectToRet*>(cmds[0])->ok);
  EXPECT_EQ(cmds[1]->subid, bs::kNetSubidConnectionCome);
  EXPECT_EQ(cmds[1]->route.conn_id, id);
  EXPECT_EQ(cmds[1]->route.user_data, 77);

  bs::CMDNetwork_DataMessage out;
  out.route.conn_id = id;
  out.header.kind = 12;
  out.header.subid = 4;
  out.body = "hello gate";
  agent->Process(&out);
  const std::string expect = EncodedFrame(12, 4, "hello gate");
  ASSERT_TRUE(peer.WaitReceived(0, expect.size()));
  EXPECT_EQ(peer.Received(0), expect);

  peer.Write(0, EncodedFrame(12, 2, "from gate"));
  ASSERT_TRUE(pool.WaitSize(3));
  auto* in = dynamic_cast<bs::CMDNetwork_DataMessage*>(pool.Commands()[2]);
  ASSERT_NE(in, nullptr);
  EXPECT_EQ(in->header.subid, 2);
  EXPECT_EQ(in->body, "from gate");
  EXPECT_EQ(in->route.conn_id, id);
  EXPECT_EQ(in->route.user_data, 77);

  bs::CMDNetwork_KickConnection kick;
  kick.route.conn_id = id;
  agent->Process(&kick);
  ASSERT_TRUE(pool.WaitSize(4));
  EXPECT_EQ(pool.Commands()[3]->subid, bs::kNetSubidConnectionClose);
  EXPECT_TRUE(peer.WaitClosed(0));
}

TEST_F(NetAgentLoopback, FourSendersAgainstShutdown) {
  const uint64_t id = Connect();
  ASSERT_TRUE(pool.WaitSize(2));
  std::atomic<bool> stop{false};
  std::atomic<int> sent{0};
  std::vector<std::thread> senders;
  for (int t = 0; t < 4; ++t) {
    senders.emplace_back([&, t] {
      while (!stop) {
        bs::CMDNetwork_DataMessage m;
        m.route.conn_id = id;
        m.header.kind = 12;
        m.header.subid = static_cast<uint16_t>(t);
        m.body = "relay";
        agent->Process(&m);
        ++sent;
      }
    });
  }
  ASSERT_TRUE(peer.WaitReceived(0, 2000));
  // The launcher's thread and the relays are still sending.
  agent->Shutdown();
  const int at_shutdown = sent;
  ASSERT_TRUE(TestWait([&] { return sent > at_shutdown + 100; }));
  stop = true;
  for (auto& s : senders) s.join();
  EXPECT_TRUE(peer.WaitClosed(0));
}

TEST(NetAgentExports, ConnManagerFromTheExportRuns) {
  struct NullSink : ICMGR_ChannelSink {
    void OnConnectionClose(uint64_t, int) override {}
    void OnData(uint64_t, const char*, int, int) override {}
    void OnConnectToRet(uint64_t, bool, int) override {}
  } sink;
  ICMGR_ConnManager* mgr = chCreateConnManager();
  ASSERT_NE(mgr, nullptr);
  ASSERT_TRUE(mgr->Init(&sink));
  mgr->Release();
}

}  // namespace

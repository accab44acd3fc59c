// The client frame against a fake network agent: the main road (hello in
// clear, key, enciphered login, login answer), pulses and the dead-link kick
// on a test clock, reconnects, stop, and the requests' wire content.
#include "gateclient/client_frame/client_frame.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <map>
#include <memory>
#include <thread>
#include <vector>

#include "gateclient/client_frame/client_requests.h"
#include "gateclient/client_frame/fake_agent_test_util.h"
#include "gateclient/settings/gate_config.h"
#include "gateclient/settings/gate_log.h"

namespace {

using bsc_test::Cipher;
using bsc_test::Encode;
using bsc_test::FakeAgent;
using bsc_test::SentFrame;
using bsc_test::TransferBody;

const char kKey[] = "k1lorx73@@";

template <class Pred>
bool Eventually(Pred pred, int seconds = 10) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pred();
}

class ClientFrameTest : public ::testing::Test {
 protected:
  void StartFrame() {
    bsc::ClientFrame::Seams s;
    s.makeAgent = [this] { return &agent; };
    s.nowSeconds = [this] { return now.load(); };
    s.pickAddress = [](std::string& h, int& p) {
      h = "127.0.0.1";
      p = 1;
      return true;
    };
    frame = std::make_unique<bsc::ClientFrame>(s);
    frame->SetConfig(&config);
    frame->Start();
  }

  SentFrame Last(uint16_t subid) {
    std::lock_guard<std::mutex> lock(agent.mutex);
    for (auto it = agent.sent.rbegin(); it != agent.sent.rend(); ++it)
      if (it->subid == subid) return *it;
    return SentFrame{0, 0, "", 0};
  }
  size_t Count(uint16_t subid) {
    std::lock_guard<std::mutex> lock(agent.mutex);
    return agent.CountSent(subid);
  }
  bool WaitSent(uint16_t subid, size_t n) {
    return agent.WaitFor([&] { return agent.CountSent(subid) >= n; });
  }
  void Hello(uint64_t conn, uint32_t flag, const std::string& key, uint32_t token) {
    bs::gate::HelloRsp rsp;
    rsp.set_rsp_flag(flag);
    if (!key.empty()) rsp.set_encrypt_key(key);
    rsp.set_login_token(token);
    agent.PostFrame(conn, 12, 8, Encode(rsp));
  }
  // The gate's own pulse; the client's answer proves the job thread got past
  // everything posted before it.
  void Fence(uint64_t conn, const std::string& key) {
    const size_t before = Count(2);
    bs::gate::PulseReq req;
    req.set_speed_data(5);
    const std::string body = Encode(req);
    agent.PostFrame(conn, 12, 1, key.empty() ? body : Cipher(key, body, true));
    ASSERT_TRUE(WaitSent(2, before + 1));
  }
  // The login request inside the last transfer, deciphered with key.
  bs::client::LoginReq SentLogin(const std::string& key) {
    bs::gate::TransferDataReq t;
    EXPECT_TRUE(t.ParseFromString(Cipher(key, Last(3).body, false)));
    EXPECT_EQ(7u, t.att_apptype());
    EXPECT_EQ(2u, t.att_appid());
    EXPECT_EQ(13u, t.data_cmd_kind());
    EXPECT_EQ(1u, t.data_cmd_subid());
    bs::client::LoginReq req;
    EXPECT_TRUE(req.ParseFromString(t.data()));
    return req;
  }
  void Answer(uint64_t conn, int result) {
    bs::client::LoginRsp rsp;
    rsp.set_login_result(static_cast<bs::client::LoginRsp::Result>(result));
    bs::types::BaseUserInfo base;
    base.set_user_id(10001);
    rsp.set_base_info_buff(Encode(base));
    agent.PostFrame(conn, 12, 3, Cipher(kKey, TransferBody(13, 2, Encode(rsp)), true));
  }
  // Connect, hello in clear, key k1, token 99, login for alice.
  void LogIn() {
    StartFrame();
    ASSERT_TRUE(WaitSent(7, 1));
    bsc::LoginUser user;
    user.account = "alice";
    frame->Session().SubmitLoginUser(user);
    Hello(1, 5, "k1", 99);
    ASSERT_TRUE(WaitSent(3, 1));
    Answer(1, 0);
    ASSERT_TRUE(Eventually([&] { return frame->Session().LoginState() == bsc::kLoginLoggedIn; }));
  }

  FakeAgent agent;
  QConfig config;
  std::atomic<int64_t> now{1700000000};
  std::unique_ptr<bsc::ClientFrame> frame;
};

TEST_F(ClientFrameTest, MainRoadHelloInClearThenEncipheredLogin) {
  StartFrame();
  ASSERT_TRUE(WaitSent(7, 1));
  const SentFrame hello = Last(7);
  EXPECT_EQ(12, hello.kind);
  EXPECT_EQ(std::string("\x10\x00", 2), hello.body);
  EXPECT_EQ(1u, hello.connId);
  EXPECT_EQ(bsc::kLoginConnected, frame->Session().LoginState());

  bsc::LoginUser user;
  user.account = "alice";
  user.macAddress = std::string("00-11\0junk", 10);
  user.gameKind = 555;
  frame->Session().SubmitLoginUser(user);
  Hello(1, 5, "k1", 99);
  ASSERT_TRUE(WaitSent(3, 1));
  const bs::client::LoginReq req = SentLogin(kKey);
  EXPECT_EQ("alice", req.login_account());
  EXPECT_EQ("00-11", req.mac_address());
  EXPECT_EQ(99u, req.logon_token());
  EXPECT_EQ(555u, req.game_kind());
  EXPECT_EQ("3f9a0c27d54be81a6c0d92f7e41b5a88", req.login_password());
  EXPECT_EQ(bs::client::LoginReq::ByAccount, req.action_type());
  EXPECT_EQ(bs::types::PC, req.client_os());
  EXPECT_TRUE(req.has_game_id());

  Answer(1, 0);
  ASSERT_TRUE(Eventually([&] { return frame->Session().LoginState() == bsc::kLoginLoggedIn; }));
  EXPECT_TRUE(frame->Session().LoginOk());
  EXPECT_TRUE(frame->Session().LoginAnswered());
  Fence(1, kKey);
  EXPECT_EQ(10001u, frame->Session().Login().baseInfo.user_id());
  // The pulse answer went out enciphered too.
  bs::gate::PulseRsp rsp;
  ASSERT_TRUE(rsp.ParseFromString(Cipher(kKey, Last(2).body, false)));
  EXPECT_EQ(5u, rsp.speed_data());
}

TEST_F(ClientFrameTest, LoginFailureGivesState4AndANewSubmitLogsInAgain) {
  StartFrame();
  ASSERT_TRUE(WaitSent(7, 1));
  Hello(1, 5, "k1", 99);
  Fence(1, kKey);
  EXPECT_EQ(0u, Count(3));  // no user yet: no login
  frame->Session().SubmitLoginUser(bsc::LoginUser());
  ASSERT_TRUE(WaitSent(3, 1));
  Answer(1, 3);
  ASSERT_TRUE(Eventually([&] { return frame->Session().LoginState() == bsc::kLoginFailed; }));
  EXPECT_FALSE(frame->Session().LoginOk());
  EXPECT_TRUE(frame->Session().LoginAnswered());
  frame->Session().SubmitLoginUser(bsc::LoginUser());
  EXPECT_TRUE(WaitSent(3, 2));
}

TEST_F(ClientFrameTest, ExactlyOneLoginPerHelloWhateverTheTiming) {
  StartFrame();
  ASSERT_TRUE(WaitSent(7, 1));
  std::vector<std::thread> submitters;
  for (int t = 0; t < 3; ++t) {
    submitters.emplace_back([&] {
      for (int i = 0; i < 40; ++i) frame->Session().SubmitLoginUser(bsc::LoginUser());
    });
  }
  Hello(1, 5, "k1", 99);
  for (auto& t : submitters) t.join();
  Fence(1, kKey);
  EXPECT_EQ(1u, Count(3));
  // A re-key is a new hello: one more login, still only one.
  Hello(1, 1, "k2", 0);
  frame->Session().SubmitLoginUser(bsc::LoginUser());
  Fence(1, "k2lorx73@@");
  EXPECT_EQ(2u, Count(3));
}

TEST_F(ClientFrameTest, HelloAnswerIsNeverDecipheredAndReKeys) {
  LogIn();
  Hello(1, 1, "k2", 0);  // in clear although a key exists
  ASSERT_TRUE(
      Eventually([&] { return frame->Session().LoginState() == bsc::kLoginHelloAnswered; }));
  Fence(1, "k2lorx73@@");
  bs::gate::PulseRsp rsp;
  EXPECT_TRUE(rsp.ParseFromString(Cipher("k2lorx73@@", Last(2).body, false)));
  EXPECT_EQ("k2lorx73@@", frame->Session().Login().cipherKey);
}

TEST_F(ClientFrameTest, HelloWithFlag4SetsTokenAndLeavesTheLinkClear) {
  StartFrame();
  ASSERT_TRUE(WaitSent(7, 1));
  frame->Session().SubmitLoginUser(bsc::LoginUser());
  Hello(1, 4, "ignored", 42);
  ASSERT_TRUE(WaitSent(3, 1));
  bs::gate::TransferDataReq t;
  ASSERT_TRUE(t.ParseFromString(Last(3).body));  // clear
  bs::client::LoginReq req;
  ASSERT_TRUE(req.ParseFromString(t.data()));
  EXPECT_EQ(42u, req.logon_token());
}

TEST_F(ClientFrameTest, PulsesEvery15SecondsAndKickAfterSilence) {
  LogIn();
  ASSERT_TRUE(Eventually([&] { return frame->lastPulse.load() != 0; }));
  const int64_t t0 = now.load();
  now += 15;
  ASSERT_TRUE(WaitSent(1, 1));
  bs::gate::PulseReq pulse;
  ASSERT_TRUE(pulse.ParseFromString(Cipher(kKey, Last(1).body, false)));
  EXPECT_EQ(static_cast<uint32_t>(t0 + 15), pulse.my_speed());
  EXPECT_FALSE(pulse.has_attached_data());
  {
    std::lock_guard<std::mutex> lock(agent.mutex);
    EXPECT_TRUE(agent.kicks.empty());  // 15 s of silence < timedisconn 25
  }
  now += 14;  // no pulse tick yet, silence already 29 s: still no kick
  EXPECT_FALSE(agent.WaitFor([&] { return !agent.kicks.empty(); }, 1));
  now += 1;
  ASSERT_TRUE(agent.WaitFor([&] { return agent.kicks.size() == 1; }));
  // The kick's close reconnects: a second connection with its own hello.
  EXPECT_TRUE(WaitSent(7, 2));
  EXPECT_EQ(2u, Last(7).connId);
  EXPECT_EQ(std::string("\x10\x00", 2), Last(7).body);
}

TEST_F(ClientFrameTest, NoPulseAndNoKickWhenPulsesAreOff) {
  config.sendPulse.value = 0;
  LogIn();
  ASSERT_TRUE(Eventually([&] { return frame->lastPulse.load() != 0; }));
  now += 120;
  EXPECT_FALSE(agent.WaitFor([&] { return agent.CountSent(1) > 0 || !agent.kicks.empty(); }, 1));
}

TEST_F(ClientFrameTest, OtherFrameKindsAreDroppedButCountAsTraffic) {
  LogIn();
  now += 10;
  agent.PostFrame(1, 13, 2, "junk");
  ASSERT_TRUE(Eventually([&] { return frame->LastReceive() == now.load(); }));
  // Undecodable bodies of kind 12 are dropped as well; the link goes on.
  agent.PostFrame(1, 12, 3, "\xff\xff\xff");
  agent.PostFrame(1, 12, 99, "");
  Fence(1, kKey);
  EXPECT_EQ(bsc::kLoginLoggedIn, frame->Session().LoginState());
}

TEST_F(ClientFrameTest, ConnectionIdZeroIsAFailedConnectAndRetries) {
  agent.failConnects = 3;
  StartFrame();
  ASSERT_TRUE(WaitSent(7, 1));
  std::lock_guard<std::mutex> lock(agent.mutex);
  EXPECT_EQ(4, agent.connects);
}

TEST_F(ClientFrameTest, FailedConnectResultRetries) {
  agent.autoConnect = false;
  StartFrame();
  ASSERT_TRUE(agent.WaitFor([&] { return agent.connects == 1; }));
  agent.PostConnectFailed(1);
  ASSERT_TRUE(agent.WaitFor([&] { return agent.connects == 2; }));
  EXPECT_FALSE(frame->IsConnected());
}

size_t LogLinesWith(const std::string& text) {
  std::ifstream in("log/gateclient.log");
  size_t n = 0;
  for (std::string l; std::getline(in, l);) n += l.find(text) != std::string::npos ? 1 : 0;
  return n;
}

// A gate that refuses every connect is tried ever more seldom (50, ~100,
// ~200, ~400, ~800 ms, ...; before, every 50 ms: about 25 tries in these
// 1.6 s) and its repeated failures are not logged each time; once logged
// in, a lost link is tried again after 50 ms.
TEST_F(ClientFrameTest, RefusedConnectsBackOffAndLoginStartsOver) {
  const size_t linesBefore = LogLinesWith("重联gate ing,address=127.0.0.1,port=1,");
  agent.refuseConnects = true;
  StartFrame();
  EXPECT_FALSE(agent.WaitFor([&] { return agent.connects > 8; }, 2));
  int tries = 0;
  {
    std::lock_guard<std::mutex> lock(agent.mutex);
    tries = agent.connects;
    agent.refuseConnects = false;
  }
  EXPECT_GE(tries, 4);
  CloseGateLog();  // flushes what the frame wrote
  EXPECT_LE(LogLinesWith("重联gate ing,address=127.0.0.1,port=1,") - linesBefore, 2u);

  // The next try connects; a login resets the pacing.
  ASSERT_TRUE(WaitSent(7, 1));
  const uint64_t conn = frame->ConnId();
  frame->Session().SubmitLoginUser(bsc::LoginUser());
  Hello(conn, 5, "k1", 99);
  ASSERT_TRUE(WaitSent(3, 1));
  Answer(conn, 0);
  ASSERT_TRUE(Eventually([&] { return frame->Session().LoginState() == bsc::kLoginLoggedIn; }));
  const auto closed = std::chrono::steady_clock::now();
  agent.PostClose(conn);
  ASSERT_TRUE(WaitSent(7, 2));
  EXPECT_LT(std::chrono::steady_clock::now() - closed, std::chrono::milliseconds(1000));
}

TEST_F(ClientFrameTest, AnotherLoginThenCloseLeavesTheClientDown) {
  LogIn();
  bs::client::LogoutRsp normal;
  normal.set_logout_reason(bs::client::LogoutRsp::Normal);
  agent.PostFrame(1, 12, 3, Cipher(kKey, TransferBody(13, 4, Encode(normal)), true));
  Fence(1, kKey);
  EXPECT_FALSE(frame->LoggedInElsewhere());

  bs::client::LogoutRsp other;
  other.set_logout_reason(bs::client::LogoutRsp::AnotherLogin);
  agent.PostFrame(1, 12, 3, Cipher(kKey, TransferBody(13, 4, Encode(other)), true));
  ASSERT_TRUE(Eventually([&] { return frame->LoggedInElsewhere(); }));
  EXPECT_TRUE(frame->IsConnected());  // the link itself is left as it is
  agent.PostClose(1);
  ASSERT_TRUE(Eventually([&] { return frame->Session().LoginState() == bsc::kLoginDisconnected; }));
  EXPECT_FALSE(agent.WaitFor([&] { return agent.connects > 1; }, 1));
}

TEST_F(ClientFrameTest, TransferWiderThan16BitsIsDroppedNotTruncated) {
  StartFrame();
  ASSERT_TRUE(WaitSent(7, 1));
  frame->Session().SubmitLoginUser(bsc::LoginUser());
  Hello(1, 5, "k1", 99);
  ASSERT_TRUE(WaitSent(3, 1));
  bs::client::LoginRsp ok;
  ok.set_login_result(bs::client::LoginRsp::SUCCESS);
  agent.PostFrame(1, 12, 3, Cipher(kKey, TransferBody(0x10000 + 13, 2, Encode(ok)), true));
  agent.PostFrame(1, 12, 3, Cipher(kKey, TransferBody(13, 0x10000 + 2, Encode(ok)), true));
  Fence(1, kKey);
  EXPECT_EQ(bsc::kLoginHelloAnswered, frame->Session().LoginState());
  EXPECT_FALSE(frame->Session().LoginAnswered());
}

TEST_F(ClientFrameTest, StopEndsSendingAndASecondStopIsHarmless) {
  LogIn();
  frame->Stop();
  EXPECT_TRUE(agent.released);
  EXPECT_FALSE(bsc::SendHello(*frame));
  frame->Stop();
  EXPECT_EQ(0, frame->Reconnect(50));
}

// Each frame a sender put on a link is enciphered with a key that link was
// given (or is clear before its first key): never with another connection's
// key or a half-replaced one, however re-keys and reconnects interleave.
TEST_F(ClientFrameTest, SendersOnThreeThreadsDuringReKeysAndReconnects) {
  LogIn();
  // The keys each connection was given; every link is clear before its first.
  std::map<uint64_t, std::vector<std::string>> keys;
  keys[1] = {kKey};
  std::atomic<bool> done{false};
  std::atomic<int> accepted{0};
  std::atomic<int> budget{40};  // frames per round, so the check below stays quick
  std::vector<std::thread> senders;
  for (int t = 0; t < 3; ++t) {
    senders.emplace_back([&] {
      while (!done.load()) {
        if (accepted.load() >= budget.load()) {
          std::this_thread::yield();
          continue;
        }
        bs::CMD_Gate_PulseReq cmd;
        cmd.msg.set_speed_data(1);
        if (frame->SendCmd(&cmd)) ++accepted;
        // A wrapped request as SendJoinReq builds it, without its log line.
        bs::CMD_Match_JoinReq join;
        join.route.src_apptype = bsc::kAppTypeMatch;
        bs::CMD_Gate_TransferDataReq transfer;
        bsc::WrapInTransfer(join, transfer);
        if (frame->SendCmd(&transfer)) ++accepted;
      }
    });
  }
  for (int round = 0; round < 20; ++round) {
    const uint64_t conn = frame->ConnId();
    const std::string key = "r" + std::to_string(round);
    keys[conn].push_back(key + "lorx73@@");
    Hello(conn, 1, key, 0);
    if (round % 5 == 4) {
      agent.PostClose(conn);
      ASSERT_TRUE(Eventually([&] { return frame->ConnId() != conn && frame->IsConnected(); }));
    }
    budget += 40;
    ASSERT_TRUE(Eventually([&] { return accepted.load() >= budget.load() - 20; }));
  }
  done = true;
  for (auto& t : senders) t.join();
  frame->Stop();
  bs::CMD_Gate_PulseReq late;
  EXPECT_FALSE(frame->SendCmd(&late));

  std::vector<SentFrame> sent;
  {
    std::lock_guard<std::mutex> lock(agent.mutex);
    sent = agent.sent;
  }
  size_t checked = 0;
  for (const SentFrame& f : sent) {
    if (f.subid != 1 && f.subid != 3) continue;
    bool readable = false;
    std::vector<std::string> candidates = keys[f.connId];
    candidates.push_back("");
    for (const std::string& key : candidates) {
      const std::string body = key.empty() ? f.body : Cipher(key, f.body, false);
      if (f.subid == 1) {
        bs::gate::PulseReq p;
        readable = p.ParseFromString(body) && p.speed_data() == 1;
      } else {
        bs::gate::TransferDataReq t;
        readable = t.ParseFromString(body) && t.att_apptype() != 0 &&
                   (t.data_cmd_kind() == 14 || t.data_cmd_kind() == 13);
      }
      if (readable) break;
    }
    EXPECT_TRUE(readable) << "conn " << f.connId << " subid " << f.subid;
    ++checked;
  }
  EXPECT_GT(checked, 500u);
}

// The debug dialog's login button submits users and asks for reconnects on
// its own thread while the owner stops the frame: no call touches the job
// thread Stop frees, and every call after Stop is refused.
TEST_F(ClientFrameTest, SubmitAndReconnectOnOtherThreadsWhileStopping) {
  LogIn();
  std::atomic<bool> stopped{false};
  std::atomic<int> calls{0};
  std::atomic<int> late{0};
  std::atomic<int> lateRefused{0};
  std::vector<std::thread> callers;
  for (int t = 0; t < 3; ++t) {
    callers.emplace_back([&] {
      while (late.load() < 300) {
        const bool after = stopped.load();
        const bool submitted = frame->Session().SubmitLoginUser(bsc::LoginUser());
        // "Now" from another thread is handed to the job thread too.
        const int reconnect = frame->Reconnect(calls.load() % 2 == 0 ? 50 : 0);
        ++calls;
        if (after) {
          ++late;
          if (!submitted && reconnect == 0) ++lateRefused;
        }
      }
    });
  }
  ASSERT_TRUE(Eventually([&] { return calls.load() > 300; }));
  frame->Stop();
  stopped = true;
  for (auto& t : callers) t.join();
  EXPECT_EQ(late.load(), lateRefused.load());
}

TEST_F(ClientFrameTest, RequestsCarryTheirDestinationsAndFields) {
  LogIn();
  bsc::SendDisplayPlanUpdateReq(*frame, 77);
  bsc::SendJoinReq(*frame, 0, true);
  bsc::SendGetMatchDetailReq(*frame, 5, 6);
  ASSERT_TRUE(WaitSent(3, 4));
  std::vector<bs::gate::TransferDataReq> out;
  {
    std::lock_guard<std::mutex> lock(agent.mutex);
    for (const SentFrame& f : agent.sent) {
      if (f.subid != 3) continue;
      bs::gate::TransferDataReq t;
      ASSERT_TRUE(t.ParseFromString(Cipher(kKey, f.body, false)));
      out.push_back(t);
    }
  }
  ASSERT_EQ(4u, out.size());
  EXPECT_EQ(18u, out[1].data_cmd_kind());
  EXPECT_EQ(9u, out[1].data_cmd_subid());
  EXPECT_EQ(5u, out[1].att_apptype());
  EXPECT_EQ(2u, out[1].att_appid());
  EXPECT_EQ(std::string("\x10\x4d", 2), out[1].data());  // field 2 only: 77
  EXPECT_EQ(14u, out[2].data_cmd_kind());
  EXPECT_EQ(3u, out[2].data_cmd_subid());
  EXPECT_EQ(13u, out[2].att_apptype());
  EXPECT_EQ(0u, out[2].att_appid());
  bs::matchclient::JoinReq join;
  ASSERT_TRUE(join.ParseFromString(out[2].data()));
  EXPECT_TRUE(join.withdraw());
  bs::hallclient::GetMatchDetailReq detail;
  ASSERT_TRUE(detail.ParseFromString(out[3].data()));
  EXPECT_EQ(5u, detail.plan_id());
  EXPECT_EQ(6u, detail.app_id());
}

TEST_F(ClientFrameTest, RobotLoginOnlyForSettingOne) {
  config.robot.value = 2;
  LogIn();
  EXPECT_EQ(bs::client::LoginReq::ByAccount, SentLogin(kKey).action_type());
  config.robot.value = 1;
  frame->Session().SubmitLoginUser(bsc::LoginUser());  // state 5: only auto-login
  Hello(1, 1, "k1", 0);
  ASSERT_TRUE(WaitSent(3, 2));
  EXPECT_EQ(bs::client::LoginReq::Robot, SentLogin(kKey).action_type());
}

TEST_F(ClientFrameTest, SignUpByPlanJoinsTheApplicationOfTheNextDetail) {
  LogIn();
  bsc::SignUpByPlan(*frame, 5);
  ASSERT_TRUE(WaitSent(3, 2));
  bs::hallclient::TitleMatchItem item;
  item.set_app_id(4321);
  bs::hallclient::GetMatchDetailRsp rsp;
  rsp.set_plan_id(8);  // another plan's detail overtakes: it decides
  rsp.set_detail_titlematch(Encode(item));
  agent.PostFrame(1, 12, 3, Cipher(kKey, TransferBody(18, 14, Encode(rsp), 5, 2), true));
  ASSERT_TRUE(WaitSent(3, 3));
  bs::gate::TransferDataReq t;
  ASSERT_TRUE(t.ParseFromString(Cipher(kKey, Last(3).body, false)));
  EXPECT_EQ(14u, t.data_cmd_kind());
  EXPECT_EQ(4321u, t.att_appid());
  // One notification only.
  agent.PostFrame(1, 12, 3, Cipher(kKey, TransferBody(18, 14, Encode(rsp), 5, 2), true));
  Fence(1, kKey);
  EXPECT_EQ(3u, Count(3));
}

}  // namespace

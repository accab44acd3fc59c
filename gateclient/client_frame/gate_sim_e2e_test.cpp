// End to end against the gate simulator (tools/gate_sim) on 127.0.0.1: the
// real agent and connection manager, the simulator's own protobuf and
// Blowfish. ctest starts the simulator around this program
// (gate_session_e2e); run alone, without GATE_SIM_PORT, these tests skip.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gateclient/client_frame/client_frame.h"
#include "gateclient/client_frame/client_requests.h"
#include "gateclient/client_frame/sim_control_test_util.h"
#include "gateclient/settings/gate_config.h"

namespace {

using bsc_test::EnvPort;
using bsc_test::SimControl;

template <class Pred>
bool Eventually(Pred pred, int seconds = 20) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < deadline) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return pred();
}

long long IntAfter(const std::string& text, const std::string& key) {
  const size_t at = text.find("\"" + key + "\": ");
  if (at == std::string::npos) return -1;
  return std::atoll(text.c_str() + at + key.size() + 4);
}

size_t Occurrences(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

class GateSimE2E : public ::testing::Test {
 protected:
  void SetUp() override {
    port = EnvPort("GATE_SIM_PORT");
    const int control = EnvPort("GATE_SIM_CONTROL_PORT");
    if (port == 0 || control == 0)
      GTEST_SKIP() << "no gate simulator (run via ctest gate_session_e2e)";
    ASSERT_TRUE(sim.Connect(control));
    // Every test starts from the simulator's default answers.
    Ok(R"({"op":"rule","on":"12/1","do":[{"op":"pulse_rsp"}]})");
    mark = IntAfter(Ok(R"({"op":"mark"})"), "seq");
  }
  void TearDown() override {
    if (frame) frame->Stop();
  }

  std::string Ok(const std::string& op) {
    const std::string answer = sim.Call(op);
    EXPECT_NE(std::string::npos, answer.find("\"ok\": true")) << op << " -> " << answer;
    return answer;
  }
  std::string Events(const std::string& filter) {
    return sim.Call(R"({"op":"events","after":)" + std::to_string(mark) + filter + "}");
  }
  void StartFrame(const std::string& account) {
    bsc::ClientFrame::Seams s;
    const int p = port;
    s.pickAddress = [p](std::string& h, int& out) {
      h = "127.0.0.1";
      out = p;
      return true;
    };
    s.nowSeconds = [this] { return static_cast<int64_t>(std::time(nullptr)) + offset.load(); };
    frame = std::make_unique<bsc::ClientFrame>(s);
    frame->SetConfig(&config);
    frame->Start();
    bsc::LoginUser user;
    user.account = account;
    frame->Session().SubmitLoginUser(user);
  }
  bool LoggedIn() { return frame->Session().LoginState() == bsc::kLoginLoggedIn; }
  // Under Wine a reset can read as an end of stream, which the connection
  // manager notices only at its next write (in service the next pulse):
  // write now and then until pred holds.
  template <class Pred>
  bool WritingUntil(Pred pred) {
    return Eventually([&] {
      bs::CMD_Gate_PulseReq pulse;
      frame->SendCmd(&pulse);
      return pred();
    });
  }

  int port = 0;
  long long mark = 0;
  SimControl sim;
  QConfig config;
  std::atomic<int64_t> offset{0};
  std::unique_ptr<bsc::ClientFrame> frame;
};

TEST_F(GateSimE2E, HelloInClearKeyAndEncipheredLogin) {
  StartFrame("e2e-main");
  ASSERT_TRUE(Eventually([&] { return LoggedIn(); }));
  const std::string hello =
      Ok(R"({"op":"wait","for":"12/7","after":)" + std::to_string(mark) + "}");
  EXPECT_NE(std::string::npos, hello.find("\"cipher\": \"clear\""));
  EXPECT_NE(std::string::npos, hello.find("\"wire_hex\": \"1000\""));
  const std::string login =
      Ok(R"({"op":"wait","for":"13/1","after":)" + std::to_string(mark) + "}");
  EXPECT_NE(std::string::npos, login.find("\"cipher\": \"key1\""));
  EXPECT_NE(std::string::npos, login.find("\"login_account\": \"e2e-main\""));
  EXPECT_NE(std::string::npos, login.find("\"att_apptype\": 7"));
  EXPECT_NE(std::string::npos, login.find("\"logon_token\""));
  EXPECT_EQ(10001u, frame->Session().Login().baseInfo.user_id());
}

TEST_F(GateSimE2E, PulsesKeepTheLinkAndSilenceIsKickedAndReconnected) {
  StartFrame("e2e-pulse");
  ASSERT_TRUE(Eventually([&] { return LoggedIn() && frame->lastPulse.load() != 0; }));
  offset += 15;
  Ok(R"({"op":"wait","for":"12/1","after":)" + std::to_string(mark) + "}");
  Ok(R"({"op":"wait","for":"12/2","ev":"send","after":)" + std::to_string(mark) + "}");
  // The answer counts as life at this test time.
  ASSERT_TRUE(Eventually([&] { return frame->LastReceive() >= frame->NowSeconds() - 1; }));
  // The simulator stops answering pulses: 15 s of silence is still fine...
  Ok(R"({"op":"rule","on":"12/1","do":[]})");
  offset += 15;
  Ok(R"({"op":"wait","for":"12/1","count":2,"after":)" + std::to_string(mark) + "}");
  EXPECT_TRUE(frame->IsConnected());
  // ...30 s is a dead link: kicked at the next pulse, then a new session.
  offset += 15;
  Ok(R"({"op":"wait","for":"close","after":)" + std::to_string(mark) + "}");
  Ok(R"({"op":"wait","for":"13/1","count":2,"after":)" + std::to_string(mark) + "}");
  EXPECT_TRUE(Eventually([&] { return LoggedIn(); }));
  EXPECT_EQ(std::string::npos, Events("").find("undecipherable"));
}

TEST_F(GateSimE2E, ResetReconnectsWithANewHelloAndLogin) {
  StartFrame("e2e-rst");
  ASSERT_TRUE(Eventually([&] { return LoggedIn(); }));
  const uint64_t first = frame->ConnId();
  Ok(R"({"op":"rst"})");
  ASSERT_TRUE(WritingUntil([&] { return frame->ConnId() != first; }));
  Ok(R"({"op":"wait","for":"12/7","count":2,"after":)" + std::to_string(mark) + "}");
  Ok(R"({"op":"wait","for":"13/1","count":2,"after":)" + std::to_string(mark) + "}");
  ASSERT_TRUE(Eventually([&] { return LoggedIn(); }));
  EXPECT_NE(first, frame->ConnId());
}

TEST_F(GateSimE2E, AnotherLoginThenCloseLeavesTheClientDown) {
  StartFrame("e2e-another");
  ASSERT_TRUE(Eventually([&] { return LoggedIn(); }));
  Ok(R"({"op":"logout","reason":1})");
  ASSERT_TRUE(Eventually([&] { return frame->LoggedInElsewhere(); }));
  // A reset: the connection manager notices an end of stream only at the
  // next write, a reset at once.
  Ok(R"({"op":"rst"})");
  ASSERT_TRUE(
      WritingUntil([&] { return frame->Session().LoginState() == bsc::kLoginDisconnected; }));
  const std::string again =
      sim.Call(R"({"op":"wait","for":"accept","count":2,"timeout_ms":1500,"after":)" +
               std::to_string(mark) + "}");
  EXPECT_NE(std::string::npos, again.find("\"ok\": false")) << again;
}

TEST_F(GateSimE2E, MalformedTrafficCausesNoCrashAndNoSpin) {
  StartFrame("e2e-faults");
  ASSERT_TRUE(Eventually([&] { return LoggedIn(); }));
  Ok(R"({"op":"pulse","split":3,"gap_ms":30})");
  Ok(R"({"op":"wait","for":"12/2","after":)" + std::to_string(mark) + "}");
  Ok(R"({"op":"send","kind":13,"subid":2,"body_hex":"0800"})");
  Ok(R"({"op":"send","kind":12,"subid":3,"body_hex":"ffffffffffffffff"})");
  Ok(R"({"op":"send","kind":12,"subid":3,"body_hex":"0102","encipher":false})");
  Ok(R"({"op":"transfer","kind":13,"subid":2,"data_hex":"ff"})");
  Ok(R"({"op":"transfer","kind":99,"subid":1,"data_hex":"0801"})");
  Ok(R"({"op":"pulse"})");
  Ok(R"({"op":"wait","for":"12/2","count":2,"after":)" + std::to_string(mark) + "}");
  EXPECT_TRUE(LoggedIn());
  // A bad and then a huge length prefix: the link is dropped, the client comes back.
  Ok(R"({"op":"raw","hex":"00000003000600"})");
  Ok(R"({"op":"wait","for":"12/7","count":2,"timeout_ms":15000,"after":)" + std::to_string(mark) +
     "}");
  ASSERT_TRUE(Eventually([&] { return LoggedIn(); }));
  Ok(R"({"op":"send","kind":12,"subid":1,"length":2147483647})");
  Ok(R"({"op":"wait","for":"12/7","count":3,"timeout_ms":15000,"after":)" + std::to_string(mark) +
     "}");
  EXPECT_TRUE(Eventually([&] { return LoggedIn(); }));
}

TEST_F(GateSimE2E, SendersOnThreeThreadsDuringReKeysAndReconnectsAllDecipher) {
  StartFrame("e2e-senders");
  ASSERT_TRUE(Eventually([&] { return LoggedIn(); }));
  std::atomic<bool> done{false};
  std::atomic<int> sent{0};
  std::vector<std::thread> senders;
  for (int t = 0; t < 3; ++t) {
    senders.emplace_back([&, t] {
      while (!done.load()) {
        bs::CMD_Gate_PulseReq pulse;
        pulse.msg.set_speed_data(static_cast<uint32_t>(t));
        if (frame->SendCmd(&pulse)) ++sent;
        // A wrapped request as SendJoinReq builds it, without its log line.
        bs::CMD_Match_JoinReq join;
        join.route.src_apptype = bsc::kAppTypeMatch;
        join.route.src_appid = static_cast<uint32_t>(100 + t);
        bs::CMD_Gate_TransferDataReq transfer;
        bsc::WrapInTransfer(join, transfer);
        frame->SendCmd(&transfer);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
    });
  }
  for (int round = 0; round < 6; ++round) {
    Ok(R"({"op":"rekey"})");
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    if (round == 3) {
      const uint64_t before = frame->ConnId();
      Ok(R"({"op":"rst"})");
      // Every re-key brings its own login, so wait for the new connection.
      Ok(R"({"op":"wait","for":"accept","count":2,"after":)" + std::to_string(mark) + "}");
      Eventually([&] { return LoggedIn() && frame->ConnId() != before; });
    }
  }
  done = true;
  for (auto& t : senders) t.join();
  ASSERT_TRUE(Eventually([&] { return LoggedIn(); }));
  EXPECT_GT(sent.load(), 0);
  const std::string received = Events(R"(,"ev":"recv")");
  EXPECT_GT(Occurrences(received, "\"ev\": \"recv\""), 20u);
  EXPECT_EQ(std::string::npos, received.find("undecipherable"));
  EXPECT_EQ(std::string::npos, received.find("\"error\""));
}

}  // namespace

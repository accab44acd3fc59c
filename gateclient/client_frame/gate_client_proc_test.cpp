// The gate session's unwrapping and dispatch order, driven directly on a
// frame that is not started (so the test thread plays the job thread):
// publisher, own handlers, game registry, hall sink; bundles in order.
#include "gateclient/client_frame/gate_client_proc.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gateclient/client_frame/client_frame.h"
#include "gateclient/client_frame/fake_agent_test_util.h"
#include "netcore/command/cmd_subscriber.h"

namespace {

using bsc_test::Encode;

std::vector<std::string>* g_trace = nullptr;

std::string Name(const char* who, bs::CMD_base* cmd, int kind, int subid) {
  std::string s = std::string(who) + ":" + std::to_string(kind) + "/" + std::to_string(subid);
  return cmd == nullptr ? s + "(null)" : s;
}

struct Registry : bsc::IGameRegistryHook {
  void OnLaunchCommand(bs::CMD_base* c, uint64_t plan, const TransferInfo& i) override {
    g_trace->push_back(Name("launch", c, i.kind, i.subid) + "@" + std::to_string(plan));
  }
  void ForwardToPlan(bs::CMD_base* c, uint64_t plan, const TransferInfo& i) override {
    g_trace->push_back(Name("plan", c, i.kind, i.subid) + "@" + std::to_string(plan));
  }
  void ForwardToPlanOrAll(bs::CMD_base* c, uint64_t plan, const TransferInfo& i) override {
    g_trace->push_back(Name("planOrAll", c, i.kind, i.subid) + "@" + std::to_string(plan) +
                       " state=" + std::to_string(state ? state() : -1));
    lastRoute = i.route;
  }
  void Broadcast(bs::CMD_base* e) override {
    g_trace->push_back(Name("broadcast", e, e->kind, e->subid));
  }
  std::function<int()> state;
  bs::CmdRouteHeader lastRoute;
};

struct Sink : bsc::IHallSinkHook {
  void DispatchCommand(bs::CMD_base* c, uint64_t session) override {
    g_trace->push_back(Name("sink", c, c->kind, c->subid) + "@" + std::to_string(session));
  }
  void OnFrameTimer() override {}
};

void Published(bs::CMD_base* c) { g_trace->push_back(Name("pub", c, c->kind, c->subid)); }

class GateSessionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_trace = &trace;
    frame.SetHooks(&registry, &sink, nullptr);
    registry.state = [this] { return frame.Session().LoginState(); };
    frame.Session().Register();
    all = new bsc::SubscribeCommand<>(&Published);
    all->SetPersistent(true);
    frame.GetPublisher().Subscribe(all, 0, 0);
  }
  void TearDown() override {
    frame.GetPublisher().Unsubscribe(all, 0, 0);  // releases it
    g_trace = nullptr;
  }

  void Receive(uint32_t kind, uint32_t subid, const std::string& data, uint64_t session = 0,
               uint32_t apptype = 7, uint32_t appid = 2) {
    auto* cmd = new bs::CMD_Gate_TransferDataReq();
    cmd->msg.set_data_cmd_kind(kind);
    cmd->msg.set_data_cmd_subid(subid);
    cmd->msg.set_data(data);
    cmd->msg.set_att_apptype(apptype);
    cmd->msg.set_att_appid(appid);
    if (session != 0) cmd->msg.set_att_sessionid(session);
    cmd->route.conn_id = 77;
    cmd->AttachDeleteHandler();
    frame.Session().OnGateCmd(cmd);
    cmd->handler->Release();
  }

  std::vector<std::string> trace;
  bsc::SubscribeCommand<>* all = nullptr;
  bsc::ClientFrame frame;  // never started
  Registry registry;
  Sink sink;
};

TEST_F(GateSessionTest, LoginAnswerGoesToPublisherThenHandlerThenRegistryThenSink) {
  bs::client::LoginRsp rsp;
  rsp.set_login_result(bs::client::LoginRsp::SUCCESS);
  Receive(13, 2, Encode(rsp), 9);
  const std::vector<std::string> want = {"pub:13/2", "planOrAll:13/2@9 state=5", "sink:13/2@9"};
  EXPECT_EQ(want, trace);
  EXPECT_EQ(77u, registry.lastRoute.conn_id);
  EXPECT_EQ(7u, registry.lastRoute.src_apptype);
  EXPECT_EQ(2u, registry.lastRoute.src_appid);
  EXPECT_EQ(77u, frame.Session().Login().lastLoginRsp.route.conn_id);
}

TEST_F(GateSessionTest, EachKindReachesItsPartsOnly) {
  bs::userinfo::RegisterCheckRsp r;
  Receive(23, 2, Encode(r), 3);
  bs::matchclient::JoinRsp join;
  join.set_result(bs::matchclient::JoinResult_0);
  join.set_plan_id(4);
  Receive(14, 4, Encode(join), 4);
  bs::hallclient::AllGroupRsp groups;
  Receive(18, 2, Encode(groups), 5);
  Receive(18, 5, "", 6);          // no class for 18/5: raw bytes only
  Receive(99, 1, "\x08\x01", 7);  // no factory for the kind
  Receive(13, 2, "\xff", 8);      // does not decode
  const std::vector<std::string> want = {"pub:23/2",          "sink:23/2@3",
                                         "pub:14/4",          "launch:14/4@4",
                                         "sink:14/4@4",       "pub:18/2",
                                         "plan:18/2@5",       "sink:18/2@5",
                                         "plan:18/5(null)@6", "planOrAll:13/2(null)@8 state=0"};
  EXPECT_EQ(want, trace);
}

TEST_F(GateSessionTest, BundleEntriesKeepOrderAndSkipWhatCannotBeBuilt) {
  bs::client::PackedMessage bundle;
  bundle.set_sequence(1);
  bundle.set_att_sessionid(42);
  bundle.set_my_apptype(13);
  bundle.set_my_appid(8);
  bs::matchclient::MatchStart start;
  bs::hallclient::AllGroupRsp groups;
  const std::pair<uint32_t, uint32_t> entries[] = {{14, 15}, {99, 1}, {18, 2}, {14, 4}};
  for (const auto& e : entries) {
    bundle.add_cmd_kind(e.first);
    bundle.add_cmd_subid(e.second);
  }
  bundle.add_cmd_data(Encode(start));
  bundle.add_cmd_data("x");
  bundle.add_cmd_data(Encode(groups));  // the fourth entry has no data: not delivered
  Receive(13, 12, Encode(bundle), 5, 13, 8);
  const std::vector<std::string> want = {"pub:14/15", "launch:14/15@42", "sink:14/15@42",
                                         "pub:18/2",  "plan:18/2@42",    "sink:18/2@42"};
  EXPECT_EQ(want, trace);
}

TEST_F(GateSessionTest, LogoutAnotherLoginStopsReconnectsOnlyForReasonOne) {
  bs::client::LogoutRsp normal;
  normal.set_logout_reason(bs::client::LogoutRsp::Normal);
  Receive(13, 4, Encode(normal));
  EXPECT_FALSE(frame.IsStopped());
  bs::client::LogoutRsp other;
  other.set_logout_reason(bs::client::LogoutRsp::AnotherLogin);
  Receive(13, 4, Encode(other));
  EXPECT_TRUE(frame.IsStopped());
}

TEST_F(GateSessionTest, LoginFailureDoesNotParseTheInfoBuffers) {
  bs::types::BaseUserInfo base;
  base.set_user_id(5);
  bs::client::LoginRsp rsp;
  rsp.set_login_result(bs::client::LoginRsp::FALSEPW);
  rsp.set_base_info_buff(Encode(base));
  Receive(13, 2, Encode(rsp));
  EXPECT_EQ(bsc::kLoginFailed, frame.Session().LoginState());
  EXPECT_TRUE(frame.Session().LoginAnswered());
  EXPECT_FALSE(frame.Session().LoginOk());
  EXPECT_FALSE(frame.Session().Login().baseInfo.has_user_id());
}

TEST_F(GateSessionTest, ANewerMatchDetailReplacesTheCachedOne) {
  bs::hallclient::GetMatchDetailRsp rsp;
  rsp.set_plan_id(5);
  rsp.set_app_id(1);
  Receive(18, 14, Encode(rsp));
  rsp.set_app_id(2);
  Receive(18, 14, Encode(rsp));
  rsp.set_plan_id(0);
  Receive(18, 14, Encode(rsp));
  ASSERT_NE(nullptr, frame.Session().FindMatchDetail(5));
  EXPECT_EQ(2u, frame.Session().FindMatchDetail(5)->msg.app_id());
  EXPECT_EQ(nullptr, frame.Session().FindMatchDetail(0));
  EXPECT_EQ(1u, frame.Session().matchDetails.size());
}

TEST_F(GateSessionTest, FactoriesAndWrapTableAgree) {
  for (uint32_t kind : {13u, 14u, 18u, 23u}) {
    for (uint32_t subid = 0; subid < 120; ++subid) {
      // Empty bytes decode unless the message has required fields.
      bs::CMD_base* cmd = frame.Session().CreateCmd(kind, subid, "");
      if (!bsc::IsWrappable(kind, subid)) {
        EXPECT_EQ(nullptr, cmd) << kind << "/" << subid;
      }
      if (cmd != nullptr) {
        EXPECT_EQ(kind, cmd->kind);
        EXPECT_EQ(subid, cmd->subid);
        delete cmd;
      }
    }
  }
  EXPECT_FALSE(bsc::IsWrappable(12, 3));
  EXPECT_EQ(nullptr, frame.Session().CreateCmd(0x1000D, 1, ""));
}

}  // namespace

#include "nfhall/nfhall_impl.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <thread>

#include <gtest/gtest.h>

#include "interface/hall/hall_blocks.h"
#include "netcore/command/gate_commands.h"
#include "nfhall/hall_test_util.h"
#include "nfhall/user_block.h"

namespace nfhall {
namespace {

std::vector<uint8_t> Hex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(std::stoul(hex.substr(i, 2), nullptr, 16)));
  }
  return out;
}

class HallSinkTest : public ::testing::Test {
 protected:
  HallSinkTest() : sink(RecordingSeams(gate)) { sink.SetHallControl(&lobby); }

  void LogIn() {
    bs::CMD_Client_LoginRsp rsp;
    rsp.msg.set_login_result(bs::client::LoginRsp::SUCCESS);
    sink.DispatchCommand(&rsp);
  }

  // Enter room 1 (kind 502) and receive a detail answer for `item`.
  void EnterWithDetail(const bs::hallclient::TitleMatchItem& item) {
    sink.OnEventEnterRoom(10001, 502, 1);
    bs::CMD_Hall_GetMatchDetailRsp rsp;
    rsp.msg.set_detail_titlematch(item.SerializeAsString());
    sink.DispatchCommand(&rsp);
  }

  static bs::hallclient::TitleMatchItem Item() {
    bs::hallclient::TitleMatchItem item;
    item.set_plan_id(7);
    item.set_plan_type(1);
    item.set_game_kind(502);
    item.set_app_id(1);
    item.set_max_wait_seconds(60);
    auto* fee = item.add_join_fee();
    fee->set_id(10);
    fee->set_count(0x100000064ULL);  // low 32 bits only
    auto* p1 = item.add_plan_prizes();
    p1->set_rank_begein(1);
    p1->set_rank_end(3);
    p1->set_other_award("gold");
    auto* p2 = item.add_plan_prizes();
    p2->set_prize_type(1);
    auto* p3 = item.add_plan_prizes();
    p3->set_rank_begein(4);
    p3->set_rank_end(9);
    p3->set_other_award(std::string(200, 'x'));
    return item;
  }

  GateRecord gate;
  RecordingLobby lobby;
  NFHallSinkImpl sink;
};

TEST_F(HallSinkTest, StartsOnceAndClosesOnce) {
  sink.SetHallControl(&lobby);
  EXPECT_EQ(gate.starts, 1);
  sink.OnEventCloseGame();
  sink.OnEventCloseGame();
  EXPECT_EQ(gate.stops, 1);
  // After close game nothing reaches the gate session.
  NFHallUserInfo info{};
  sink.OnEventUserInfo(&info);
  sink.OnEventSignUp(1, 502, 1);
  EXPECT_TRUE(gate.users.empty());
  EXPECT_TRUE(gate.joins.empty());
}

TEST_F(HallSinkTest, EnterRoomBeforeLoginAsksAgainOnTheLoginAnswer) {
  EXPECT_TRUE(sink.OnEventEnterRoom(10001, 502, 1));
  ASSERT_EQ(gate.details.size(), 1u);
  bs::CMD_Client_LoginRsp failed;
  failed.msg.set_login_result(bs::client::LoginRsp::NOTEXIST);
  sink.DispatchCommand(&failed);
  EXPECT_FALSE(sink.LoggedIn());
  LogIn();
  ASSERT_EQ(gate.details.size(), 2u);
  EXPECT_EQ(gate.details[1], std::make_pair(0u, 1u));
  EXPECT_FALSE(sink.OnEventEnterRoom(10001, 502, 2));
  EXPECT_EQ(gate.details.size(), 3u);
  // A logged-in session keeps its user.
  NFHallUserInfo info{};
  sink.OnEventUserInfo(&info);
  EXPECT_TRUE(gate.users.empty());
}

TEST_F(HallSinkTest, SignUpAndOutSendJoinToTheServerId) {
  sink.OnEventSignUp(10001, 502, 9);
  sink.OnEventSignOut(10001, 502, 9);
  ASSERT_EQ(gate.joins.size(), 2u);
  EXPECT_EQ(gate.joins[0], std::make_pair(9u, false));
  EXPECT_EQ(gate.joins[1], std::make_pair(9u, true));
}

TEST_F(HallSinkTest, MatchDetailGivesTitleFeePrizesAndEnd) {
  EnterWithDetail(Item());
  const auto calls = lobby.Calls();
  ASSERT_EQ(calls.size(), 5u);
  for (const auto& c : calls) {
    EXPECT_EQ(c.kind, 502);
    EXPECT_EQ(c.server, 1);
  }
  EXPECT_EQ(calls[0].main, 3);
  EXPECT_EQ(calls[0].sub, 100);
  EXPECT_EQ(calls[0].body, Hex("f60100000000000000000000040000000300000000000000"));
  EXPECT_EQ(calls[1].main, 3);
  EXPECT_EQ(calls[1].sub, 105);
  EXPECT_EQ(calls[1].body, Hex("6400000000000000000000003c000000"));
  EXPECT_EQ(calls[2].main, 300);
  EXPECT_EQ(calls[2].sub, 2);
  EXPECT_EQ(calls[2].body, Hex("01000000030000000000000000000000000000000400676f6c64"));
  // The long award is cut to 149 bytes.
  ASSERT_EQ(calls[3].body.size(), 22u + 149u);
  EXPECT_EQ(calls[3].body[20], 149);
  EXPECT_EQ(calls[4].main, 300);
  EXPECT_EQ(calls[4].sub, 11);
  EXPECT_FALSE(calls[4].hasBody);
  EXPECT_EQ(sink.PlanId(), 7u);
  EXPECT_EQ(gate.displays.size(), 1u);  // the start-point query it triggers
}

TEST_F(HallSinkTest, MatchDetailForAnotherRoomOrUnparsedIsIgnored) {
  auto item = Item();
  item.set_app_id(2);
  EnterWithDetail(item);
  bs::CMD_Hall_GetMatchDetailRsp bad;
  bad.msg.set_detail_titlematch("\xff\xff\xff");
  sink.DispatchCommand(&bad);
  bs::CMD_Hall_GetMatchDetailRsp absent;
  sink.DispatchCommand(&absent);
  EXPECT_TRUE(lobby.Calls().empty());
  EXPECT_EQ(sink.PlanId(), 0u);
}

TEST_F(HallSinkTest, StartPointsTakeTheFirstOpenEntry) {
  EnterWithDetail(Item());
  lobby.Clear();
  bs::CMD_Hall_PlanAllStartPoint msg;
  msg.msg.set_plan_id(7);
  bs::hallclient::startPointItem a, b;
  a.set_player_count(10);
  a.set_current_sign(1);
  b.set_player_count(20);
  b.set_current_sign(2);
  b.set_start_flag(bs::hallclient::startPointItem::SIGNUP_ALLOW);
  msg.msg.add_start_points(a.SerializeAsString());
  msg.msg.add_start_points(b.SerializeAsString());
  sink.DispatchCommand(&msg);
  msg.msg.set_plan_id(8);  // another plan: nothing
  sink.DispatchCommand(&msg);
  const auto calls = lobby.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].main, 300);
  EXPECT_EQ(calls[0].sub, 12);
  EXPECT_EQ(calls[0].body, Hex("1400000002000000"));
}

struct JoinCase {
  bool withdraw;
  int result;
  uint32_t field11;
  int state;  // -1: the text block instead
};

TEST_F(HallSinkTest, JoinAnswerStateTable) {
  const JoinCase cases[] = {
      {false, 0, 0, 3},   {false, 1, 0, 3},  {false, 2, 0, 7},   {false, 10, 0, 7},
      {false, 10, 10, 9}, {false, 5, 0, -1}, {false, 13, 0, -1}, {false, 15, 0, -1},
      {true, 0, 0, 4},    {true, 8, 0, 4},   {true, 9, 0, 4},    {true, 13, 0, 5},
      {true, 1, 0, 5},
  };
  sink.OnEventEnterRoom(0x01020304, 502, 1);
  for (const JoinCase& c : cases) {
    SCOPED_TRACE(testing::Message() << "withdraw " << c.withdraw << " result " << c.result);
    lobby.Clear();
    bs::CMD_Match_JoinRsp rsp;
    rsp.msg.set_withdraw(c.withdraw);
    rsp.msg.set_result(static_cast<bs::matchclient::JoinResult>(c.result));
    rsp.msg.set_plan_type(c.field11);
    rsp.msg.set_game_kind(502);
    rsp.msg.set_field_9(2);
    rsp.msg.set_field_10(30);
    rsp.msg.set_field_3("full");
    rsp.route.src_appid = 0x10009;  // low 16 bits are the server id
    sink.DispatchCommand(&rsp);
    const auto calls = lobby.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_EQ(calls[0].sub, 12);
    EXPECT_EQ(calls[0].body, Hex("1e00000002000000"));
    EXPECT_EQ(calls[1].kind, 502);
    EXPECT_EQ(calls[1].server, 9);
    if (c.state < 0) {
      EXPECT_EQ(calls[1].main, 10);
      EXPECT_EQ(calls[1].sub, 100);
      EXPECT_EQ(calls[1].body, Hex("0310040066756c6c"));
    } else {
      EXPECT_EQ(calls[1].main, 300);
      EXPECT_EQ(calls[1].sub, 1);
      std::vector<uint8_t> want = Hex("0403020100000000");
      want[6] = static_cast<uint8_t>(c.state);
      EXPECT_EQ(calls[1].body, want);
    }
  }
}

TEST_F(HallSinkTest, MatchEventsAndLocalNotices) {
  bs::CMD_Match_MatchPrize prize;
  prize.msg.set_field_7(502);
  prize.msg.set_field_8(3);
  sink.DispatchCommand(&prize);
  bs::CMD_Match_PlayerEndOneMatch end;
  end.msg.set_field_6(503);
  end.msg.set_field_5(4);
  sink.DispatchCommand(&end);
  bs::CMD_base exited(bs::kCmdKindLocalHall, 199), registered(bs::kCmdKindLocalHall, 200),
      other(bs::kCmdKindLocalHall, 201);
  sink.DispatchCommand(&exited);
  sink.DispatchCommand(&registered);
  sink.DispatchCommand(&other);
  const auto calls = lobby.Calls();
  ASSERT_EQ(calls.size(), 4u);
  EXPECT_EQ(calls[0].kind, 502);
  EXPECT_EQ(calls[0].server, 3);
  EXPECT_EQ(calls[0].main, 100);
  EXPECT_EQ(calls[0].sub, 1003);
  EXPECT_EQ(calls[1].kind, 503);
  EXPECT_EQ(calls[1].server, 4);
  EXPECT_EQ(calls[1].sub, 1003);
  EXPECT_EQ(calls[2].op, "process");
  EXPECT_EQ(calls[2].main, 99);
  EXPECT_EQ(calls[2].sub, 30);
  EXPECT_EQ(calls[3].sub, 31);
}

TEST_F(HallSinkTest, UnknownKindsSubidsAndWrongClassesAreIgnored) {
  bs::CMD_base plain13(bs::kCmdKindClient, 2);  // right ids, no message
  bs::CMD_base far13(bs::kCmdKindClient, 99), beyond(bs::kCmdKindMatch, 60), odd(77, 2);
  bs::CMD_Match_MatchStart start;
  sink.DispatchCommand(&plain13);
  sink.DispatchCommand(&far13);
  sink.DispatchCommand(&beyond);
  sink.DispatchCommand(&odd);
  sink.DispatchCommand(&start);
  sink.DispatchCommand(nullptr);
  EXPECT_TRUE(lobby.Calls().empty());
  EXPECT_FALSE(sink.LoggedIn());
}

TEST_F(HallSinkTest, FundAnswerOnlyForTheOwnUser) {
  sink.OnEventEnterRoom(10001, 502, 1);
  NFHallUserFund fund{};
  fund.reserved0[0] = 0xAA;
  sink.OnEventUserFund(&fund);
  bs::CMD_Client_QueryFundRsp other;
  other.msg.set_user_id(10002);
  other.msg.add_fund_items()->set_id(10);
  sink.DispatchCommand(&other);
  bs::CMD_Client_QueryFundRsp none;
  none.msg.set_user_id(10001);
  none.msg.add_fund_items()->set_id(12);
  sink.DispatchCommand(&none);
  EXPECT_TRUE(lobby.Calls().empty());

  bs::CMD_Client_QueryFundRsp own;
  own.msg.set_user_id(10001);
  auto* gold = own.msg.add_fund_items();
  gold->set_id(10);
  gold->set_count(0x0102030405060708ULL);
  auto* egg = own.msg.add_fund_items();
  egg->set_id(11);
  egg->set_count(0x1F0000002AULL);
  sink.DispatchCommand(&own);
  const auto calls = lobby.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].op, "process");
  EXPECT_EQ(calls[0].main, 99);
  EXPECT_EQ(calls[0].sub, 5);
  EXPECT_EQ(calls[0].body, Hex("aa0000002a00000000000000000000000807060504030201"
                               "0000000000000000"));
}

TEST_F(HallSinkTest, StartPointThrottleAndPauseAcrossTheWrap) {
  EnterWithDetail(Item());  // tick 5000: one query
  ASSERT_EQ(gate.displays.size(), 1u);
  gate.tick = 5999;
  sink.QueryStartPoint();
  EXPECT_EQ(gate.displays.size(), 1u);
  gate.tick = 6000;
  sink.QueryStartPoint();
  EXPECT_EQ(gate.displays.size(), 2u);

  sink.SetLastStartPointQuery(0xFFFFFF00u);
  gate.tick = 0x100;  // 512 ms later, across the wrap
  sink.QueryStartPoint();
  EXPECT_EQ(gate.displays.size(), 2u);
  gate.tick = 0x300;  // 1024 ms later
  sink.QueryStartPoint();
  EXPECT_EQ(gate.displays.size(), 3u);

  // A sign-up pauses the queries (the time is still taken) until the next
  // enter room.
  sink.OnEventSignUp(10001, 502, 1);
  gate.tick += 5000;
  sink.FrameHook()->OnFrameTimer();
  EXPECT_EQ(gate.displays.size(), 3u);
  EnterWithDetail(Item());
  EXPECT_EQ(gate.displays.size(), 4u);
}

TEST_F(HallSinkTest, PostLocalCommandPostsANoticeAndFreesARefusedOne) {
  sink.PostLocalCommand(199);
  ASSERT_EQ(gate.posted.size(), 1u);
  EXPECT_EQ(gate.posted[0]->kind, bs::kCmdKindLocalHall);
  EXPECT_EQ(gate.posted[0]->subid, 199);
  gate.posted[0]->handler->Release();

  GateRecord refusing;
  auto seams = RecordingSeams(refusing);
  seams.post = [](bs::CMD_base*) { return false; };
  NFHallSinkImpl other(seams);
  other.PostLocalCommand(200);  // freed by the sink (ASan checks the leak)
}

// Enter room on the launcher's thread racing the login answer on the job
// thread: however they interleave, a match detail request goes out while the
// session is logged in (the second request of an enter room made before the
// login is never lost, and none stays pending). The job thread starts its
// answer while the enter room is inside its first request; both sides wait
// a varying while, so the answer lands at every point of what follows.
TEST(HallEnterRoomRace, ADetailRequestFollowsTheLoginAnswer) {
  bs::CMD_Client_LoginRsp ok;
  ok.msg.set_login_result(bs::client::LoginRsp::SUCCESS);
  const int kRounds = 4000;
  std::atomic<NFHallSinkImpl*> current{nullptr};
  std::atomic<int> go{-1};
  std::atomic<int> answered{-1};
  std::atomic<int> afterLogin{0};
  std::atomic<int> inRequest{0};
  auto spin = [](unsigned n) {
    std::atomic<unsigned> sink{0};
    for (unsigned i = 0; i < n; ++i) sink.fetch_add(1, std::memory_order_relaxed);
  };
  std::thread job([&] {
    for (int round = 0; round < kRounds; ++round) {
      while (go.load() < round) {
      }
      spin((round * 13u) % 50u);
      current.load()->DispatchCommand(&ok);
      answered.store(round);
    }
  });
  GateRecord gate;
  for (int round = 0; round < kRounds; ++round) {
    NFHallSinkImpl::Seams seams = RecordingSeams(gate);
    afterLogin = 0;
    inRequest = 0;
    seams.sendMatchDetail = [&](uint32_t, uint32_t) {
      if (current.load()->LoggedIn()) ++afterLogin;
      if (inRequest.exchange(1) == 0) {
        go.store(round);
        spin((round * 7919u) % 400u);
      }
    };
    NFHallSinkImpl sink(seams);
    current = &sink;
    sink.OnEventEnterRoom(10001, 502, 1);
    while (answered.load() != round) {
    }
    if (afterLogin.load() < 1) {
      go.store(kRounds);  // lets the job thread run out
      job.join();
      FAIL() << "no detail request after the login answer, round " << round;
    }
  }
  job.join();
}

TEST(HallUserBlock, FieldsDecodeAndFullFieldsStillEnd) {
  NFHallUserInfo info;
  std::memset(&info, 'A', sizeof(info));  // no NUL anywhere
  info.channelId = 11;
  info.siteId = 12;
  info.barId = 13;
  std::memcpy(info.systemSerial, "sys\0junk", 8);
  const bsc::LoginUser user = DecodeUserInfo(info);
  EXPECT_EQ(user.channelId, 11u);
  EXPECT_EQ(user.siteId, 12u);
  EXPECT_EQ(user.barId, 13u);
  EXPECT_EQ(user.account, std::string(32, 'A'));
  EXPECT_EQ(user.passwordDigest, std::string(33, 'A'));
  EXPECT_EQ(user.systemSerial, "sys");
  EXPECT_EQ(user.biosSerial, std::string(16, 'A'));
  EXPECT_EQ(user.cpuSerial, std::string(16, 'A'));
  EXPECT_EQ(user.diskSerial, std::string(16, 'A'));
  EXPECT_EQ(user.macAddress, std::string(16, 'A'));
  EXPECT_EQ(user.guid, std::string(64, 'A'));
}

TEST(HallUserBlock, UserInfoGoesToTheJobThreadBeforeLogin) {
  GateRecord gate;
  NFHallSinkImpl sink(RecordingSeams(gate));
  // The block on the heap, exactly 300 bytes: ASan sees any read past it.
  std::unique_ptr<NFHallUserInfo> info(new NFHallUserInfo);
  std::memset(info.get(), 0, sizeof(NFHallUserInfo));
  std::memcpy(info->account, "demo", 4);
  std::memset(info->guid, 'g', sizeof(info->guid));
  sink.OnEventUserInfo(info.get());
  ASSERT_EQ(gate.users.size(), 1u);
  EXPECT_EQ(gate.users[0].account, "demo");
  EXPECT_EQ(gate.users[0].guid, std::string(64, 'g'));
}

}  // namespace
}  // namespace nfhall

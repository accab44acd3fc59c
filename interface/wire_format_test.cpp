// Golden encodings of the schemas' traps: present-at-default fields written,
// unset ones not; enums whose first value is not 0; required fields;
// packed and unpacked repeated numbers; unknown field numbers and
// out-of-range enum values kept and written back after the known fields;
// empty bodies for every message.
#include <google/protobuf/descriptor.h>
#include <google/protobuf/message.h>
#include <google/protobuf/stubs/logging.h>
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "client/client.pb.h"
#include "client/hallclient.pb.h"
#include "client/matchclient.pb.h"
#include "client/userinfo.pb.h"
#include "gate/gate.pb.h"
#include "types/types.pb.h"

namespace {

namespace mc = bs::matchclient;

std::string B(std::initializer_list<int> bytes) {
  std::string s;
  for (int b : bytes) s.push_back(static_cast<char>(b));
  return s;
}

std::string Hex(const std::string& s) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    if (!out.empty()) out += ' ';
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

#define EXPECT_BYTES(msg, ...) EXPECT_EQ(Hex((msg).SerializeAsString()), Hex(B(__VA_ARGS__)))

TEST(WireFormat, GateGoldens) {
  bs::gate::HelloReq hello;
  hello.set_ad_id(0);  // as sent: present at its default
  EXPECT_BYTES(hello, {0x10, 0x00});

  bs::gate::PulseRsp pulse;
  pulse.set_speed_data(5);
  pulse.set_attachd_data("ab");
  EXPECT_BYTES(pulse, {0x10, 0x05, 0x1A, 0x02, 'a', 'b'});

  bs::gate::TransferDataReq transfer;
  transfer.set_att_apptype(13);
  transfer.set_att_appid(7);
  transfer.set_data_cmd_kind(14);
  transfer.set_data_cmd_subid(3);
  transfer.set_data(B({0x18, 0x00}));
  transfer.set_att_sessionid(300);
  EXPECT_BYTES(transfer,
               {0x08, 13, 0x10, 7, 0x18, 14, 0x20, 3, 0x2A, 2, 0x18, 0x00, 0x40, 0xAC, 0x02});
}

TEST(WireFormat, UnknownFieldsAreKeptAndWrittenAfterTheKnownOnes) {
  bs::gate::PulseRsp pulse;  // has no field 1
  ASSERT_TRUE(pulse.ParseFromString(B({0x08, 0x07, 0x10, 0x05})));
  EXPECT_EQ(pulse.speed_data(), 5u);
  EXPECT_EQ(pulse.unknown_fields().field_count(), 1);
  EXPECT_BYTES(pulse, {0x10, 0x05, 0x08, 0x07});

  bs::types::ExtraUserInfo extra;  // numbers 6 to 8 and 10 to 12 are free
  ASSERT_TRUE(extra.ParseFromString(B({0x32, 0x01, 'x', 0x4A, 0x01, 'm', 0x58, 0x02})));
  EXPECT_EQ(extra.mobile(), "m");
  EXPECT_BYTES(extra, {0x4A, 0x01, 'm', 0x32, 0x01, 'x', 0x58, 0x02});

  bs::hallclient::listItem item;  // numbering starts at 2
  ASSERT_TRUE(item.ParseFromString(B({0x08, 0x05, 0x10, 0x06})));
  EXPECT_EQ(item.list_id(), 6u);
  EXPECT_BYTES(item, {0x10, 0x06, 0x08, 0x05});

  // The lite runtime keeps the raw bytes: any wire type comes back unchanged.
  mc::JoinReq join;
  const std::string unknown =
      B({0x4A, 0x03, 'a', 'b', 'c', 0x55, 1, 2, 3, 4, 0x59, 1, 2, 3, 4, 5, 6, 7, 8});
  ASSERT_TRUE(join.ParseFromString(unknown + B({0x18, 0x01})));
  EXPECT_TRUE(join.withdraw());
  EXPECT_EQ(join.unknown_fields(), unknown);
  EXPECT_EQ(Hex(join.SerializeAsString()), Hex(B({0x18, 0x01}) + unknown));

  // A known number with the wrong wire type is unknown data, not an error.
  mc::JoinRsp rsp;
  ASSERT_TRUE(rsp.ParseFromString(B({0x12, 0x01, 0x00})));
  EXPECT_FALSE(rsp.has_result());
  EXPECT_EQ(Hex(rsp.SerializeAsString()), Hex(B({0x12, 0x01, 0x00})));
}

TEST(WireFormat, EnumValuesOutsideTheirEnumBecomeUnknownVarints) {
  bs::types::FundItem fund;
  ASSERT_TRUE(fund.ParseFromString(B({0x08, 0x08, 0x10, 0x03})));
  EXPECT_FALSE(fund.has_type());
  EXPECT_EQ(fund.type(), bs::types::ALL_TYPE);
  EXPECT_BYTES(fund, {0x10, 0x03, 0x08, 0x08});

  bs::client::LoginRsp login;
  ASSERT_TRUE(login.ParseFromString(B({0x08, 0x0C})));
  EXPECT_FALSE(login.has_login_result());
  EXPECT_EQ(login.login_result(), bs::client::LoginRsp::UNKOWN);
  EXPECT_BYTES(login, {0x08, 0x0C});

  bs::hallclient::startPointItem point;
  ASSERT_TRUE(point.ParseFromString(B({0x28, 0x07})));
  EXPECT_EQ(point.start_flag(), bs::hallclient::startPointItem::SIGNUP_FORBID);
  EXPECT_FALSE(point.has_start_flag());
  EXPECT_BYTES(point, {0x28, 0x07});

  mc::JoinRsp join;
  ASSERT_TRUE(join.ParseFromString(B({0x10, 0x11, 0x08, 0x01})));
  EXPECT_FALSE(join.has_result());
  EXPECT_EQ(join.result(), 1000);
  EXPECT_TRUE(join.withdraw());
  EXPECT_EQ(Hex(join.SerializeAsString()), Hex(B({0x08, 0x01, 0x10, 0x11})));

  mc::TopRankList top;  // a repeated enum drops the stranger, keeps it as unknown
  ASSERT_TRUE(top.ParseFromString(B({0x20, 0x00, 0x20, 0x03, 0x20, 0x02})));
  ASSERT_EQ(top.field_4_size(), 2);
  EXPECT_EQ(top.field_4(0), 0);
  EXPECT_EQ(top.field_4(1), 2);
  EXPECT_EQ(Hex(top.SerializeAsString()), Hex(B({0x20, 0x00, 0x20, 0x02, 0x20, 0x03})));
}

// Which numbers each lite enumeration accepts: the names are free, the sets
// are not.
TEST(WireFormat, MatchEnumerationsAcceptExactlyTheirSets) {
  struct Case {
    const char* what;
    int tag;  // varint field tag byte
    std::vector<int> accepted;
    std::vector<int> rejected;
    std::function<bool(const std::string&, int*)> parse;  // true when the field was set
  };
  auto via = [](auto proto, auto has, auto get) {
    return [=](const std::string& body, int* value) {
      auto m = proto;
      EXPECT_TRUE(m.ParsePartialFromString(body));
      *value = static_cast<int>((m.*get)());
      return (m.*has)();
    };
  };
  const Case cases[] = {
      {"Enum_A",
       0x08,
       {1, 2, 4, 5, 7, 10, 11, 13, 14, 15, 16},
       {0, 3, 6, 8, 9, 12, 17},
       via(mc::PlayerActionReq(), &mc::PlayerActionReq::has_field_1,
           &mc::PlayerActionReq::field_1)},
      {"Enum_B",
       0x08,
       {0, 1, 2},
       {3, 1000},
       via(mc::TableStatus(), &mc::TableStatus::has_field_1, &mc::TableStatus::field_1)},
      {"Enum_C",
       0x08,
       {0, 2, 4},
       {1, 3, 5},
       via(mc::EnterMatchReq(), &mc::EnterMatchReq::has_field_1, &mc::EnterMatchReq::field_1)},
      {"JoinResult",
       0x10,
       {0, 1, 8, 16, 1000},
       {17, 999, 1001},
       via(mc::JoinRsp(), &mc::JoinRsp::has_result, &mc::JoinRsp::result)},
      {"Enum_D",
       0x20,
       {0, 4, 1000},
       {5, 999},
       via(mc::PlayerActionRsp(), &mc::PlayerActionRsp::has_field_4,
           &mc::PlayerActionRsp::field_4)},
      {"Enum_E",
       0x10,
       {0, 5, 1000},
       {6, 999},
       via(mc::EnterMatchRsp(), &mc::EnterMatchRsp::has_field_2, &mc::EnterMatchRsp::field_2)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    auto body = [&](int v) {
      std::string s(1, static_cast<char>(c.tag));
      do {
        s.push_back(static_cast<char>((v & 0x7F) | (v > 0x7F ? 0x80 : 0)));
        v >>= 7;
      } while (v != 0);
      return s;
    };
    for (int v : c.accepted) {
      int got = -1;
      EXPECT_TRUE(c.parse(body(v), &got)) << v;
      EXPECT_EQ(got, v);
    }
    for (int v : c.rejected) {
      int got = -1;
      EXPECT_FALSE(c.parse(body(v), &got)) << v;
    }
  }
}

TEST(WireFormat, DefaultsOfUnsetFields) {
  bs::types::UserSessionInfo session;
  EXPECT_EQ(session.client_os(), bs::types::PC);
  EXPECT_EQ(session.client_os(), 1);
  EXPECT_EQ(session.ByteSizeLong(), 0u);

  bs::client::LoginReq login;
  EXPECT_EQ(login.sp_id(), -1);
  EXPECT_EQ(login.client_os(), bs::types::PC);
  EXPECT_EQ(login.action_type(), bs::client::LoginReq::ByAccount);
  EXPECT_EQ(login.ByteSizeLong(), 0u);
  login.set_sp_id(bs::client::LoginReq::UNKWON);  // sign-extended: ten bytes
  EXPECT_BYTES(login, {0xC0, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01});

  EXPECT_EQ(bs::client::LoginRsp().login_result(), 1000);
  EXPECT_EQ(bs::client::TestRouter().login_result(), bs::client::TestRouter::SUCCESS);
  EXPECT_EQ(bs::client::TestRouter().login_result(), 1);
  EXPECT_EQ(bs::client::EnterAppRsp().enter_result(), bs::client::EnterAppRsp::FAIL);

  bs::client::MessagePrompt prompt;
  EXPECT_TRUE(prompt.is_chat());
  EXPECT_FALSE(prompt.need_close_conn() || prompt.need_close_game() || prompt.is_eject() ||
               prompt.is_tableroll());
  prompt.set_is_chat(false);
  prompt.Clear();
  EXPECT_TRUE(prompt.is_chat());

  mc::JoinRsp join;
  EXPECT_EQ(join.result(), 1000);
  EXPECT_FALSE(join.has_result());
  join.set_result(mc::JoinResult_0);
  join.Clear();
  EXPECT_EQ(join.result(), 1000);
  EXPECT_EQ(mc::TableStatus().field_1(), 1);
  EXPECT_EQ(mc::PlayerActionReq().field_1(), 1);
  EXPECT_EQ(mc::PlayerActionRsp().field_1(), 1);
  EXPECT_EQ(mc::PlayerActionRsp().field_4(), 1000);
  EXPECT_EQ(mc::EnterMatchRsp().field_2(), 1000);
  EXPECT_EQ(mc::EnterMatchReq().field_1(), 0);

  // Present at the default value is written; the default is not special.
  join.set_result(static_cast<mc::JoinResult>(1000));
  EXPECT_EQ(Hex(join.SerializeAsString()), Hex(B({0x10, 0xE8, 0x07})));

  bs::userinfo::RegisterRsp reg;
  EXPECT_EQ(reg.ByteSizeLong(), 0u);
  reg.set_user_id(0);
  EXPECT_BYTES(reg, {0x18, 0x00});
  reg.clear_user_id();
  EXPECT_EQ(reg.ByteSizeLong(), 0u);
}

TEST(WireFormat, SignedAndWideNumbers) {
  bs::types::UserRoomInfo room;
  room.set_score(-1);  // zig-zag
  EXPECT_BYTES(room, {0x18, 0x01});
  room.Clear();
  room.set_health(-1);  // plain int64
  EXPECT_BYTES(room, {0x28, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01});

  bs::hallclient::TitleMatchItem title;
  title.set_app_id(1);
  EXPECT_BYTES(title, {0x88, 0x02, 0x01});
  title.Clear();
  title.set_match_desc_url("u");
  EXPECT_BYTES(title, {0x82, 0x01, 0x01, 'u'});

  mc::StageEvent stage;  // fields 16 to 21 take two-byte tags
  stage.set_field_16(1);
  stage.set_field_21(2);
  EXPECT_EQ(Hex(stage.SerializeAsString()), Hex(B({0x80, 0x01, 0x01, 0xA8, 0x01, 0x02})));
}

TEST(WireFormat, SubMessages) {
  bs::types::UserRoomInfo room;
  EXPECT_FALSE(room.has_base_info());
  EXPECT_EQ(&room.base_info(), &bs::types::BaseUserInfo::default_instance());
  EXPECT_EQ(room.base_info().user_type(), bs::types::BaseUserInfo::UNKNOW);
  EXPECT_FALSE(room.has_base_info());
  room.mutable_base_info();
  EXPECT_BYTES(room, {0x12, 0x00});

  mc::MatchRankData rank;
  EXPECT_EQ(rank.field_9().field_1_size(), 0);
  EXPECT_FALSE(rank.has_field_9());
  rank.mutable_field_9();
  EXPECT_EQ(Hex(rank.SerializeAsString()), Hex(B({0x4A, 0x00})));

  bs::hallclient::GetMatchDetailRsp detail;
  ASSERT_TRUE(detail.ParseFromString(B({0x08, 0x05, 0x1A, 0x00})));
  EXPECT_TRUE(detail.has_detail_titlematch());
  bs::hallclient::TitleMatchItem title;
  ASSERT_TRUE(title.ParseFromString(detail.detail_titlematch()));
  EXPECT_EQ(title.ByteSizeLong(), 0u);
}

TEST(WireFormat, RepeatedNumbersReadPackedAndUnpacked) {
  bs::client::QueryFundReq query;  // unpacked, packed, unpacked, then the required field
  ASSERT_TRUE(
      query.ParseFromString(B({0x08, 0x01, 0x0A, 0x02, 0x02, 0x03, 0x08, 0x04, 0x10, 0x09})));
  ASSERT_EQ(query.fund_type_size(), 4);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(query.fund_type(i), static_cast<uint32_t>(i + 1));
  EXPECT_BYTES(query, {0x08, 0x01, 0x08, 0x02, 0x08, 0x03, 0x08, 0x04, 0x10, 0x09});

  bs::hallclient::DisplayPlanUpdateReq update, packed;
  update.add_array_plan_id(5);
  EXPECT_BYTES(update, {0x10, 0x05});
  ASSERT_TRUE(packed.ParseFromString(B({0x12, 0x01, 0x05})));
  EXPECT_EQ(packed.SerializeAsString(), update.SerializeAsString());

  mc::RankListReq ranks;
  ASSERT_TRUE(ranks.ParseFromString(B({0x22, 0x02, 0x07, 0x08})));
  ASSERT_EQ(ranks.field_4_size(), 2);
  EXPECT_EQ(Hex(ranks.SerializeAsString()), Hex(B({0x20, 0x07, 0x20, 0x08})));

  mc::TopRankList top;  // a packed repeated enum also filters
  ASSERT_TRUE(top.ParseFromString(B({0x22, 0x03, 0x01, 0x05, 0x02})));
  ASSERT_EQ(top.field_4_size(), 2);
  EXPECT_EQ(top.field_4(1), 2);
}

TEST(WireFormat, RequiredFieldsGateTheCheckedParse) {
  google::protobuf::LogSilencer quiet;  // each failed parse logs its missing field
  // Each message with the one body that carries its required field (value 1).
  std::vector<std::pair<std::unique_ptr<google::protobuf::MessageLite>, std::string>> needing;
  needing.emplace_back(new bs::client::TestRouter, B({0x08, 0x01}));
  needing.emplace_back(new bs::client::LogoutReq, B({0x08, 0x01}));
  needing.emplace_back(new bs::client::UserInfoReq, B({0x08, 0x01}));
  needing.emplace_back(new bs::client::UserInfoRsp, B({0x08, 0x01}));
  needing.emplace_back(new bs::client::QueryFundReq, B({0x10, 0x01}));
  needing.emplace_back(new bs::client::QueryFundRsp, B({0x08, 0x01}));
  needing.emplace_back(new bs::hallclient::TokenRsp, B({0x08, 0x01}));
  needing.emplace_back(new mc::PlayerActionRsp, B({0x08, 0x01}));
  for (auto& m : needing) {
    EXPECT_FALSE(m.first->ParseFromString("")) << m.first->GetTypeName();
    EXPECT_TRUE(m.first->ParsePartialFromString("")) << m.first->GetTypeName();
    EXPECT_TRUE(m.first->ParseFromString(m.second)) << m.first->GetTypeName();
    EXPECT_TRUE(m.first->IsInitialized());
  }
  bs::client::QueryFundReq query;
  EXPECT_FALSE(query.ParseFromString(B({0x08, 0x01})));
  EXPECT_TRUE(query.ParseFromString(B({0x10, 0x01})));
  EXPECT_TRUE(bs::hallclient::TokenReq().SerializeAsString().empty());
}

// Every message without a required field accepts an empty body.
TEST(WireFormat, EmptyBodyParsesForEveryFullRuntimeMessage) {
  google::protobuf::LogSilencer quiet;
  const auto* pool = google::protobuf::DescriptorPool::generated_pool();
  auto* factory = google::protobuf::MessageFactory::generated_factory();
  int messages = 0;
  for (const char* file : {"types/types.proto", "gate/gate.proto", "client/client.proto",
                           "client/hallclient.proto", "client/userinfo.proto"}) {
    const auto* fd = pool->FindFileByName(file);
    ASSERT_NE(fd, nullptr);
    for (int i = 0; i < fd->message_type_count(); ++i) {
      const auto* d = fd->message_type(i);
      bool has_required = false;
      for (int j = 0; j < d->field_count(); ++j) has_required |= d->field(j)->is_required();
      std::unique_ptr<google::protobuf::Message> m(factory->GetPrototype(d)->New());
      EXPECT_EQ(m->ParseFromString(""), !has_required) << d->full_name();
      EXPECT_EQ(m->ByteSizeLong(), 0u);
      ++messages;
    }
  }
  EXPECT_EQ(messages, 8 + 8 + 19 + 24 + 6);
}

TEST(WireFormat, EmptyBodyParsesForEveryMatchMessage) {
  google::protobuf::LogSilencer quiet;
  const google::protobuf::MessageLite* all[] = {
      &mc::JoinReq::default_instance(),
      &mc::JoinRsp::default_instance(),
      &mc::PlayerActionReq::default_instance(),
      &mc::PlayerActionRsp::default_instance(),
      &mc::GameData::default_instance(),
      &mc::TableStatus::default_instance(),
      &mc::PrizeItem::default_instance(),
      &mc::MatchPrize::default_instance(),
      &mc::AddChip::default_instance(),
      &mc::RoundStart::default_instance(),
      &mc::RoundEnd::default_instance(),
      &mc::StageEvent::default_instance(),
      &mc::OneTurnEvent::default_instance(),
      &mc::DieoutStageEnding::default_instance(),
      &mc::TopRankList::default_instance(),
      &mc::MatchRankData::default_instance(),
      &mc::RankListReq::default_instance(),
      &mc::EnterMatchReq::default_instance(),
      &mc::EnterMatchRsp::default_instance(),
      &mc::MatchStart::default_instance(),
      &mc::BaseScoreEvent::default_instance(),
      &mc::BackGameReq::default_instance(),
      &mc::BackGameRsp::default_instance(),
      &mc::FixedNumberPlanReq::default_instance(),
      &mc::FixedNumberPlanRsp::default_instance(),
      &mc::MayIBack2MP::default_instance(),
      &mc::RoundSceneReq::default_instance(),
      &mc::RoundSceneRsp::default_instance(),
      &mc::PlayerRightReq::default_instance(),
      &mc::PlayerRightRsp::default_instance(),
      &mc::UserInfoInd::default_instance(),
      &mc::UserDetailInfo::default_instance(),
      &mc::MatchGoingInfo::default_instance(),
      &mc::PlayerEndOneMatch::default_instance(),
      &mc::FreeMatchNewMatch::default_instance(),
      &mc::RingListReq::default_instance(),
      &mc::RingInfo::default_instance(),
      &mc::Challenger::default_instance(),
      &mc::RingInfoUpdate::default_instance(),
      &mc::RingListRsp::default_instance(),
      &mc::RingActionReq::default_instance(),
      &mc::RingActionInd::default_instance(),
      &mc::SwitchGroupReq::default_instance(),
      &mc::SwitchGroupRsp::default_instance(),
      &mc::RingNextRoundFee::default_instance(),
      &mc::RoomTaskPrize::default_instance(),
  };
  static_assert(sizeof(all) / sizeof(all[0]) == 46, "every bs.matchclient message");
  for (const auto* proto : all) {
    std::unique_ptr<google::protobuf::MessageLite> m(proto->New());
    const bool is_player_action_rsp = proto == &mc::PlayerActionRsp::default_instance();
    EXPECT_EQ(m->ParseFromString(""), !is_player_action_rsp) << m->GetTypeName();
    EXPECT_EQ(m->ByteSizeLong(), 0u);
  }
}

TEST(WireFormat, RoundTrips) {
  bs::client::LoginRsp login;
  login.set_login_result(bs::client::LoginRsp::SUCCESS);
  login.mutable_base_info()->set_nick_name("\xE5\xB0\x8F\xE6\x98\x8E");
  login.mutable_base_info()->set_user_type(bs::types::BaseUserInfo::Robot);
  login.mutable_session_info()->set_client_os(bs::types::Android);
  login.set_user_id(0xFFFFFFFFFFFFFFFFull);
  login.set_base_info_buff(std::string("\0\xFF", 2));
  bs::client::LoginRsp login2;
  ASSERT_TRUE(login2.ParseFromString(login.SerializeAsString()));
  EXPECT_EQ(login2.login_result(), 0);
  EXPECT_TRUE(login2.has_login_result());
  EXPECT_EQ(login2.base_info().user_type(), bs::types::BaseUserInfo::Robot);
  EXPECT_EQ(login2.user_id(), 0xFFFFFFFFFFFFFFFFull);
  EXPECT_EQ(login2.base_info_buff(), std::string("\0\xFF", 2));
  EXPECT_EQ(login2.SerializeAsString(), login.SerializeAsString());

  bs::client::PackedMessage packed;
  EXPECT_EQ(packed.cmd_kind_size() + packed.cmd_subid_size() + packed.cmd_data_size(), 0);
  for (int i = 0; i < 3; ++i) {
    packed.add_cmd_kind(14);
    packed.add_cmd_subid(4 + i);
    packed.add_cmd_data(std::string(i, 'x'));
  }
  bs::client::PackedMessage packed2;
  ASSERT_TRUE(packed2.ParseFromString(packed.SerializeAsString()));
  ASSERT_EQ(packed2.cmd_data_size(), 3);
  EXPECT_EQ(packed2.cmd_subid(2), 6u);
  EXPECT_EQ(packed2.cmd_data(2), "xx");

  mc::TableStatus table;
  table.set_field_1(mc::Enum_B_2);
  table.add_field_9()->set_score(-5);
  table.add_field_9()->mutable_base_info()->set_user_id(77);
  mc::TableStatus table2;
  ASSERT_TRUE(table2.ParseFromString(table.SerializeAsString()));
  ASSERT_EQ(table2.field_9_size(), 2);
  EXPECT_EQ(table2.field_9(0).score(), -5);
  EXPECT_EQ(table2.field_9(1).base_info().user_id(), 77u);
  EXPECT_EQ(table2.field_1(), mc::Enum_B_2);

  bs::hallclient::TitleMatchItem title;
  title.add_prizces_win()->set_rank_begein(1);
  title.mutable_hold_fund()->set_type(bs::types::MONEY_TYPE);
  title.set_seconds_accept_round(61);
  bs::hallclient::TitleMatchItem title2;
  ASSERT_TRUE(title2.ParseFromString(title.SerializeAsString()));
  EXPECT_EQ(title2.prizces_win(0).rank_begein(), 1u);
  EXPECT_EQ(title2.hold_fund().type(), bs::types::MONEY_TYPE);
  EXPECT_EQ(title2.seconds_accept_round(), 61u);
}

TEST(WireFormat, MalformedBodiesFail) {
  bs::gate::TransferDataReq transfer;
  EXPECT_FALSE(transfer.ParseFromString(B({0x2A, 0x05, 'a'})));  // length past the end
  EXPECT_FALSE(transfer.ParseFromString(B({0x08, 0xFF})));       // truncated varint
  EXPECT_FALSE(transfer.ParseFromString(B({0x00, 0x01})));       // field number 0
  mc::JoinRsp join;
  EXPECT_FALSE(join.ParseFromString(B({0x1A, 0x05, 'a'})));
  EXPECT_FALSE(join.ParseFromString(B({0x0F})));  // wire type 7
}

}  // namespace

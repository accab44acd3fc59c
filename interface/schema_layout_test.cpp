// Field layout of the full-runtime schemas read back from their descriptors:
// numbers with their gaps, labels, types, the exact sets of required,
// repeated and explicitly defaulted fields, and the first value of each enum
// (what an unset enum field reads as). Odd spellings are checked at compile
// time through the accessors that later code calls.
#include <google/protobuf/descriptor.h>
#include <google/protobuf/descriptor.pb.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "client/client.pb.h"
#include "client/hallclient.pb.h"
#include "client/matchclient.pb.h"
#include "client/userinfo.pb.h"
#include "gate/gate.pb.h"
#include "types/types.pb.h"

namespace {

using google::protobuf::Descriptor;
using google::protobuf::DescriptorPool;
using google::protobuf::FieldDescriptor;

constexpr FieldDescriptor::Label kOpt = FieldDescriptor::LABEL_OPTIONAL;
constexpr FieldDescriptor::Label kReq = FieldDescriptor::LABEL_REQUIRED;
constexpr FieldDescriptor::Label kRep = FieldDescriptor::LABEL_REPEATED;
constexpr FieldDescriptor::Type U32 = FieldDescriptor::TYPE_UINT32;
constexpr FieldDescriptor::Type U64 = FieldDescriptor::TYPE_UINT64;
constexpr FieldDescriptor::Type I64 = FieldDescriptor::TYPE_INT64;
constexpr FieldDescriptor::Type S64 = FieldDescriptor::TYPE_SINT64;
constexpr FieldDescriptor::Type BOOL = FieldDescriptor::TYPE_BOOL;
constexpr FieldDescriptor::Type STR = FieldDescriptor::TYPE_STRING;
constexpr FieldDescriptor::Type BYTES = FieldDescriptor::TYPE_BYTES;
constexpr FieldDescriptor::Type MSG = FieldDescriptor::TYPE_MESSAGE;
constexpr FieldDescriptor::Type ENUM = FieldDescriptor::TYPE_ENUM;

struct Field {
  int number;
  const char* name;
  FieldDescriptor::Label label;
  FieldDescriptor::Type type;
  const char* type_name;  // message or enum fields: full name of the type
};

struct MessageLayout {
  const char* message;  // full name
  std::vector<Field> fields;
};

const std::vector<MessageLayout>& Layouts() {
  static const std::vector<MessageLayout> layouts = {
      // bs.gate, all of it.
      {"bs.gate.PulseReq",
       {{1, "my_speed", kOpt, U32, ""},
        {2, "speed_data", kOpt, U32, ""},
        {3, "attached_data", kOpt, BYTES, ""}}},
      {"bs.gate.PulseRsp",
       {{2, "speed_data", kOpt, U32, ""}, {3, "attachd_data", kOpt, BYTES, ""}}},
      {"bs.gate.TransferDataReq",
       {{1, "att_apptype", kOpt, U32, ""},
        {2, "att_appid", kOpt, U32, ""},
        {3, "data_cmd_kind", kOpt, U32, ""},
        {4, "data_cmd_subid", kOpt, U32, ""},
        {5, "data", kOpt, BYTES, ""},
        {6, "req_id", kOpt, U32, ""},
        {7, "client_ip_v4", kOpt, U32, ""},
        {8, "att_sessionid", kOpt, U64, ""}}},
      {"bs.gate.TransferDataRsp", {{1, "result", kOpt, U32, ""}, {6, "req_id", kOpt, U32, ""}}},
      {"bs.gate.AuthInfo",
       {{1, "user_id", kOpt, U64, ""}, {2, "reason", kOpt, U32, ""}, {3, "info", kOpt, STR, ""}}},
      {"bs.gate.LoginToken", {{1, "login_token", kOpt, U32, ""}}},
      {"bs.gate.HelloReq",
       {{2, "ad_id", kOpt, U32, ""},
        {3, "others", kOpt, STR, ""},
        {4, "builder_no", kOpt, U32, ""},
        {5, "game_kind", kOpt, U32, ""},
        {6, "client_version", kOpt, STR, ""},
        {7, "client_type", kOpt, U32, ""}}},
      {"bs.gate.HelloRsp",
       {{1, "rsp_flag", kOpt, U32, ""},
        {2, "gate_address", kRep, STR, ""},
        {3, "encrypt_key", kOpt, BYTES, ""},
        {4, "login_token", kOpt, U32, ""},
        {5, "version_result", kOpt, U32, ""},
        {6, "down_url", kOpt, STR, ""}}},
      // bs.types: the records the gate client keeps.
      {"bs.types.UserRoomInfo",
       {{1, "user_id", kOpt, U64, ""},
        {2, "base_info", kOpt, MSG, "bs.types.BaseUserInfo"},
        {3, "score", kOpt, S64, ""},
        {4, "exp", kOpt, U64, ""},
        {5, "health", kOpt, I64, ""},
        {6, "is_offline", kOpt, BOOL, ""},
        {7, "table_id", kOpt, U64, ""},
        {8, "seat_index", kOpt, U32, ""},
        {9, "is_playing", kOpt, BOOL, ""},
        {10, "losft_count", kOpt, U32, ""},
        {11, "draw_count", kOpt, U32, ""},
        {12, "win_count", kOpt, U32, ""},
        {13, "current_rank", kOpt, U32, ""},
        {14, "winning_streak", kOpt, U32, ""},
        {15, "round_count", kOpt, U32, ""}}},
      {"bs.types.ExtraUserInfo",
       {{1, "user_id", kOpt, U64, ""},
        {2, "spreader", kOpt, U64, ""},
        {3, "birthday", kOpt, U32, ""},
        {4, "id_card", kOpt, STR, ""},
        {5, "real_name", kOpt, STR, ""},
        {9, "mobile", kOpt, STR, ""},
        {13, "bind_flag", kOpt, U32, ""},
        {14, "account", kOpt, STR, ""},
        {15, "login_pass", kOpt, STR, ""}}},
      {"bs.types.UserSessionInfo",
       {{1, "gate_id", kOpt, U32, ""},
        {2, "gate_conn_id", kOpt, U64, ""},
        {3, "client_os", kOpt, ENUM, "bs.types.ClientOS"},
        {4, "build_no", kOpt, U32, ""},
        {5, "market_id", kOpt, U32, ""},
        {8, "machine_code", kOpt, STR, ""},
        {9, "client_IP", kOpt, STR, ""},
        {10, "client_version", kOpt, STR, ""},
        {11, "machine_name", kOpt, STR, ""},
        {12, "client_guid", kOpt, STR, ""},
        {13, "sim", kOpt, STR, ""},
        {14, "thrid_type", kOpt, U32, ""},
        {15, "thrid_parameter", kOpt, STR, ""},
        {16, "os_name", kOpt, STR, ""},
        {17, "loginip_province", kOpt, U32, ""},
        {18, "loginip_city", kOpt, U32, ""},
        {19, "outer_id", kOpt, STR, ""},
        {20, "logon_msg", kOpt, BYTES, ""}}},
      {"bs.types.FundItem",
       {{1, "type", kOpt, ENUM, "bs.types.EnumFundType"},
        {2, "id", kOpt, U32, ""},
        {3, "count", kOpt, U64, ""},
        {4, "name", kOpt, STR, ""},
        {5, "validity", kOpt, U32, ""},
        {6, "fund_type", kOpt, U32, ""}}},
      // bs.client: log-in and the messages with required fields.
      {"bs.client.LoginReq",
       {{1, "game_kind", kOpt, U32, ""},
        {2, "action_type", kOpt, ENUM, "bs.client.LoginReq.LoginAction"},
        {3, "client_os", kOpt, ENUM, "bs.types.ClientOS"},
        {4, "build_no", kOpt, U32, ""},
        {5, "market_id", kOpt, U32, ""},
        {6, "game_id", kOpt, U64, ""},
        {7, "login_account", kOpt, STR, ""},
        {8, "login_password", kOpt, STR, ""},
        {9, "client_version", kOpt, STR, ""},
        {10, "client_IP", kOpt, STR, ""},
        {11, "system_version", kOpt, STR, ""},
        {12, "bios_serial", kOpt, STR, ""},
        {13, "cpu_serial", kOpt, STR, ""},
        {14, "HD_serial", kOpt, STR, ""},
        {15, "MAC_address", kOpt, STR, ""},
        {16, "protect_data", kOpt, STR, ""},
        {17, "channel_id", kOpt, U32, ""},
        {18, "site_id", kOpt, U32, ""},
        {19, "bar_id", kOpt, U32, ""},
        {20, "GUID", kOpt, STR, ""},
        {21, "logon_token", kOpt, U32, ""},
        {22, "mobile_code", kOpt, STR, ""},
        {23, "os_version", kOpt, STR, ""},
        {24, "sp_id", kOpt, ENUM, "bs.client.LoginReq.NetworkType"}}},
      {"bs.client.LoginRsp",
       {{1, "login_result", kOpt, ENUM, "bs.client.LoginRsp.Result"},
        {2, "login_info", kOpt, STR, ""},
        {3, "base_info", kOpt, MSG, "bs.types.BaseUserInfo"},
        {4, "extra_info", kOpt, MSG, "bs.types.ExtraUserInfo"},
        {5, "session_info", kOpt, MSG, "bs.types.UserSessionInfo"},
        {6, "user_id", kOpt, U64, ""},
        {7, "base_info_buff", kOpt, BYTES, ""},
        {8, "extra_info_buff", kOpt, BYTES, ""},
        {9, "session_info_buff", kOpt, BYTES, ""},
        {10, "gold", kOpt, U64, ""},
        {11, "gold_egg", kOpt, U64, ""},
        {12, "ret_code", kOpt, U32, ""}}},
      {"bs.client.TestRouter",
       {{1, "login_result", kReq, ENUM, "bs.client.TestRouter.Result"},
        {2, "login_info", kOpt, STR, ""},
        {3, "base_info", kOpt, MSG, "bs.types.BaseUserInfo"},
        {4, "extra_info", kOpt, MSG, "bs.types.ExtraUserInfo"},
        {5, "session_info", kOpt, MSG, "bs.types.UserSessionInfo"},
        {6, "user_id", kOpt, U64, ""},
        {7, "tips", kOpt, STR, ""}}},
      {"bs.client.UserInfoRsp",
       {{1, "user_id", kReq, U64, ""},
        {2, "room_info", kOpt, MSG, "bs.types.UserRoomInfo"},
        {4, "record_data", kOpt, MSG, "bs.types.GameRecordData"},
        {5, "att_data", kOpt, MSG, "bs.types.GameAttData"},
        {6, "extra_data", kOpt, BYTES, ""},
        {7, "room_info_buff", kOpt, BYTES, ""},
        {8, "record_data_buff", kOpt, BYTES, ""},
        {9, "att_data_buff", kOpt, BYTES, ""}}},
      {"bs.client.QueryFundReq", {{1, "fund_type", kRep, U32, ""}, {2, "user_id", kReq, U64, ""}}},
      {"bs.client.PackedMessage",
       {{1, "sequence", kOpt, U64, ""},
        {2, "att_sessionid", kOpt, U64, ""},
        {3, "my_apptype", kOpt, U32, ""},
        {4, "my_appid", kOpt, U32, ""},
        {5, "cmd_kind", kRep, U32, ""},
        {6, "cmd_subid", kRep, U32, ""},
        {7, "cmd_data", kRep, BYTES, ""}}},
      {"bs.client.MessagePrompt",
       {{2, "need_close_conn", kOpt, BOOL, ""},
        {3, "need_close_game", kOpt, BOOL, ""},
        {4, "is_chat", kOpt, BOOL, ""},
        {5, "is_eject", kOpt, BOOL, ""},
        {6, "is_tableroll", kOpt, BOOL, ""},
        {7, "att_value", kOpt, U64, ""},
        {8, "tips", kOpt, STR, ""},
        {9, "eject_show_seconds", kOpt, U32, ""},
        {10, "game_kind", kOpt, U32, ""}}},
      // bs.hallclient: what the hall sink parses, and the gappy ones.
      {"bs.hallclient.TitleMatchItem",
       {{1, "plan_id", kOpt, U32, ""},
        {2, "show_title", kOpt, STR, ""},
        {3, "plan_type", kOpt, U32, ""},
        {4, "repeat_type", kOpt, U32, ""},
        {5, "join_fee", kRep, MSG, "bs.types.FundItem"},
        {6, "game_kind", kOpt, U32, ""},
        {7, "plan_prizes", kRep, MSG, "bs.hallclient.PrizeItem"},
        {8, "prizces_win", kRep, MSG, "bs.hallclient.PrizeItem"},
        {9, "prizes_rounds", kRep, MSG, "bs.hallclient.PrizeItem"},
        {10, "prizes_killer", kRep, MSG, "bs.hallclient.PrizeItem"},
        {16, "match_desc_url", kOpt, STR, ""},
        {21, "prize_desc", kOpt, STR, ""},
        {22, "match_detail", kOpt, STR, ""},
        {23, "min_player_count", kOpt, U32, ""},
        {24, "max_wait_seconds", kOpt, U32, ""},
        {26, "vip_level", kOpt, U32, ""},
        {27, "hold_fund", kOpt, MSG, "bs.types.FundItem"},
        {31, "exp_id", kOpt, U32, ""},
        {32, "match_config", kRep, MSG, "bs.hallclient.MatchConfig"},
        {33, "app_id", kOpt, U32, ""},
        {34, "show_order", kOpt, U32, ""},
        {48, "group_name", kOpt, STR, ""},
        {49, "list_name", kOpt, STR, ""},
        {57, "hide_nick", kOpt, BOOL, ""},
        {58, "ring_table_count", kOpt, U32, ""},
        {60, "seconds_next_round", kOpt, U32, ""},
        {61, "seconds_accept_round", kOpt, U32, ""}}},
      {"bs.hallclient.PrizeItem",
       {{1, "rank_begein", kOpt, U32, ""},
        {2, "rank_end", kOpt, U32, ""},
        {3, "count_gold", kOpt, U64, ""},
        {4, "count_gold_egg", kOpt, U64, ""},
        {5, "other_award", kOpt, STR, ""},
        {6, "prize_type", kOpt, U32, ""},
        {7, "prize_flag", kOpt, U32, ""}}},
      {"bs.hallclient.GetMatchDetailRsp",
       {{1, "plan_id", kOpt, U32, ""},
        {3, "detail_titlematch", kOpt, BYTES, ""},
        {4, "app_id", kOpt, U32, ""},
        {5, "buff_simple_info", kOpt, BYTES, ""}}},
      {"bs.hallclient.listItem",
       {{2, "list_id", kOpt, U32, ""},
        {3, "show_name", kOpt, STR, ""},
        {4, "list_order", kOpt, U32, ""},
        {5, "show_platform", kOpt, U32, ""},
        {6, "icon_index", kOpt, U32, ""}}},
      {"bs.hallclient.startPointItem",
       {{1, "plan_id", kOpt, U32, ""},
        {2, "match_id", kOpt, U64, ""},
        {3, "start_time", kOpt, U64, ""},
        {4, "current_sign", kOpt, U32, ""},
        {5, "start_flag", kOpt, ENUM, "bs.hallclient.startPointItem.MatchState"},
        {7, "player_count", kOpt, U32, ""}}},
      {"bs.hallclient.PlanAllStartPoint",
       {{1, "group_id", kOpt, U32, ""},
        {2, "list_id", kOpt, U32, ""},
        {3, "plan_id", kOpt, U32, ""},
        {5, "ver_code", kOpt, U32, ""},
        {6, "start_points", kRep, BYTES, ""}}},
      {"bs.hallclient.AllPlanRsp",
       {{1, "page_id", kOpt, U32, ""},
        {2, "group_id", kOpt, U32, ""},
        {3, "list_id", kOpt, U32, ""},
        {4, "ver_code", kOpt, U32, ""},
        {6, "planid_set", kRep, U32, ""},
        {7, "simple_infos", kRep, BYTES, ""},
        {8, "plan_orders", kRep, U32, ""},
        {9, "plan_show_nums", kRep, U32, ""},
        {10, "plan_ids", kRep, U32, ""},
        {11, "game_kind", kOpt, U32, ""}}},
      {"bs.hallclient.TokenReq", {}},
      {"bs.hallclient.TokenRsp", {{1, "token_id", kReq, U32, ""}}},
      // bs.userinfo.
      {"bs.userinfo.RegisterRsp",
       {{1, "result_code", kOpt, U32, ""},
        {2, "result_info", kOpt, STR, ""},
        {3, "user_id", kOpt, U64, ""},
        {4, "account", kOpt, STR, ""}}},
  };
  return layouts;
}

TEST(SchemaLayout, FieldsOfKeyMessages) {
  for (const MessageLayout& m : Layouts()) {
    SCOPED_TRACE(m.message);
    const Descriptor* d = DescriptorPool::generated_pool()->FindMessageTypeByName(m.message);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->field_count(), static_cast<int>(m.fields.size()));
    for (const Field& f : m.fields) {
      SCOPED_TRACE(f.name);
      const FieldDescriptor* fd = d->FindFieldByNumber(f.number);
      ASSERT_NE(fd, nullptr);
      EXPECT_EQ(fd->name(), f.name);
      EXPECT_EQ(fd->label(), f.label);
      EXPECT_EQ(fd->type(), f.type);
      const std::string type_name = fd->message_type() != nullptr ? fd->message_type()->full_name()
                                    : fd->enum_type() != nullptr  ? fd->enum_type()->full_name()
                                                                  : "";
      EXPECT_EQ(type_name, f.type_name);
    }
  }
}

// Walks every field of the five full-runtime files.
template <typename Pred>
std::set<std::string> FieldsWhere(Pred pred) {
  std::set<std::string> out;
  for (const char* file : {"types/types.proto", "gate/gate.proto", "client/client.proto",
                           "client/hallclient.proto", "client/userinfo.proto"}) {
    const auto* fd = DescriptorPool::generated_pool()->FindFileByName(file);
    EXPECT_NE(fd, nullptr) << file;
    if (fd == nullptr) continue;
    for (int i = 0; i < fd->message_type_count(); ++i) {
      const Descriptor* d = fd->message_type(i);
      EXPECT_EQ(d->nested_type_count(), 0) << d->full_name();
      EXPECT_EQ(d->oneof_decl_count(), 0) << d->full_name();
      EXPECT_EQ(d->extension_range_count(), 0) << d->full_name();
      EXPECT_EQ(d->options().ByteSizeLong(), 0u) << d->full_name();
      for (int j = 0; j < d->field_count(); ++j) {
        const FieldDescriptor* f = d->field(j);
        if (pred(f)) out.insert(d->name() + "." + f->name());
      }
    }
  }
  return out;
}

TEST(SchemaLayout, RequiredFieldsAreExactlyThese) {
  const std::set<std::string> expected = {"TestRouter.login_result", "LogoutReq.user_id",
                                          "UserInfoReq.target_id",   "UserInfoRsp.user_id",
                                          "QueryFundReq.user_id",    "QueryFundRsp.user_id",
                                          "TokenRsp.token_id"};
  EXPECT_EQ(FieldsWhere([](const FieldDescriptor* f) { return f->is_required(); }), expected);
}

TEST(SchemaLayout, RepeatedFieldsAreExactlyTheseAndNoneIsPacked) {
  const std::set<std::string> expected = {"HelloRsp.gate_address",
                                          "QueryFundReq.fund_type",
                                          "QueryFundRsp.fund_items",
                                          "PackedMessage.cmd_kind",
                                          "PackedMessage.cmd_subid",
                                          "PackedMessage.cmd_data",
                                          "OnlineAPPInfo.user_id_array",
                                          "GetOnlineUserRsp.user_info_array",
                                          "GetOnlineUserRsp.app_info_array",
                                          "KickUserReq.array_user_id",
                                          "AllGroupRsp.items",
                                          "TitleMatchItem.join_fee",
                                          "TitleMatchItem.plan_prizes",
                                          "TitleMatchItem.prizces_win",
                                          "TitleMatchItem.prizes_rounds",
                                          "TitleMatchItem.prizes_killer",
                                          "TitleMatchItem.match_config",
                                          "AllListRsp.items",
                                          "AllPlanRsp.planid_set",
                                          "AllPlanRsp.simple_infos",
                                          "AllPlanRsp.plan_orders",
                                          "AllPlanRsp.plan_show_nums",
                                          "AllPlanRsp.plan_ids",
                                          "DisplayPlanUpdateReq.array_plan_id",
                                          "PlanAllStartPoint.start_points",
                                          "MyMatchDataRsp.signed_items",
                                          "MyMatchDataRsp.running_items"};
  EXPECT_EQ(FieldsWhere([](const FieldDescriptor* f) { return f->is_repeated(); }), expected);
  EXPECT_TRUE(FieldsWhere([](const FieldDescriptor* f) {
                return f->is_packed() || f->options().ByteSizeLong() != 0;
              }).empty());
}

TEST(SchemaLayout, DeclaredDefaultsAreExactlyThese) {
  const std::set<std::string> expected = {"UserRoomInfo.is_offline=false",
                                          "FundItem.id=0",
                                          "FundItem.count=0",
                                          "MessagePrompt.need_close_conn=false",
                                          "MessagePrompt.need_close_game=false",
                                          "MessagePrompt.is_chat=true",
                                          "MessagePrompt.is_eject=false",
                                          "MessagePrompt.is_tableroll=false",
                                          "UserInfoReq.query_gameid=0"};
  std::set<std::string> got;
  for (const std::string& name :
       FieldsWhere([](const FieldDescriptor* f) { return f->has_default_value(); })) {
    const std::string::size_type dot = name.find('.');
    const Descriptor* d = nullptr;
    for (const char* pkg : {"bs.types.", "bs.client."}) {
      if (d == nullptr) {
        d = DescriptorPool::generated_pool()->FindMessageTypeByName(pkg + name.substr(0, dot));
      }
    }
    ASSERT_NE(d, nullptr) << name;
    const FieldDescriptor* f = d->FindFieldByName(name.substr(dot + 1));
    const std::string value =
        f->type() == FieldDescriptor::TYPE_BOOL
            ? (f->default_value_bool() ? "true" : "false")
            : std::to_string(f->type() == FieldDescriptor::TYPE_UINT64 ? f->default_value_uint64()
                                                                       : f->default_value_uint32());
    got.insert(name + "=" + value);
  }
  EXPECT_EQ(got, expected);
}

// The first declared value is what an unset field of the enum reads as.
TEST(SchemaLayout, EnumsDeclareTheirValuesInSchemaOrder) {
  struct EnumRow {
    const char* name;
    std::vector<std::pair<const char*, int>> values;
  };
  const EnumRow rows[] = {
      {"bs.types.ClientOS", {{"PC", 1}, {"IOS_AppStore", 2}, {"Android", 4}, {"IOS_Breaked", 8}}},
      {"bs.types.EnumFundType",
       {{"ALL_TYPE", 0},
        {"INDENTIFY_TYPE", 1},
        {"MONEY_TYPE", 2},
        {"THIRD_TYPE", 3},
        {"GAMEEXP_TYPE", 4},
        {"ATTRIBUTE_TYPE", 5},
        {"GOODS_TYPE", 6},
        {"VIRTUAL_TYPE", 7}}},
      {"bs.types.BaseUserInfo.UserType", {{"UNKNOW", 0}, {"Normal", 1}, {"Robot", 10}}},
      {"bs.gate.HelloRsp.RspFlag",
       {{"UNKNOWN", 0}, {"EncryptInfo", 1}, {"AdviceNewGate", 2}, {"LoginToken", 4}}},
      {"bs.client.LoginReq.LoginAction",
       {{"ByAccount", 0},
        {"GuestLogin", 2},
        {"ByMobile", 3},
        {"ByThirdID", 4},
        {"ByGameID", 5},
        {"Robot", 10}}},
      {"bs.client.LoginReq.NetworkType",
       {{"UNKWON", -1}, {"DIANXIN", 0}, {"YIDONG", 1}, {"LIANTONG", 2}, {"WIFI", 3}}},
      {"bs.client.LoginRsp.Result",
       {{"UNKOWN", 1000},
        {"SUCCESS", 0},
        {"NOTEXIST", 1},
        {"FROZEN", 2},
        {"FALSEPW", 3},
        {"NETERROR", 4},
        {"APPISBUSY", 5},
        {"GUESTFORBID", 6},
        {"CONNECTERROR", 7},
        {"VERSIONOLD", 8},
        {"NOMOREGUEST", 9},
        {"FREQUENTLY", 10},
        {"APPINITING", 11},
        {"SERVERERROR", 255}}},
      {"bs.client.TestRouter.Result",
       {{"SUCCESS", 1},
        {"NOTEXIST", 2},
        {"FROZEN", 3},
        {"FREQUENTLY", 4},
        {"APPISBUSY", 5},
        {"GUESTFORBID", 6},
        {"APPINITING", 7},
        {"VERSIONOLD", 8},
        {"NOMOREGUEST", 9},
        {"SERVERERROR", 255}}},
      {"bs.client.LogoutRsp.LogoutReason", {{"Normal", 0}, {"AnotherLogin", 1}}},
      {"bs.client.EnterAppRsp.Result", {{"FAIL", 1}, {"SUCCESS", 2}}},
      {"bs.hallclient.startPointItem.MatchState",
       {{"SIGNUP_FORBID", 0},
        {"SIGNUP_ALLOW", 1},
        {"SIGNUP_END", 2},
        {"MATCH_START", 3},
        {"MATCH_END", 4}}},
  };
  for (const EnumRow& row : rows) {
    SCOPED_TRACE(row.name);
    const auto* ed = DescriptorPool::generated_pool()->FindEnumTypeByName(row.name);
    ASSERT_NE(ed, nullptr);
    ASSERT_EQ(ed->value_count(), static_cast<int>(row.values.size()));
    for (int i = 0; i < ed->value_count(); ++i) {
      EXPECT_EQ(ed->value(i)->name(), row.values[i].first);
      EXPECT_EQ(ed->value(i)->number(), row.values[i].second);
    }
  }
}

// The accessor names later code relies on. The descriptors keep the schema's
// capitals (checked above); protoc lowers them in C++ accessor names, so
// client_IP is reached as client_ip() and HD_serial as hd_serial().
// These fail to compile rather than fail at run time.
static_assert(sizeof(&bs::types::UserRoomInfo::losft_count) > 0, "");
static_assert(sizeof(&bs::types::UserSessionInfo::thrid_type) > 0, "");
static_assert(sizeof(&bs::types::UserSessionInfo::thrid_parameter) > 0, "");
static_assert(sizeof(&bs::types::UserSessionInfo::client_ip) > 0, "");
static_assert(sizeof(&bs::client::LoginReq::hd_serial) > 0, "");
static_assert(sizeof(&bs::client::LoginReq::mac_address) > 0, "");
static_assert(sizeof(&bs::client::LoginReq::guid) > 0, "");
static_assert(sizeof(&bs::client::OnlineUserInfo::client_ip) > 0, "");
static_assert(sizeof(&bs::gate::PulseRsp::attachd_data) > 0, "");
static_assert(sizeof(&bs::gate::PulseReq::attached_data) > 0, "");
static_assert(sizeof(&bs::hallclient::AllGroupRsp::items_size) > 0, "");
static_assert(sizeof(bs::hallclient::groupItem) > 0 && sizeof(bs::hallclient::listItem) > 0, "");
static_assert(sizeof(&bs::hallclient::startPointItem::start_flag) > 0, "");
static_assert(sizeof(&bs::hallclient::PrizeItem::rank_begein) > 0, "");
static_assert(sizeof(&bs::hallclient::TitleMatchItem::prizces_win_size) > 0, "");
static_assert(bs::client::LoginReq::UNKWON == -1 && bs::client::LoginRsp::UNKOWN == 1000, "");
static_assert(bs::types::BaseUserInfo::UNKNOW == 0, "");
// The bs.matchclient fields the gate client reads and fills by name.
static_assert(sizeof(&bs::matchclient::JoinReq::withdraw) > 0, "");
static_assert(sizeof(&bs::matchclient::JoinRsp::exename) > 0 &&
                  sizeof(&bs::matchclient::JoinRsp::plan_type) > 0 &&
                  sizeof(&bs::matchclient::JoinRsp::match_id) > 0,
              "");
static_assert(sizeof(&bs::matchclient::MatchStart::mp_id) > 0 &&
                  sizeof(&bs::matchclient::MatchStart::match_group) > 0 &&
                  sizeof(&bs::matchclient::MatchStart::rank_appid) > 0 &&
                  sizeof(&bs::matchclient::MatchStart::rank_objectid) > 0 &&
                  sizeof(&bs::matchclient::MatchStart::name) > 0,
              "");
static_assert(sizeof(&bs::matchclient::MayIBack2MP::set_field_2) > 0, "");

}  // namespace

// Registration of the six schemas and their command-id tables: the five
// full-runtime files in the generated pool with the expected descriptor
// sizes, the lite package without descriptors, and every CMDID_ enumeration
// and the bs.matchclient sub-id table naming its messages.
#include <google/protobuf/descriptor.h>
#include <google/protobuf/descriptor.pb.h>
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <type_traits>
#include <vector>

#include "client/client.pb.h"
#include "client/hallclient.pb.h"
#include "client/matchclient.pb.h"
#include "client/userinfo.pb.h"
#include "gate/gate.pb.h"
#include "interface/client/matchclient_subids.h"
#include "types/types.pb.h"

namespace {

using google::protobuf::DescriptorPool;
using google::protobuf::EnumDescriptor;
using google::protobuf::FileDescriptor;
using google::protobuf::FileDescriptorProto;

const FileDescriptor* File(const char* name) {
  return DescriptorPool::generated_pool()->FindFileByName(name);
}

struct FileFacts {
  const char* name;
  const char* package;
  std::vector<std::string> imports;
  int messages;
  size_t descriptor_bytes;  // serialized FileDescriptorProto
};

// The descriptor size sums up every name, number, label, type and declared
// default of a file: a slip anywhere in a schema changes it.
TEST(SchemaRegistry, FullRuntimeFilesAreRegisteredWithTheirDescriptors) {
  const FileFacts files[] = {
      {"types/types.proto", "bs.types", {}, 8, 1814},
      {"gate/gate.proto", "bs.gate", {}, 8, 991},
      {"client/client.proto", "bs.client", {"types/types.proto"}, 19, 3845},
      {"client/hallclient.proto", "bs.hallclient", {"types/types.proto"}, 24, 3739},
      {"client/userinfo.proto", "bs.userinfo", {}, 6, 796},
  };
  for (const FileFacts& f : files) {
    SCOPED_TRACE(f.name);
    const FileDescriptor* fd = File(f.name);
    ASSERT_NE(fd, nullptr);
    EXPECT_EQ(fd->package(), f.package);
    EXPECT_EQ(fd->syntax(), FileDescriptor::SYNTAX_PROTO2);
    EXPECT_EQ(fd->message_type_count(), f.messages);
    std::vector<std::string> imports;
    for (int i = 0; i < fd->dependency_count(); ++i) imports.push_back(fd->dependency(i)->name());
    EXPECT_EQ(imports, f.imports);
    EXPECT_EQ(fd->options().ByteSizeLong(), 0u) << "no file option on a full-runtime schema";
    FileDescriptorProto proto;
    fd->CopyTo(&proto);
    EXPECT_EQ(proto.ByteSizeLong(), f.descriptor_bytes);
  }
}

TEST(SchemaRegistry, MatchPackageIsLiteAndNotInThePool) {
  static_assert(std::is_base_of<google::protobuf::MessageLite, bs::matchclient::JoinReq>::value,
                "lite message");
  static_assert(!std::is_base_of<google::protobuf::Message, bs::matchclient::JoinReq>::value,
                "bs.matchclient is generated for the lite runtime");
  static_assert(std::is_base_of<google::protobuf::Message, bs::gate::HelloRsp>::value,
                "full message");
  EXPECT_EQ(File("client/matchclient.proto"), nullptr);
  EXPECT_EQ(DescriptorPool::generated_pool()->FindMessageTypeByName("bs.matchclient.JoinReq"),
            nullptr);
  EXPECT_EQ(bs::matchclient::JoinReq::default_instance().GetTypeName(), "bs.matchclient.JoinReq");
  EXPECT_EQ(bs::matchclient::MayIBack2MP().GetTypeName(), "bs.matchclient.MayIBack2MP");
  EXPECT_EQ(bs::matchclient::RingNextRoundFee().GetTypeName(), "bs.matchclient.RingNextRoundFee");
  EXPECT_EQ(bs::gate::HelloRsp().GetTypeName(), "bs.gate.HelloRsp");
  EXPECT_EQ(bs::hallclient::groupItem().GetTypeName(), "bs.hallclient.groupItem");
}

TEST(SchemaRegistry, MessagesAreDeclaredInSchemaOrder) {
  const std::vector<std::string> gate = {"PulseReq",        "PulseRsp", "TransferDataReq",
                                         "TransferDataRsp", "AuthInfo", "LoginToken",
                                         "HelloReq",        "HelloRsp"};
  const std::vector<std::string> types = {"CommonMessage",   "BaseUserInfo",   "UserRoomInfo",
                                          "ExtraUserInfo",   "GameRecordData", "GameAttData",
                                          "UserSessionInfo", "FundItem"};
  const std::vector<std::string> hall = {
      "MatchConfig",       "AllGroupReq",    "groupItem",          "AllGroupRsp",
      "PlanSimpleInfo",    "PrizeItem",      "TitleMatchItem",     "GetMatchDetailReq",
      "GetMatchDetailRsp", "AllListReq",     "listItem",           "AllListRsp",
      "AllPlanReq",        "AllPlanRsp",     "startPointItem",     "DisplayPlanUpdateReq",
      "PlanAllStartPoint", "MyMatchDataReq", "HasSignedMatchItem", "RunningMatchItem",
      "MyMatchDataRsp",    "TokenReq",       "TokenRsp",           "ClientSysInfo"};
  const std::vector<std::string> client = {
      "LoginReq",      "LoginRsp",         "TestRouter",    "LogoutReq",        "LogoutRsp",
      "EnterAppReq",   "EnterAppRsp",      "MessagePrompt", "UserInfoReq",      "UserInfoRsp",
      "QueryFundReq",  "QueryFundRsp",     "PackedMessage", "GetOnlineUserReq", "OnlineUserInfo",
      "OnlineAPPInfo", "GetOnlineUserRsp", "KickUserReq",   "KickUserRsp"};
  const std::vector<std::string> userinfo = {"RegisterCheckReq",  "RegisterCheckRsp",
                                             "RegisterReq",       "RegisterRsp",
                                             "ModifyPasswordReq", "ModifyPasswordRsp"};
  const std::pair<const char*, const std::vector<std::string>*> files[] = {
      {"gate/gate.proto", &gate},
      {"types/types.proto", &types},
      {"client/hallclient.proto", &hall},
      {"client/client.proto", &client},
      {"client/userinfo.proto", &userinfo}};
  for (const auto& f : files) {
    const FileDescriptor* fd = File(f.first);
    ASSERT_NE(fd, nullptr) << f.first;
    std::vector<std::string> names;
    for (int i = 0; i < fd->message_type_count(); ++i) names.push_back(fd->message_type(i)->name());
    EXPECT_EQ(names, *f.second) << f.first;
  }
}

struct CmdId {
  const char* value_name;
  int number;
  const char* message;  // nullptr: names no message of the schema
};

// Checks one CMDID_ enumeration: exactly these values, in this order, each
// naming the message it should, and IDLast declared last.
void ExpectCmdIds(const char* file, const char* enum_name, const std::vector<CmdId>& ids) {
  SCOPED_TRACE(enum_name);
  const FileDescriptor* fd = File(file);
  ASSERT_NE(fd, nullptr);
  const EnumDescriptor* ed = fd->FindEnumTypeByName(enum_name);
  ASSERT_NE(ed, nullptr);
  ASSERT_EQ(ed->value_count(), static_cast<int>(ids.size()));
  for (size_t i = 0; i < ids.size(); ++i) {
    const CmdId& id = ids[i];
    SCOPED_TRACE(id.value_name);
    EXPECT_EQ(ed->value(static_cast<int>(i))->name(), id.value_name);
    EXPECT_EQ(ed->value(static_cast<int>(i))->number(), id.number);
    if (id.message != nullptr) {
      EXPECT_EQ(std::string("ID") + id.message, id.value_name);
      EXPECT_NE(fd->FindMessageTypeByName(id.message), nullptr);
    }
  }
  EXPECT_EQ(ed->value(ed->value_count() - 1)->name(), "IDLast");
}

TEST(CommandIds, Gate) {
  ExpectCmdIds("gate/gate.proto", "CMDID_Gate",
               {{"IDPulseReq", 1, "PulseReq"},
                {"IDPulseRsp", 2, "PulseRsp"},
                {"IDTransferDataReq", 3, "TransferDataReq"},
                {"IDTransferDataRsp", 4, "TransferDataRsp"},
                {"IDAuthInfo", 5, "AuthInfo"},
                {"IDLoginToken", 6, "LoginToken"},
                {"IDHelloReq", 7, "HelloReq"},
                {"IDHelloRsp", 8, "HelloRsp"},
                {"IDLast", 10, nullptr}});
  static_assert(bs::gate::IDHelloReq == 7 && bs::gate::IDLast == 10, "generated constants");
}

TEST(CommandIds, Client) {
  ExpectCmdIds("client/client.proto", "CMDID_Client",
               {{"IDLoginReq", 1, "LoginReq"},
                {"IDLoginRsp", 2, "LoginRsp"},
                {"IDLogoutReq", 3, "LogoutReq"},
                {"IDLogoutRsp", 4, "LogoutRsp"},
                {"IDEnterAppReq", 5, "EnterAppReq"},
                {"IDEnterAppRsp", 6, "EnterAppRsp"},
                {"IDMessagePrompt", 7, "MessagePrompt"},
                {"IDUserInfoReq", 8, "UserInfoReq"},
                {"IDUserInfoRsp", 9, "UserInfoRsp"},
                {"IDQueryFundReq", 10, "QueryFundReq"},
                {"IDQueryFundRsp", 11, "QueryFundRsp"},
                {"IDPackedMessage", 12, "PackedMessage"},
                {"IDGetOnlineUserReq", 80, "GetOnlineUserReq"},
                {"IDGetOnlineUserRsp", 81, "GetOnlineUserRsp"},
                {"IDKickUserReq", 82, "KickUserReq"},
                {"IDKickUserRsp", 83, "KickUserRsp"},
                {"IDTestRouter", 90, "TestRouter"},
                {"IDLast", 100, nullptr}});
  static_assert(bs::client::IDPackedMessage == 12 && bs::client::IDLast == 100, "constants");
}

TEST(CommandIds, HallClient) {
  ExpectCmdIds("client/hallclient.proto", "CMDID_HallClient",
               {{"IDAllGroupReq", 1, "AllGroupReq"},
                {"IDAllGroupRsp", 2, "AllGroupRsp"},
                {"IDAllListReq", 3, "AllListReq"},
                {"IDAllListRsp", 4, "AllListRsp"},
                {"IDAllPlanReq", 7, "AllPlanReq"},
                {"IDAllPlanRsp", 8, "AllPlanRsp"},
                {"IDDisplayPlanUpdateReq", 9, "DisplayPlanUpdateReq"},
                {"IDPlanAllStartPoint", 10, "PlanAllStartPoint"},
                {"IDMyMatchDataReq", 11, "MyMatchDataReq"},
                {"IDMyMatchDataRsp", 12, "MyMatchDataRsp"},
                {"IDGetMatchDetailReq", 13, "GetMatchDetailReq"},
                {"IDGetMatchDetailRsp", 14, "GetMatchDetailRsp"},
                {"IDTokenReq", 15, "TokenReq"},
                {"IDTokenRsp", 16, "TokenRsp"},
                {"IDClientSysInfo", 17, "ClientSysInfo"},
                {"IDLast", 100, nullptr}});
  static_assert(bs::hallclient::IDGetMatchDetailRsp == 14 && bs::hallclient::IDLast == 100,
                "constants");
}

TEST(CommandIds, UserInfo) {
  ExpectCmdIds("client/userinfo.proto", "CMDID_UserInfo",
               {{"IDRegisterCheckReq", 1, "RegisterCheckReq"},
                {"IDRegisterCheckRsp", 2, "RegisterCheckRsp"},
                {"IDRegisterReq", 3, "RegisterReq"},
                {"IDRegisterRsp", 4, "RegisterRsp"},
                {"IDModifyPasswordReq", 5, "ModifyPasswordReq"},
                {"IDModifyPasswordRsp", 6, "ModifyPasswordRsp"},
                {"IDModifyUserInfoReq", 7, nullptr},
                {"IDModifyUserInfoRsp", 8, nullptr},
                {"IDLast", 31, nullptr}});
  EXPECT_EQ(File("client/userinfo.proto")->FindMessageTypeByName("ModifyUserInfoReq"), nullptr);
  static_assert(bs::userinfo::IDRegisterReq == 3 && bs::userinfo::IDLast == 31, "constants");
}

// bs.matchclient has no enumeration; its sub-ids live in matchclient_subids.h.
// The type name ties each constant to the class it is meant for.
TEST(CommandIds, MatchClientSubidTable) {
  namespace mc = bs::matchclient;
  struct Row {
    std::string type_name;
    unsigned subid;
    unsigned expected;
  };
  const Row rows[] = {
      {mc::PlayerActionReq().GetTypeName(), mc::kSubid_PlayerActionReq, 1},
      {mc::PlayerActionRsp().GetTypeName(), mc::kSubid_PlayerActionRsp, 2},
      {mc::JoinReq().GetTypeName(), mc::kSubid_JoinReq, 3},
      {mc::JoinRsp().GetTypeName(), mc::kSubid_JoinRsp, 4},
      {mc::TableStatus().GetTypeName(), mc::kSubid_TableStatus, 5},
      {mc::GameData().GetTypeName(), mc::kSubid_GameData, 6},
      {mc::AddChip().GetTypeName(), mc::kSubid_AddChip, 7},
      {mc::RankListReq().GetTypeName(), mc::kSubid_RankListReq, 8},
      {mc::MatchRankData().GetTypeName(), mc::kSubid_MatchRankData, 9},
      {mc::EnterMatchReq().GetTypeName(), mc::kSubid_EnterMatchReq, 10},
      {mc::EnterMatchRsp().GetTypeName(), mc::kSubid_EnterMatchRsp, 11},
      {mc::RoundStart().GetTypeName(), mc::kSubid_RoundStart, 12},
      {mc::UserInfoInd().GetTypeName(), mc::kSubid_UserInfoInd, 13},
      {mc::RoundEnd().GetTypeName(), mc::kSubid_RoundEnd, 14},
      {mc::MatchStart().GetTypeName(), mc::kSubid_MatchStart, 15},
      {mc::DieoutStageEnding().GetTypeName(), mc::kSubid_DieoutStageEnding, 16},
      {mc::OneTurnEvent().GetTypeName(), mc::kSubid_OneTurnEvent, 17},
      {mc::StageEvent().GetTypeName(), mc::kSubid_StageEvent, 18},
      {mc::MatchPrize().GetTypeName(), mc::kSubid_MatchPrize, 19},
      {mc::BaseScoreEvent().GetTypeName(), mc::kSubid_BaseScoreEvent, 20},
      {mc::BackGameReq().GetTypeName(), mc::kSubid_BackGameReq, 21},
      {mc::BackGameRsp().GetTypeName(), mc::kSubid_BackGameRsp, 22},
      {mc::FixedNumberPlanReq().GetTypeName(), mc::kSubid_FixedNumberPlanReq, 23},
      {mc::FixedNumberPlanRsp().GetTypeName(), mc::kSubid_FixedNumberPlanRsp, 24},
      {mc::MayIBack2MP().GetTypeName(), mc::kSubid_MayIBack2MP, 25},
      {mc::RoundSceneReq().GetTypeName(), mc::kSubid_RoundSceneReq, 26},
      {mc::RoundSceneRsp().GetTypeName(), mc::kSubid_RoundSceneRsp, 27},
      {mc::PlayerRightReq().GetTypeName(), mc::kSubid_PlayerRightReq, 28},
      {mc::PlayerRightRsp().GetTypeName(), mc::kSubid_PlayerRightRsp, 29},
      {mc::UserDetailInfo().GetTypeName(), mc::kSubid_UserDetailInfo, 30},
      {mc::PlayerEndOneMatch().GetTypeName(), mc::kSubid_PlayerEndOneMatch, 32},
      {mc::FreeMatchNewMatch().GetTypeName(), mc::kSubid_FreeMatchNewMatch, 33},
      {mc::RingActionReq().GetTypeName(), mc::kSubid_RingActionReq, 36},
      {mc::RingActionInd().GetTypeName(), mc::kSubid_RingActionInd, 37},
      {mc::RingListReq().GetTypeName(), mc::kSubid_RingListReq, 38},
      {mc::RingListRsp().GetTypeName(), mc::kSubid_RingListRsp, 39},
      {mc::SwitchGroupReq().GetTypeName(), mc::kSubid_SwitchGroupReq, 40},
      {mc::SwitchGroupRsp().GetTypeName(), mc::kSubid_SwitchGroupRsp, 41},
      {mc::RingInfoUpdate().GetTypeName(), mc::kSubid_RingInfoUpdate, 42},
      {mc::RingNextRoundFee().GetTypeName(), mc::kSubid_RingNextRoundFee, 43},
      {mc::RoomTaskPrize().GetTypeName(), mc::kSubid_RoomTaskPrize, 44},
  };
  std::set<unsigned> seen;
  for (const Row& r : rows) {
    EXPECT_EQ(r.subid, r.expected) << r.type_name;
    EXPECT_TRUE(seen.insert(r.subid).second) << "sub-id used twice: " << r.subid;
  }
  EXPECT_EQ(seen.size(), 41u);
  for (unsigned free_id : {31u, 34u, 35u}) EXPECT_EQ(seen.count(free_id), 0u);
}

}  // namespace

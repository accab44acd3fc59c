// The message commands of the system: one CMD_Template instantiation per
// protocol message that travels as a command, 86 over kinds 12 (bs.gate),
// 13 (bs.client), 14 (bs.matchclient), 18 (bs.hallclient) and 23
// (bs.userinfo). Each sub-id is checked here against its package's
// command-id value, so a slip in a table fails the build.
// Thread safety and ownership: as every message command (cmd_template.h).
#pragma once

#include "client/client.pb.h"
#include "client/hallclient.pb.h"
#include "client/matchclient.pb.h"
#include "client/userinfo.pb.h"
#include "gate/gate.pb.h"
#include "interface/client/matchclient_subids.h"
#include "netcore/command/cmd_template.h"

// Each list entry: X(prefix, package namespace, message, kind, sub-id). The
// command type is bs::CMD_<prefix>_<message>.

#define Q_GATE_COMMANDS(X)                  \
  X(Gate, bs::gate, PulseReq, 12, 1)        \
  X(Gate, bs::gate, PulseRsp, 12, 2)        \
  X(Gate, bs::gate, TransferDataReq, 12, 3) \
  X(Gate, bs::gate, TransferDataRsp, 12, 4) \
  X(Gate, bs::gate, AuthInfo, 12, 5)        \
  X(Gate, bs::gate, HelloReq, 12, 7)        \
  X(Gate, bs::gate, HelloRsp, 12, 8)

#define Q_CLIENT_COMMANDS(X)                      \
  X(Client, bs::client, LoginReq, 13, 1)          \
  X(Client, bs::client, LoginRsp, 13, 2)          \
  X(Client, bs::client, LogoutReq, 13, 3)         \
  X(Client, bs::client, LogoutRsp, 13, 4)         \
  X(Client, bs::client, EnterAppReq, 13, 5)       \
  X(Client, bs::client, EnterAppRsp, 13, 6)       \
  X(Client, bs::client, MessagePrompt, 13, 7)     \
  X(Client, bs::client, UserInfoReq, 13, 8)       \
  X(Client, bs::client, UserInfoRsp, 13, 9)       \
  X(Client, bs::client, QueryFundReq, 13, 10)     \
  X(Client, bs::client, QueryFundRsp, 13, 11)     \
  X(Client, bs::client, PackedMessage, 13, 12)    \
  X(Client, bs::client, GetOnlineUserReq, 13, 80) \
  X(Client, bs::client, GetOnlineUserRsp, 13, 81) \
  X(Client, bs::client, KickUserReq, 13, 82)      \
  X(Client, bs::client, KickUserRsp, 13, 83)      \
  X(Client, bs::client, TestRouter, 13, 90)

#define Q_MATCH_COMMANDS(X)                             \
  X(Match, bs::matchclient, PlayerActionReq, 14, 1)     \
  X(Match, bs::matchclient, PlayerActionRsp, 14, 2)     \
  X(Match, bs::matchclient, JoinReq, 14, 3)             \
  X(Match, bs::matchclient, JoinRsp, 14, 4)             \
  X(Match, bs::matchclient, TableStatus, 14, 5)         \
  X(Match, bs::matchclient, GameData, 14, 6)            \
  X(Match, bs::matchclient, AddChip, 14, 7)             \
  X(Match, bs::matchclient, RankListReq, 14, 8)         \
  X(Match, bs::matchclient, MatchRankData, 14, 9)       \
  X(Match, bs::matchclient, EnterMatchReq, 14, 10)      \
  X(Match, bs::matchclient, EnterMatchRsp, 14, 11)      \
  X(Match, bs::matchclient, RoundStart, 14, 12)         \
  X(Match, bs::matchclient, UserInfoInd, 14, 13)        \
  X(Match, bs::matchclient, RoundEnd, 14, 14)           \
  X(Match, bs::matchclient, MatchStart, 14, 15)         \
  X(Match, bs::matchclient, DieoutStageEnding, 14, 16)  \
  X(Match, bs::matchclient, OneTurnEvent, 14, 17)       \
  X(Match, bs::matchclient, StageEvent, 14, 18)         \
  X(Match, bs::matchclient, MatchPrize, 14, 19)         \
  X(Match, bs::matchclient, BaseScoreEvent, 14, 20)     \
  X(Match, bs::matchclient, BackGameReq, 14, 21)        \
  X(Match, bs::matchclient, BackGameRsp, 14, 22)        \
  X(Match, bs::matchclient, FixedNumberPlanReq, 14, 23) \
  X(Match, bs::matchclient, FixedNumberPlanRsp, 14, 24) \
  X(Match, bs::matchclient, MayIBack2MP, 14, 25)        \
  X(Match, bs::matchclient, RoundSceneReq, 14, 26)      \
  X(Match, bs::matchclient, RoundSceneRsp, 14, 27)      \
  X(Match, bs::matchclient, PlayerRightReq, 14, 28)     \
  X(Match, bs::matchclient, PlayerRightRsp, 14, 29)     \
  X(Match, bs::matchclient, UserDetailInfo, 14, 30)     \
  X(Match, bs::matchclient, PlayerEndOneMatch, 14, 32)  \
  X(Match, bs::matchclient, FreeMatchNewMatch, 14, 33)  \
  X(Match, bs::matchclient, RingActionReq, 14, 36)      \
  X(Match, bs::matchclient, RingActionInd, 14, 37)      \
  X(Match, bs::matchclient, RingListReq, 14, 38)        \
  X(Match, bs::matchclient, RingListRsp, 14, 39)        \
  X(Match, bs::matchclient, SwitchGroupReq, 14, 40)     \
  X(Match, bs::matchclient, SwitchGroupRsp, 14, 41)     \
  X(Match, bs::matchclient, RingInfoUpdate, 14, 42)     \
  X(Match, bs::matchclient, RingNextRoundFee, 14, 43)   \
  X(Match, bs::matchclient, RoomTaskPrize, 14, 44)

#define Q_HALL_COMMANDS(X)                             \
  X(Hall, bs::hallclient, AllGroupReq, 18, 1)          \
  X(Hall, bs::hallclient, AllGroupRsp, 18, 2)          \
  X(Hall, bs::hallclient, AllListReq, 18, 3)           \
  X(Hall, bs::hallclient, AllListRsp, 18, 4)           \
  X(Hall, bs::hallclient, AllPlanReq, 18, 7)           \
  X(Hall, bs::hallclient, AllPlanRsp, 18, 8)           \
  X(Hall, bs::hallclient, DisplayPlanUpdateReq, 18, 9) \
  X(Hall, bs::hallclient, PlanAllStartPoint, 18, 10)   \
  X(Hall, bs::hallclient, MyMatchDataReq, 18, 11)      \
  X(Hall, bs::hallclient, MyMatchDataRsp, 18, 12)      \
  X(Hall, bs::hallclient, GetMatchDetailReq, 18, 13)   \
  X(Hall, bs::hallclient, GetMatchDetailRsp, 18, 14)   \
  X(Hall, bs::hallclient, TokenReq, 18, 15)            \
  X(Hall, bs::hallclient, TokenRsp, 18, 16)            \
  X(Hall, bs::hallclient, ClientSysInfo, 18, 17)

#define Q_USERINFO_COMMANDS(X)                        \
  X(UserInfo, bs::userinfo, RegisterCheckReq, 23, 1)  \
  X(UserInfo, bs::userinfo, RegisterCheckRsp, 23, 2)  \
  X(UserInfo, bs::userinfo, RegisterReq, 23, 3)       \
  X(UserInfo, bs::userinfo, RegisterRsp, 23, 4)       \
  X(UserInfo, bs::userinfo, ModifyPasswordReq, 23, 5) \
  X(UserInfo, bs::userinfo, ModifyPasswordRsp, 23, 6)

#define Q_MESSAGE_COMMANDS(X) \
  Q_GATE_COMMANDS(X)          \
  Q_CLIENT_COMMANDS(X)        \
  Q_MATCH_COMMANDS(X)         \
  Q_HALL_COMMANDS(X)          \
  Q_USERINFO_COMMANDS(X)

namespace bs {

#define Q_DECLARE_MESSAGE_COMMAND(prefix, ns, name, kind, subid) \
  using CMD_##prefix##_##name = CMD_Template<ns::name, kind, subid>;
Q_MESSAGE_COMMANDS(Q_DECLARE_MESSAGE_COMMAND)
#undef Q_DECLARE_MESSAGE_COMMAND

// Sub-ids against the packages' own numbering: the CMDID_ enumerations of
// four packages, the sub-id table of bs.matchclient, which has no enumeration.
#define Q_CHECK_ENUM_SUBID(prefix, ns, name, kind, subid) \
  static_assert(subid == ns::ID##name, #name ": sub-id differs from its CMDID_ value");
#define Q_CHECK_MATCH_SUBID(prefix, ns, name, kind, subid) \
  static_assert(subid == ns::kSubid_##name, #name ": sub-id differs from the match sub-id table");
Q_GATE_COMMANDS(Q_CHECK_ENUM_SUBID)
Q_CLIENT_COMMANDS(Q_CHECK_ENUM_SUBID)
Q_HALL_COMMANDS(Q_CHECK_ENUM_SUBID)
Q_USERINFO_COMMANDS(Q_CHECK_ENUM_SUBID)
Q_MATCH_COMMANDS(Q_CHECK_MATCH_SUBID)
#undef Q_CHECK_ENUM_SUBID
#undef Q_CHECK_MATCH_SUBID

// Every entry of a package's list has that package's kind.
#define Q_CHECK_KIND(name, kind, expected) \
  static_assert(kind == (expected), #name ": kind differs from its package's");
#define Q_CHECK_GATE_KIND(prefix, ns, name, kind, subid) Q_CHECK_KIND(name, kind, kCmdKindGate)
#define Q_CHECK_CLIENT_KIND(prefix, ns, name, kind, subid) Q_CHECK_KIND(name, kind, kCmdKindClient)
#define Q_CHECK_MATCH_KIND(prefix, ns, name, kind, subid) Q_CHECK_KIND(name, kind, kCmdKindMatch)
#define Q_CHECK_HALL_KIND(prefix, ns, name, kind, subid) Q_CHECK_KIND(name, kind, kCmdKindHall)
#define Q_CHECK_USERINFO_KIND(prefix, ns, name, kind, subid) \
  Q_CHECK_KIND(name, kind, kCmdKindUserInfo)
Q_GATE_COMMANDS(Q_CHECK_GATE_KIND)
Q_CLIENT_COMMANDS(Q_CHECK_CLIENT_KIND)
Q_MATCH_COMMANDS(Q_CHECK_MATCH_KIND)
Q_HALL_COMMANDS(Q_CHECK_HALL_KIND)
Q_USERINFO_COMMANDS(Q_CHECK_USERINFO_KIND)
#undef Q_CHECK_GATE_KIND
#undef Q_CHECK_CLIENT_KIND
#undef Q_CHECK_MATCH_KIND
#undef Q_CHECK_HALL_KIND
#undef Q_CHECK_USERINFO_KIND
#undef Q_CHECK_KIND

#define Q_COUNT_MESSAGE_COMMAND(prefix, ns, name, kind, subid) +1
constexpr int kMessageCommandCount = 0 Q_MESSAGE_COMMANDS(Q_COUNT_MESSAGE_COMMAND);
#undef Q_COUNT_MESSAGE_COMMAND
static_assert(kMessageCommandCount == 86, "one command per message with a sub-id");

}  // namespace bs

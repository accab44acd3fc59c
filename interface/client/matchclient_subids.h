// Command sub-ids of the bs.matchclient messages (command kind 14).
// The package has no command-id enumeration of its own, so this table is what
// binds each match message to its sub-id; the message command template checks
// against it at compile time. Sub-ids 31, 34, 35 and everything above 44 name
// no message; PrizeItem, TopRankList, RingInfo, Challenger and MatchGoingInfo
// have no sub-id and travel only inside other messages.
#pragma once

#include <cstdint>

namespace bs {
namespace matchclient {

constexpr std::uint16_t kSubid_PlayerActionReq = 1;
constexpr std::uint16_t kSubid_PlayerActionRsp = 2;
constexpr std::uint16_t kSubid_JoinReq = 3;
constexpr std::uint16_t kSubid_JoinRsp = 4;
constexpr std::uint16_t kSubid_TableStatus = 5;
constexpr std::uint16_t kSubid_GameData = 6;
constexpr std::uint16_t kSubid_AddChip = 7;
constexpr std::uint16_t kSubid_RankListReq = 8;
constexpr std::uint16_t kSubid_MatchRankData = 9;
constexpr std::uint16_t kSubid_EnterMatchReq = 10;
constexpr std::uint16_t kSubid_EnterMatchRsp = 11;
constexpr std::uint16_t kSubid_RoundStart = 12;
constexpr std::uint16_t kSubid_UserInfoInd = 13;
constexpr std::uint16_t kSubid_RoundEnd = 14;
constexpr std::uint16_t kSubid_MatchStart = 15;
constexpr std::uint16_t kSubid_DieoutStageEnding = 16;
constexpr std::uint16_t kSubid_OneTurnEvent = 17;
constexpr std::uint16_t kSubid_StageEvent = 18;
constexpr std::uint16_t kSubid_MatchPrize = 19;
constexpr std::uint16_t kSubid_BaseScoreEvent = 20;
constexpr std::uint16_t kSubid_BackGameReq = 21;
constexpr std::uint16_t kSubid_BackGameRsp = 22;
constexpr std::uint16_t kSubid_FixedNumberPlanReq = 23;
constexpr std::uint16_t kSubid_FixedNumberPlanRsp = 24;
constexpr std::uint16_t kSubid_MayIBack2MP = 25;
constexpr std::uint16_t kSubid_RoundSceneReq = 26;
constexpr std::uint16_t kSubid_RoundSceneRsp = 27;
constexpr std::uint16_t kSubid_PlayerRightReq = 28;
constexpr std::uint16_t kSubid_PlayerRightRsp = 29;
constexpr std::uint16_t kSubid_UserDetailInfo = 30;
constexpr std::uint16_t kSubid_PlayerEndOneMatch = 32;
constexpr std::uint16_t kSubid_FreeMatchNewMatch = 33;
constexpr std::uint16_t kSubid_RingActionReq = 36;
constexpr std::uint16_t kSubid_RingActionInd = 37;
constexpr std::uint16_t kSubid_RingListReq = 38;
constexpr std::uint16_t kSubid_RingListRsp = 39;
constexpr std::uint16_t kSubid_SwitchGroupReq = 40;
constexpr std::uint16_t kSubid_SwitchGroupRsp = 41;
constexpr std::uint16_t kSubid_RingInfoUpdate = 42;
constexpr std::uint16_t kSubid_RingNextRoundFee = 43;
constexpr std::uint16_t kSubid_RoomTaskPrize = 44;

}  // namespace matchclient
}  // namespace bs

// The blocks the gate client's hall sink sends back to the lobby, built from
// the gate answers: part of the contract with the launcher and the lobby
// frame, beside the hall interfaces. All multi-byte values little-endian;
// bytes not listed are zero.
//
// | block (main/sub) | length | bytes                                                      |
// |------------------|--------|------------------------------------------------------------|
// | title 3/100      | 24     | 0-1 game kind; 12-13 value 4; 16-17 3 (plan type 1) else 4  |
// | fee 3/105        | 16     | 0-3 first join fee's count (low 32 bits) when its id is 10; |
// |                  |        | 12-15 max wait seconds when plan type is 1                  |
// | prize 300/2      | 22 + n | 0-3 rank begin; 4-7 rank end; 20-21 n; 22.. ANSI award text |
// |                  |        | (n <= 149, no NUL counted; buffer 172)                      |
// | start point 300/12 | 8    | 0-3 player count; 4-7 current sign-up count                 |
// | sign-up state 300/1 | 8   | 0-3 user id; 4-5 zero; 6-7 state code                       |
// | text 10/100      | 4 + n  | 0-1 word 4099; 2-3 n; 4.. ANSI text (n <= 1024, from at most|
// |                  |        | 1023 UTF-16 units)                                          |
// Thread safety: pure functions.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "client/hallclient.pb.h"

namespace nfhall {

using Block = std::vector<uint8_t>;

enum : uint16_t {
  kMainTitle = 3,
  kSubTitle = 100,
  kMainFee = 3,
  kSubFee = 105,
  kMainPrize = 300,
  kSubPrize = 2,
  kMainPrizeEnd = 300,
  kSubPrizeEnd = 11,
  kMainStartPoint = 300,
  kSubStartPoint = 12,
  kMainSignState = 300,
  kSubSignState = 1,
  kMainText = 10,
  kSubText = 100,
  kMainMatchEvent = 100,
  kSubMatchEvent = 1003,
  kMainFund = 99,
  kSubFund = 5,
  kMainGameNotice = 99,
  kSubGameExited = 30,
  kSubGameRegistered = 31,
};

const size_t kPrizeBufferBytes = 172;
const size_t kPrizeTextMaxBytes = 149;
const size_t kTextMaxBytes = 1024;
const size_t kTextMaxUnits = 1023;
const uint16_t kTextMessageWord = 4099;

Block TitleBlock(const bs::hallclient::TitleMatchItem& item);
Block FeeBlock(const bs::hallclient::TitleMatchItem& item);
Block PrizeBlock(const bs::hallclient::PrizeItem& prize);
Block StartPointBlock(uint32_t playerCount, uint32_t currentSign);
Block SignStateBlock(int32_t userId, uint16_t stateCode);
Block TextBlock(const std::string& utf8);

// The state code of a sign-up (withdraw false) or withdrawal answer.
uint16_t JoinStateCode(bool withdraw, int result, uint32_t field11);
// A sign-up answer whose text the lobby shows instead of a state block.
bool JoinResultSendsText(bool withdraw, int result);

}  // namespace nfhall

#include "interface/hall/hall_blocks.h"

#include <cstring>

#include "interface/hall/ansi_text.h"

namespace nfhall {

namespace {

void Put16(Block& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void Put32(Block& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

}  // namespace

Block TitleBlock(const bs::hallclient::TitleMatchItem& item) {
  Block b(24, 0);
  Put16(b, 0, item.game_kind() & 0xFFFF);
  Put16(b, 12, 4);
  Put16(b, 16, item.plan_type() == 1 ? 3 : 4);
  return b;
}

Block FeeBlock(const bs::hallclient::TitleMatchItem& item) {
  Block b(16, 0);
  if (item.join_fee_size() > 0 && item.join_fee(0).id() == 10) {
    Put32(b, 0, static_cast<uint32_t>(item.join_fee(0).count()));
  }
  if (item.plan_type() == 1) Put32(b, 12, item.max_wait_seconds());
  return b;
}

Block PrizeBlock(const bs::hallclient::PrizeItem& prize) {
  Block b(kPrizeBufferBytes, 0);
  Put32(b, 0, prize.rank_begein());
  Put32(b, 4, prize.rank_end());
  const std::string text = Utf8ToAnsi(prize.other_award(), kPrizeBufferBytes, kPrizeTextMaxBytes);
  Put16(b, 20, static_cast<uint32_t>(text.size()));
  std::memcpy(b.data() + 22, text.data(), text.size());
  b.resize(22 + text.size());
  return b;
}

Block StartPointBlock(uint32_t playerCount, uint32_t currentSign) {
  Block b(8, 0);
  Put32(b, 0, playerCount);
  Put32(b, 4, currentSign);
  return b;
}

Block SignStateBlock(int32_t userId, uint16_t stateCode) {
  Block b(8, 0);
  Put32(b, 0, static_cast<uint32_t>(userId));
  Put16(b, 6, stateCode);
  return b;
}

Block TextBlock(const std::string& utf8) {
  const std::string text = Utf8ToAnsi(utf8, kTextMaxUnits, kTextMaxBytes);
  Block b(4 + text.size(), 0);
  Put16(b, 0, kTextMessageWord);
  Put16(b, 2, static_cast<uint32_t>(text.size()));
  if (!text.empty()) std::memcpy(b.data() + 4, text.data(), text.size());
  return b;
}

uint16_t JoinStateCode(bool withdraw, int result, uint32_t field11) {
  if (withdraw) return (result == 0 || result == 8 || result == 9) ? 4 : 5;
  if (result == 0 || result == 1) return 3;
  if (result == 10 && field11 == 10) return 9;
  return 7;
}

bool JoinResultSendsText(bool withdraw, int result) {
  return !withdraw && (result == 5 || result == 13 || result == 15);
}

}  // namespace nfhall

// libFuzzer target for the hall contract's byte work: the text fields of the
// lobby's 300-byte user block (ANSI to UTF-8), the UTF-8 <-> UTF-16 <-> ANSI
// conversions with their cuts, and the lobby blocks built from hall messages
// that came from the gate. Each must stay within its bounds. (The whole user
// block into login data: nfhall/user_block_fuzz.cpp.)
// Input: a mode byte, then the bytes the mode reads.
// Native only (the code page seam stands in with Latin-1); built in the
// fuzz tree and run by scripts/fuzz.sh.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "interface/hall/ansi_text.h"
#include "interface/hall/hall_blocks.h"
#include "interface/hall/nfhall_interfaces.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

void UserBlock(const uint8_t* data, size_t size) {
  NFHallUserInfo info;
  std::memset(&info, 0, sizeof info);
  std::memcpy(&info, data, std::min(size, sizeof info));
  const struct {
    const char* field;
    size_t width;
  } texts[] = {{info.account, sizeof info.account},
               {info.systemSerial, sizeof info.systemSerial},
               {info.biosSerial, sizeof info.biosSerial},
               {info.cpuSerial, sizeof info.cpuSerial},
               {info.diskSerial, sizeof info.diskSerial},
               {info.macAddress, sizeof info.macAddress},
               {info.guid, sizeof info.guid}};
  for (const auto& t : texts) (void)nfhall::AnsiFieldToUtf8(t.field, t.width);
}

void Texts(const uint8_t* data, size_t size) {
  if (size < 2) return;
  const size_t units = data[0] * 8u;
  const size_t bytes = data[1] * 8u;
  const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
  const std::u16string wide = nfhall::Utf8ToWide(text, units);
  Check(wide.size() <= units, "UTF-16 longer than its bound");
  // Well-formed UTF-16 survives UTF-8 and back.
  const std::u16string whole = nfhall::Utf8ToWide(text);
  Check(nfhall::Utf8ToWide(nfhall::WideToUtf8(whole)) == whole, "UTF-16 -> UTF-8 -> UTF-16");
  const std::string ansi = nfhall::Utf8ToAnsi(text, units, bytes);
  Check(ansi.size() <= bytes, "ANSI text longer than its bound");
  (void)nfhall::AnsiToWide(ansi);
  (void)nfhall::AnsiFieldToUtf8(text.data(), std::min<size_t>(text.size(), data[0]));
  const nfhall::Block block = nfhall::TextBlock(text);
  Check(block.size() >= 4 && block.size() <= 4 + nfhall::kTextMaxBytes, "text block size");
  Check(size_t(block[2] | block[3] << 8) == block.size() - 4, "text block's length word");
}

void HallMessages(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  bs::hallclient::TitleMatchItem item;
  if (item.ParseFromString(bytes)) {
    Check(nfhall::TitleBlock(item).size() == 24, "title block size");
    Check(nfhall::FeeBlock(item).size() == 16, "fee block size");
  }
  bs::hallclient::PrizeItem prize;
  if (prize.ParseFromString(bytes)) {
    const nfhall::Block block = nfhall::PrizeBlock(prize);
    Check(block.size() >= 22 && block.size() <= 22 + nfhall::kPrizeTextMaxBytes,
          "prize block size");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  switch (data[0] % 3) {
    case 0:
      UserBlock(data + 1, size - 1);
      break;
    case 1:
      Texts(data + 1, size - 1);
      break;
    default:
      HallMessages(data + 1, size - 1);
      break;
  }
  return 0;
}

// The six requests the launcher sends into the lobby's socket channel when
// the user enters a room, before the gate client hears of it, in this order
// (little-endian; all other bytes zero):
//
// | main/sub | length | content                                                       |
// |----------|--------|---------------------------------------------------------------|
// | 2/100    | 224    | 8-11 user id (user block 0-3); 32-35 int32 -1;                |
// |          |        | 64-71 fund block 16-23; 124-127 fund block 4-7                |
// | 1/100    | 8      | 0-3 user id; 4-7 zero                                         |
// | 3/106    | 224    | zero                                                          |
// | 3/100    | 24     | zero                                                          |
// | 1/102    | none   | sent without a body                                           |
// | 3/105    | 16     | zero                                                          |
// Thread safety: pure function.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace halvora {

const size_t kUserBlockBytes = 300;
const size_t kFundHalfBytes = 16;

struct StartupRequest {
  uint16_t mainCode;
  uint16_t subCode;
  bool hasBody;
  std::vector<uint8_t> body;
};

// `user` is the 300-byte user block, `fund` the fund block's two halves.
std::vector<StartupRequest> StartupRequests(const uint8_t (&user)[kUserBlockBytes],
                                            const uint8_t (&fund)[2][kFundHalfBytes]);

}  // namespace halvora

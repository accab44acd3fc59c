#include "launcher/startup_requests.h"

#include <cstring>

namespace halvora {

std::vector<StartupRequest> StartupRequests(const uint8_t (&user)[kUserBlockBytes],
                                            const uint8_t (&fund)[2][kFundHalfBytes]) {
  std::vector<StartupRequest> requests = {
      {2, 100, true, std::vector<uint8_t>(224)},
      {1, 100, true, std::vector<uint8_t>(8)},
      {3, 106, true, std::vector<uint8_t>(224)},
      {3, 100, true, std::vector<uint8_t>(24)},
      {1, 102, false, {}},
      {3, 105, true, std::vector<uint8_t>(16)},
  };
  std::vector<uint8_t>& first = requests[0].body;
  std::memcpy(&first[8], &user[0], 4);
  std::memset(&first[32], 0xFF, 4);
  std::memcpy(&first[64], &fund[1][0], 8);   // fund bytes 16-23: count of item 10
  std::memcpy(&first[124], &fund[0][4], 4);  // fund bytes 4-7: count of item 11
  std::memcpy(&requests[1].body[0], &user[0], 4);
  return requests;
}

}  // namespace halvora

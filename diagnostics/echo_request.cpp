#include "diagnostics/echo_request.h"

namespace diag {

uint16_t InternetChecksum(const uint8_t* bytes, size_t n) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < n; i += 2) sum += uint32_t(bytes[i] << 8 | bytes[i + 1]);
  if (n % 2) sum += uint32_t(bytes[n - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return uint16_t(~sum);
}

void BuildEchoRequest(uint16_t identifier, uint16_t sequence, uint32_t tick,
                      uint8_t out[kEchoRequestSize]) {
  out[0] = 8;
  out[1] = 0;
  out[2] = out[3] = 0;
  out[4] = uint8_t(identifier);
  out[5] = uint8_t(identifier >> 8);
  out[6] = uint8_t(sequence);
  out[7] = uint8_t(sequence >> 8);
  for (int i = 0; i < 4; ++i) out[8 + i] = uint8_t(tick >> (8 * i));
  for (int i = 0; i < 32; ++i) out[12 + i] = uint8_t(0x41 + i);
  uint16_t sum = InternetChecksum(out, kEchoRequestSize);
  out[2] = uint8_t(sum >> 8);
  out[3] = uint8_t(sum);
}

}  // namespace diag

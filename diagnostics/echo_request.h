// The 44-byte ICMP echo request that CIcmpSocket sends. Portable.
//
// | offset | size | field      | value                                        |
// |--------|------|------------|----------------------------------------------|
// | 0      | 1    | type       | 8 (echo request)                             |
// | 1      | 1    | code       | 0                                            |
// | 2      | 2    | checksum   | RFC 1071 over the 44 bytes, this field 0     |
// | 4      | 2    | identifier | low 16 bits of the process id, little-endian |
// | 6      | 2    | sequence   | little-endian, first request 1               |
// | 8      | 4    | tick       | GetTickCount at the send, little-endian      |
// | 12     | 32   | data       | the bytes 0x41 to 0x60                       |
// Thread safety: reentrant functions.
#pragma once

#include <cstddef>
#include <cstdint>

namespace diag {

constexpr size_t kEchoRequestSize = 44;

// RFC 1071 Internet checksum; the result is to be stored with its first byte
// the high byte of the sum of big-endian words.
uint16_t InternetChecksum(const uint8_t* bytes, size_t n);

void BuildEchoRequest(uint16_t identifier, uint16_t sequence, uint32_t tick,
                      uint8_t out[kEchoRequestSize]);

}  // namespace diag

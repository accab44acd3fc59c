// Hex text of the report body (uppercase) and of the configuration answer
// (either case), two digits a byte, high nibble first. Portable.
// Thread safety: reentrant functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace diag {

std::string HexEncode(const uint8_t* bytes, size_t n);

// Decodes `count` digits into count / 2 bytes of `out`. Returns 1 for an odd
// count, without writing anything; otherwise writes every pair (an invalid
// digit counts as 0) and returns 1 when any digit was invalid, else 0.
int HexDecode(size_t count, const char* digits, uint8_t* out);

}  // namespace diag

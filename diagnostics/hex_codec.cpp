#include "diagnostics/hex_codec.h"

namespace diag {

namespace {

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

std::string HexEncode(const uint8_t* bytes, size_t n) {
  static const char kDigits[] = "0123456789ABCDEF";
  std::string text(n * 2, '0');
  for (size_t i = 0; i < n; ++i) {
    text[i * 2] = kDigits[bytes[i] >> 4];
    text[i * 2 + 1] = kDigits[bytes[i] & 0x0F];
  }
  return text;
}

int HexDecode(size_t count, const char* digits, uint8_t* out) {
  if (count % 2 != 0) return 1;
  int error = 0;
  for (size_t i = 0; i < count / 2; ++i) {
    int hi = DigitValue(digits[i * 2]);
    int lo = DigitValue(digits[i * 2 + 1]);
    if (hi < 0 || lo < 0) error = 1;
    out[i] = uint8_t(((hi < 0 ? 0 : hi) << 4) | (lo < 0 ? 0 : lo));
  }
  return error;
}

}  // namespace diag

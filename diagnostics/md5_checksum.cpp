#include "diagnostics/md5_checksum.h"

std::string CMD5Checksum::GetMD5(const void* bytes, size_t n) {
  static const char kDigits[] = "0123456789abcdef";
  md5_ = md5::Md5();
  md5_.Update(bytes, n);
  uint8_t digest[16];
  md5_.Final(digest);
  std::string text(32, '0');
  for (int i = 0; i < 16; ++i) {
    text[i * 2] = kDigits[digest[i] >> 4];
    text[i * 2 + 1] = kDigits[digest[i] & 0x0F];
  }
  return text;
}

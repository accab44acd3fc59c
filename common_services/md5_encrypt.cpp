// CMD5Encrypt on the MD5 core shared with the diagnostics library.
#include "common_services/include/zintal/md5_encrypt.h"

#include <cstring>
#include <string>

#include "shared/md5/md5.h"

CMD5Encrypt::CMD5Encrypt() = default;

CMD5Encrypt& CMD5Encrypt::operator=(const CMD5Encrypt&) = default;

void CMD5Encrypt::EncryptData(const char* text, char output[33]) {
  if (output == nullptr) return;
  const size_t size = text != nullptr ? std::strlen(text) : 0;
  const std::string hex = md5::HexDigest(text, size);
  std::memcpy(output, hex.c_str(), 33);
}

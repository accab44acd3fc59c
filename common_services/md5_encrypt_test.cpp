#include "common_services/include/zintal/md5_encrypt.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

TEST(MD5Encrypt, RfcTestSuiteInLowercaseAndNoMoreThan33Bytes) {
  const struct {
    const char* text;
    const char* hex;
  } cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
       "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) {
    char out[40];
    std::memset(out, '#', sizeof out);
    CMD5Encrypt::EncryptData(c.text, out);
    EXPECT_STREQ(out, c.hex) << c.text;
    EXPECT_EQ(std::string(out + 33, 7), std::string(7, '#'));
  }
  char out[33];
  CMD5Encrypt::EncryptData(nullptr, out);
  EXPECT_STREQ(out, "d41d8cd98f00b204e9800998ecf8427e");
}

}  // namespace

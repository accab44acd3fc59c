#include "common_services/md5/md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// The test suite of RFC 1321, appendix A.5.
TEST(Md5, KnownAnswersOfTheRfc) {
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
      {"1234567890123456789012345678901234567890123456789012345678901234567890123456789"
       "0",
       "57edf4a22be3c955ac49da2e2107b67a"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(md5::HexDigest(c.text, std::string(c.text).size()), c.hex) << c.text;
  }
  EXPECT_EQ(md5::HexDigest("abc", 3, true), "900150983CD24FB0D6963F7D28E17F72");
}

// Feeding the same bytes in pieces that straddle the 64-byte block and the
// 56-byte padding boundary gives the one-shot digest.
TEST(Md5, PiecewiseUpdatesMatchOneShot) {
  std::string data;
  for (int i = 0; i < 300; ++i) data.push_back(char(i * 7 + 3));
  for (size_t len : {55u, 56u, 63u, 64u, 65u, 119u, 120u, 300u}) {
    uint8_t whole[16], parts[16];
    md5::Digest(data.data(), len, whole);
    for (size_t step : {1u, 7u, 63u}) {
      md5::Md5 m;
      for (size_t at = 0; at < len; at += step)
        m.Update(data.data() + at, std::min(step, len - at));
      m.Final(parts);
      EXPECT_EQ(0, memcmp(whole, parts, 16)) << len << "/" << step;
    }
  }
}

}  // namespace

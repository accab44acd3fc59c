#include "shared/md5/md5.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "shared/md5/md5_test_util.h"

namespace {

// The test suite of RFC 1321, appendix A.5.
TEST(Md5, KnownAnswersOfTheRfc) {
  for (const auto& c : md5_test::kRfc1321Suite) {
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

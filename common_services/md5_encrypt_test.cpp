#include "common_services/include/zintal/md5_encrypt.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "shared/md5/md5_test_util.h"

namespace {

TEST(MD5Encrypt, RfcTestSuiteInLowercaseAndNoMoreThan33Bytes) {
  for (const auto& c : md5_test::kRfc1321Suite) {
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

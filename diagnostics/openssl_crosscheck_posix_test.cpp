// The codecs against OpenSSL's DES and MD5 on random keys and data (native
// tree only: OpenSSL is not in the Windows build).
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/des.h>
#include <openssl/md5.h>

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "diagnostics/des_cipher.h"
#include "diagnostics/md5_checksum.h"

namespace {

TEST(CodecsAgainstOpenSsl, DesEcbOnRandomKeysAndData) {
  std::mt19937 rng(20261209);
  for (int round = 0; round < 200; ++round) {
    uint8_t key[8];
    for (uint8_t& b : key) b = uint8_t(rng());
    size_t blocks = 1 + rng() % 40;
    std::vector<uint8_t> data(blocks * 8);
    for (uint8_t& b : data) b = uint8_t(rng());

    CDesCipher des;
    des.SetKey(key);
    ASSERT_TRUE(des.Encipher(data.data(), data.size()));
    DES_key_schedule ks;
    DES_set_key_unchecked(reinterpret_cast<const_DES_cblock*>(key), &ks);
    for (size_t b = 0; b < blocks; ++b) {
      DES_cblock out;
      DES_ecb_encrypt(reinterpret_cast<const_DES_cblock*>(data.data() + b * 8), &out, &ks,
                      DES_ENCRYPT);
      ASSERT_EQ(0, memcmp(out, des.enciphered() + b * 8, 8)) << "round " << round;
    }
    std::vector<uint8_t> back(des.enciphered(), des.enciphered() + data.size());
    ASSERT_TRUE(des.Decipher(back.data(), back.size()));
    ASSERT_EQ(0, memcmp(des.deciphered(), data.data(), data.size()));
  }
}

TEST(CodecsAgainstOpenSsl, Md5OnRandomData) {
  std::mt19937 rng(7);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> data(rng() % 300);
    for (uint8_t& b : data) b = uint8_t(rng());
    unsigned char digest[MD5_DIGEST_LENGTH];
    MD5(data.data(), data.size(), digest);
    char hex[33];
    for (int i = 0; i < 16; ++i) snprintf(hex + i * 2, 3, "%02x", digest[i]);
    CMD5Checksum md5;
    ASSERT_EQ(md5.GetMD5(data.data(), data.size()), hex) << data.size();
  }
}

}  // namespace

// Compares the body cipher with OpenSSL's Blowfish (native tree only).
#define OPENSSL_SUPPRESS_DEPRECATED
#include <openssl/blowfish.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "netcore/net/blowfish.h"

namespace {

TEST(BlowfishVsOpenSsl, RandomKeysBlocksAndBuffers) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 300; ++round) {
    std::vector<unsigned char> key(1 + rng() % 56);
    for (auto& c : key) c = static_cast<unsigned char>(rng());
    BF_KEY ref;
    BF_set_key(&ref, static_cast<int>(key.size()), key.data());
    CBlowfish bf;
    bf.SetKey(reinterpret_cast<const char*>(key.data()), static_cast<unsigned>(key.size()));

    // Word level: the same convention on both sides.
    BF_LONG words[2] = {static_cast<BF_LONG>(rng()), static_cast<BF_LONG>(rng())};
    uint32_t l = words[0], r = words[1];
    BF_encrypt(words, &ref);
    bf.EncryptBlock(l, r);
    ASSERT_EQ(words[0], l);
    ASSERT_EQ(words[1], r);

    // Byte level: OpenSSL reads halves big-endian, the link little-endian,
    // so OpenSSL sees every 4-byte half reversed.
    std::vector<char> data(rng() % 200);
    for (auto& c : data) c = static_cast<char>(rng());
    const std::vector<char> ours = bf.Encrypt(data);
    std::vector<unsigned char> padded(data.begin(), data.end());
    const size_t pad = 8 - data.size() % 8;
    padded.insert(padded.end(), pad, static_cast<unsigned char>(pad));
    ASSERT_EQ(padded.size(), ours.size());
    for (size_t off = 0; off < padded.size(); off += 8) {
      unsigned char in[8], out[8];
      std::copy(padded.begin() + off, padded.begin() + off + 8, in);
      std::reverse(in, in + 4);
      std::reverse(in + 4, in + 8);
      BF_ecb_encrypt(in, out, &ref, BF_ENCRYPT);
      std::reverse(out, out + 4);
      std::reverse(out + 4, out + 8);
      ASSERT_EQ(0, std::memcmp(out, ours.data() + off, 8)) << "round " << round << " block " << off;
    }
    ASSERT_EQ(data, bf.Decrypt(ours));
  }
}

}  // namespace

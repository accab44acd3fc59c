#include "netcore/net/blowfish.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

uint64_t Hex64(const char* s) { return std::stoull(s, nullptr, 16); }

std::string HexBytes(const char* s) {
  std::string out;
  for (size_t i = 0; s[i] && s[i + 1]; i += 2)
    out.push_back(static_cast<char>(std::stoi(std::string(s + i, 2), nullptr, 16)));
  return out;
}

CBlowfish Keyed(const std::string& key) {
  CBlowfish bf;
  bf.SetKey(key.data(), static_cast<unsigned>(key.size()));
  return bf;
}

// Enciphers whole blocks without padding, in the link's byte order, so a
// test can choose exactly what Decrypt will see after deciphering.
std::vector<char> RawEncrypt(const CBlowfish& bf, std::vector<char> data) {
  auto* p = reinterpret_cast<unsigned char*>(data.data());
  for (size_t off = 0; off + 8 <= data.size(); off += 8) {
    uint32_t h[2];
    for (int w = 0; w < 2; ++w) {
      const unsigned char* q = p + off + 4 * w;
      h[w] = q[0] | q[1] << 8 | q[2] << 16 | static_cast<uint32_t>(q[3]) << 24;
    }
    bf.EncryptBlock(h[0], h[1]);
    for (int w = 0; w < 2; ++w) {
      for (int i = 0; i < 4; ++i) p[off + 4 * w + i] = static_cast<unsigned char>(h[w] >> (8 * i));
    }
  }
  return data;
}

// Eric Young's published ECB vectors (big-endian block convention).
struct Vector {
  const char* key;
  const char* plain;
  const char* cipher;
};
const Vector kEcb[] = {
    {"0000000000000000", "0000000000000000", "4EF997456198DD78"},
    {"FFFFFFFFFFFFFFFF", "FFFFFFFFFFFFFFFF", "51866FD5B85ECB8A"},
    {"3000000000000000", "1000000000000001", "7D856F9A613063F2"},
    {"1111111111111111", "1111111111111111", "2466DD878B963C9D"},
    {"0123456789ABCDEF", "1111111111111111", "61F9C3802281B096"},
    {"1111111111111111", "0123456789ABCDEF", "7D0CC630AFDA1EC7"},
    {"FEDCBA9876543210", "0123456789ABCDEF", "0ACEAB0FC6A0A28D"},
};

TEST(Blowfish, BlockFunctionMatchesPublishedVectors) {
  for (const Vector& v : kEcb) {
    CBlowfish bf = Keyed(HexBytes(v.key));
    const uint64_t plain = Hex64(v.plain), cipher = Hex64(v.cipher);
    uint32_t l = static_cast<uint32_t>(plain >> 32), r = static_cast<uint32_t>(plain);
    bf.EncryptBlock(l, r);
    EXPECT_EQ(cipher, (static_cast<uint64_t>(l) << 32) | r) << v.key;
    bf.DecryptBlock(l, r);
    EXPECT_EQ(plain, (static_cast<uint64_t>(l) << 32) | r) << v.key;
  }
}

TEST(Blowfish, KeyScheduleTakesShortKeysCyclically) {
  // Key lengths 1 to 3: word counts len / gcd(len, 4) of 1, 2 and 3.
  const std::string key = HexBytes("F0E1D2C3B4A59687");
  const char* expect[] = {"F9AD597C49DB005E", "E91D21C1D961A6D6", "E9C2B70A1BC65CF3"};
  for (unsigned len = 1; len <= 3; ++len) {
    CBlowfish bf = Keyed(key.substr(0, len));
    uint32_t l = 0xFEDCBA98u, r = 0x76543210u;
    bf.EncryptBlock(l, r);
    EXPECT_EQ(Hex64(expect[len - 1]), (static_cast<uint64_t>(l) << 32) | r) << len;
  }
}

TEST(Blowfish, ByteApiReadsEachHalfLittleEndian) {
  CBlowfish bf = Keyed(HexBytes("3000000000000000"));
  // Plain block 10000000 00000001 with each half byte-reversed.
  const std::vector<char> in = {0, 0, 0, 0x10, 1, 0, 0, 0};
  const std::vector<char> out = bf.Encrypt(in);
  ASSERT_EQ(16u, out.size());
  // Cipher 7D856F9A 613063F2, halves byte-reversed back.
  const std::vector<char> first(out.begin(), out.begin() + 8);
  const std::vector<char> expect = {'\x9A', '\x6F', '\x85', '\x7D', '\xF2', '\x63', '\x30', '\x61'};
  EXPECT_EQ(expect, first);
  EXPECT_EQ(in, bf.Decrypt(out));
}

TEST(Blowfish, EncryptPadsOneToEightBytes) {
  CBlowfish bf = Keyed("session-key12345");
  std::mt19937 rng(7);
  for (size_t n = 0; n <= 40; ++n) {
    std::vector<char> in(n);
    for (auto& c : in) c = static_cast<char>(rng());
    const std::vector<char> enc = bf.Encrypt(in);
    ASSERT_EQ(n + 8 - n % 8, enc.size()) << n;
    EXPECT_EQ(in, bf.Decrypt(enc)) << n;
  }
  // 8 bytes gain a whole block of eight 0x08; 0 bytes become that block alone.
  const std::vector<char> eight(8, 'a');
  const std::vector<char> enc = bf.Encrypt(eight);
  std::vector<char> tail = bf.Decrypt(std::vector<char>(enc.begin() + 8, enc.end()));
  EXPECT_TRUE(tail.empty());  // 08 x 8 stripped whole
  EXPECT_EQ(std::vector<char>(enc.begin() + 8, enc.end()), bf.Encrypt({}));
}

TEST(Blowfish, DecryptStripsOnlyConsistentPadding) {
  CBlowfish bf = Keyed("k");
  auto decrypt_of = [&](std::vector<char> plain) { return bf.Decrypt(RawEncrypt(bf, plain)); };

  const std::vector<char> last0 = {1, 2, 3, 4, 5, 6, 7, 0};
  EXPECT_EQ(last0, decrypt_of(last0));
  const std::vector<char> last9 = {9, 9, 9, 9, 9, 9, 9, 9};
  EXPECT_EQ(last9, decrypt_of(last9));
  const std::vector<char> negative = {1, 2, 3, 4, 5, 6, 7, '\xFF'};
  EXPECT_EQ(negative, decrypt_of(negative));
  const std::vector<char> differ = {1, 2, 3, 4, 5, 6, 3, 2};  // last two differ
  EXPECT_EQ(differ, decrypt_of(differ));
  const std::vector<char> good = {'a', 'b', 'c', 'd', 'e', 3, 3, 3};
  EXPECT_EQ(std::vector<char>({'a', 'b', 'c', 'd', 'e'}), decrypt_of(good));
  // Padding may span blocks: 8 in the second block only, 1 at the end.
  const std::vector<char> one = {1, 1, 1, 1, 1, 1, 1, 1};
  EXPECT_EQ(std::vector<char>(7, 1), decrypt_of(one));
}

TEST(Blowfish, DecryptKeepsTrailingPartialBlock) {
  CBlowfish bf = Keyed("k");
  const std::vector<char> head = {'h', 'e', 'a', 'd', 'b', 'l', 'o', 'k'};
  std::vector<char> in = RawEncrypt(bf, head);
  for (char c : {'t', 'a', 'i', 'l'}) in.push_back(c);
  std::vector<char> expect = head;
  for (char c : {'t', 'a', 'i', 'l'}) expect.push_back(c);
  EXPECT_EQ(expect, bf.Decrypt(in));

  // No whole block at all: nothing deciphered; the padding rule still looks
  // at the bytes as given but never strips more than there is.
  EXPECT_TRUE(bf.Decrypt({}).empty());
  EXPECT_TRUE(bf.Decrypt({3, 3, 3}).empty());
  EXPECT_EQ(std::vector<char>({3, 3}), bf.Decrypt({3, 3}));
}

TEST(Blowfish, NullOrEmptyKeyIsDefined) {
  CBlowfish a, b;
  a.SetKey(nullptr, 5);
  b.SetKey("x", 0);
  const std::vector<char> data = {1, 2, 3};
  EXPECT_EQ(a.Encrypt(data), b.Encrypt(data));
  EXPECT_EQ(data, a.Decrypt(a.Encrypt(data)));
}

}  // namespace

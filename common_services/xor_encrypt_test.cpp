#include "common_services/include/zintal/xor_encrypt.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string Encode(const std::string& text) {
  char out[1100];
  const uint16_t n = CXOREncrypt::EncryptData(text.c_str(), out, sizeof out);
  EXPECT_EQ(std::strlen(out), n);
  return out;
}

std::string Decode(const std::string& hex, uint16_t* result = nullptr) {
  char out[300];
  const uint16_t n = CXOREncrypt::CrevasseData(hex.c_str(), out, sizeof out);
  if (result != nullptr) *result = n;
  return out;
}

TEST(XOREncrypt, ThreeCharactersMakeOneGroup) {
  std::srand(7);
  char out[21];
  EXPECT_EQ(CXOREncrypt::EncryptData("abc", out, 20), 21);  // one short
  EXPECT_STREQ(out, "");
  ASSERT_EQ(CXOREncrypt::EncryptData("abc", out, 21), 20);
  const std::string hex = out;
  ASSERT_EQ(hex.size(), 20u);
  EXPECT_EQ(hex.substr(0, 2), "03");
  EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos);

  uint16_t n = 0;
  EXPECT_EQ(Decode(hex, &n), "abc");
  EXPECT_EQ(n, 3);
  EXPECT_EQ(CXOREncrypt::CrevasseData(hex.c_str(), out, 3), 3);  // no room for the NUL
  EXPECT_STREQ(out, "");

  // Nothing at all is written into an output of size 0.
  char guard = '#';
  EXPECT_EQ(CXOREncrypt::EncryptData("abc", &guard, 0), 21);
  EXPECT_EQ(CXOREncrypt::CrevasseData(hex.c_str(), &guard, 0), 3);
  EXPECT_EQ(guard, '#');
  EXPECT_EQ(CXOREncrypt::EncryptData("", out, 1), 0);
  EXPECT_STREQ(out, "");
}

// Texts written by hand from the format's rules, as another module writes
// them: per position the pair (key byte, text byte XOR key byte); the first
// key byte is the length, the five key bytes repeat in every group, pads
// fill the last group and are never read.
TEST(XOREncrypt, HandWrittenTextsDecode) {
  // "Hi!", key 03 10 20 30 40: 'H' 48^03 = 4b, 'i' 69^10 = 79, '!' 21^20 = 01.
  EXPECT_EQ(Decode("034b"
                   "1079"
                   "2001"
                   "30ff"
                   "4000"),
            "Hi!");
  // "abcdef" over two groups, key 06 fe 00 7f 01 (fe: the highest key byte).
  // a 61^06 = 67, b 62^fe = 9c, c 63^00 = 63, d 64^7f = 1b, e 65^01 = 64,
  // then the key again: f 66^06 = 60, and four pads.
  uint16_t n = 0;
  EXPECT_EQ(Decode("0667"
                   "fe9c"
                   "0063"
                   "7f1b"
                   "0164"
                   "0660"
                   "fe00"
                   "00ff"
                   "7f7f"
                   "01aa",
                   &n),
            "abcdef");
  EXPECT_EQ(n, 6);
}

// The encoder's draws in the order the format gives: key[1] to key[4] as
// rand() % 255, then one fresh rand() % 255 for each pad, XORed with its key
// byte. The expected text is built here from those rules, draw by draw.
TEST(XOREncrypt, EncodingFollowsTheFormatDrawByDraw) {
  for (const std::string text : {"Hi!", "abcdefg"}) {
    SCOPED_TRACE(text);
    const unsigned length = static_cast<unsigned>(text.size());
    const unsigned n = (length + 4) / 5 * 5;
    std::srand(1234);
    unsigned key[5] = {length};
    for (int i = 1; i < 5; ++i) key[i] = static_cast<unsigned>(std::rand() % 255);
    std::string want;
    for (unsigned j = 0; j < n; ++j) {
      const unsigned k = key[j % 5];
      const unsigned c = j < length ? static_cast<unsigned char>(text[j]) ^ k
                                    : k ^ static_cast<unsigned>(std::rand() % 255);
      char pair[5];
      std::snprintf(pair, sizeof pair, "%02x%02x", k, c);
      want += pair;
    }
    std::srand(1234);
    EXPECT_EQ(Encode(text), want);
  }
}

TEST(XOREncrypt, EveryLengthRoundTripsAndTwoEncodingsDiffer) {
  std::srand(11);
  for (int length = 1; length < 256; ++length) {
    std::string text(length, ' ');
    for (auto& c : text) c = static_cast<char>(1 + std::rand() % 255);
    const std::string a = Encode(text);
    const std::string b = Encode(text);
    ASSERT_EQ(a.size(), static_cast<size_t>((length + 4) / 5 * 20));
    ASSERT_NE(a, b) << length;
    ASSERT_EQ(Decode(a), text);
    ASSERT_EQ(Decode(b), text);
  }
  // 300 characters: the length byte holds 44, so only those are encoded.
  std::string long_text(300, 'q');
  for (size_t i = 0; i < long_text.size(); ++i) long_text[i] = static_cast<char>('a' + i % 26);
  const std::string hex = Encode(long_text);
  EXPECT_EQ(hex.substr(0, 2), "2c");
  EXPECT_EQ(hex.size(), 9u * 20u);
  EXPECT_EQ(Decode(hex), long_text.substr(0, 44));
}

TEST(XOREncrypt, TextsThatDoNotFitTheFormatDecodeToNothing) {
  std::srand(3);
  const std::string good = Encode("hello world");  // L = 11: 60 characters
  uint16_t n = 99;
  EXPECT_EQ(Decode(good.substr(0, 19), &n), "");
  EXPECT_EQ(n, 0);
  EXPECT_EQ(Decode(good.substr(0, 40), &n), "");  // length byte asks for 60
  EXPECT_EQ(n, 0);
  EXPECT_EQ(Decode("ff" + good.substr(2), &n), "");  // 255 asks for 1020
  EXPECT_EQ(n, 0);
  std::string bad_digit = good;
  bad_digit[4 * 10 + 3] = 'g';  // inside the last pair that is read
  EXPECT_EQ(Decode(bad_digit, &n), "");
  EXPECT_EQ(n, 0);
  std::string bad_pad = good;
  bad_pad[4 * 11 + 2] = 'z';  // a padding pair is never read
  EXPECT_EQ(Decode(bad_pad), "hello world");
  // Longer than 16 bits can count: not read to the end, refused.
  std::string huge(70000, '0');
  huge.replace(0, 2, "03");
  EXPECT_EQ(Decode(huge, &n), "");
  EXPECT_EQ(n, 0);
  EXPECT_EQ(CXOREncrypt::CrevasseData(nullptr, nullptr, 0), 0);
}

}  // namespace

#include "netcore/net/packet_codec.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// A frame built by hand: L and H as given, marks "ch", kind 12, subid 3.
Bytes Frame(uint32_t L, uint16_t H, size_t total) {
  Bytes f(total, 0xEE);
  const unsigned char head[12] = {static_cast<unsigned char>(L >> 24),
                                  static_cast<unsigned char>(L >> 16),
                                  static_cast<unsigned char>(L >> 8),
                                  static_cast<unsigned char>(L),
                                  static_cast<unsigned char>(H >> 8),
                                  static_cast<unsigned char>(H),
                                  0x63,
                                  0x68,
                                  0,
                                  12,
                                  0,
                                  3};
  for (size_t i = 0; i < 12 && i < total; ++i) f[i] = head[i];
  return f;
}

bool Decode(const Bytes& f, bs::CMDNetwork_DataMessage* cmd) {
  return DecodePacket(f.empty() ? nullptr : f.data(), static_cast<int>(f.size()), cmd);
}

void ExpectUntouched(const bs::CMDNetwork_DataMessage& cmd) {
  EXPECT_EQ(0, cmd.header.kind);
  EXPECT_EQ(0, cmd.header.subid);
  EXPECT_EQ(0x63, cmd.header.mark0);
  EXPECT_TRUE(cmd.header.extension.empty());
  EXPECT_TRUE(cmd.body.empty());
}

TEST(EncodePacket, PlainFrameLayout) {
  bs::CMDNetwork_DataMessage cmd;
  cmd.header.kind = 0x010C;
  cmd.header.subid = 0x0203;
  cmd.body = "0123456789";
  std::string out = "old content";
  ASSERT_EQ(22, EncodePacket(&out, cmd));
  const Bytes expect = {0,    0,   0,   18,  0,   6,   0x63, 0x68, 0x01, 0x0C, 0x02,
                        0x03, '0', '1', '2', '3', '4', '5',  '6',  '7',  '8',  '9'};
  EXPECT_EQ(expect, ToBytes(out));
}

TEST(EncodePacket, ExtensionUpTo254CarriedLongerDropped) {
  bs::CMDNetwork_DataMessage cmd;
  cmd.body = "b";
  std::string out;

  cmd.header.extension.assign(254, 'x');
  ASSERT_EQ(12 + 254 + 1, EncodePacket(&out, cmd));
  EXPECT_EQ(260, (static_cast<unsigned char>(out[4]) << 8) | static_cast<unsigned char>(out[5]));
  EXPECT_EQ(std::string(254, 'x') + "b", out.substr(12));

  for (size_t e : {255u, 300u, 70000u}) {
    cmd.header.extension.assign(e, 'x');
    ASSERT_EQ(13, EncodePacket(&out, cmd)) << e;
    EXPECT_EQ(6, out[5]);
    EXPECT_EQ(9, out[3]);  // L = 2 + 6 + 1
  }
}

TEST(DecodePacket, RejectsBadInputAndLeavesCommandUntouched) {
  bs::CMDNetwork_DataMessage cmd;
  const Bytes good = Frame(10, 6, 14);
  EXPECT_FALSE(DecodePacket(nullptr, 14, &cmd));
  EXPECT_FALSE(DecodePacket(good.data(), -1, &cmd));
  EXPECT_FALSE(DecodePacket(good.data(), static_cast<int>(good.size()), nullptr));

  // Shorter than the fixed 12 bytes, with L consistent (L = len - 4) and H
  // small: rejected, and nothing past len is read (exact-size buffers).
  for (size_t len = 0; len < 12; ++len) {
    Bytes f = Frame(len >= 4 ? static_cast<uint32_t>(len - 4) : 0, 0, len);
    f.shrink_to_fit();
    EXPECT_FALSE(Decode(f, &cmd)) << len;
  }
  // L + 4 computed without 32-bit wrap: L = 2^32 - 4 .. 2^32 - 1 would give 0 .. 3.
  for (uint32_t low = 0; low < 4; ++low) {
    Bytes f = Frame(0xFFFFFFFCu + low, 6, 16);
    EXPECT_FALSE(DecodePacket(f.data(), static_cast<int>(low), &cmd));
    EXPECT_FALSE(Decode(f, &cmd));
  }
  // len not L + 4.
  EXPECT_FALSE(Decode(Frame(10, 6, 13), &cmd));
  EXPECT_FALSE(Decode(Frame(10, 6, 15), &cmd));
  // H + 2 > L.
  EXPECT_FALSE(Decode(Frame(10, 9, 14), &cmd));
  EXPECT_FALSE(Decode(Frame(10, 0xFFFF, 14), &cmd));
  ExpectUntouched(cmd);

  // Boundaries that pass: H + 2 == L (empty body), the 12 fixed bytes alone;
  // marks of any value are stored, not checked.
  Bytes fixed = Frame(8, 6, 12);
  fixed[6] = 0x00;
  fixed[7] = 0xFF;
  EXPECT_TRUE(Decode(fixed, &cmd));
  EXPECT_TRUE(cmd.body.empty());
  EXPECT_EQ(12, cmd.header.kind);
  EXPECT_EQ(0x00, cmd.header.mark0);
  EXPECT_EQ(0xFF, cmd.header.mark1);
}

TEST(DecodePacket, HeaderLengthsWithoutExtension) {
  // H = 6: no extension; a preset one stays as it was.
  {
    Bytes f = Frame(2 + 6 + 3, 6, 15);
    f[12] = 'a', f[13] = 'b', f[14] = 'c';
    bs::CMDNetwork_DataMessage cmd;
    cmd.header.extension = "keep";
    ASSERT_TRUE(Decode(f, &cmd));
    EXPECT_EQ("keep", cmd.header.extension);
    EXPECT_EQ("abc", cmd.body);
  }
  // H = 260: 254 bytes of extension.
  {
    Bytes f = Frame(2 + 260 + 1, 260, 4 + 2 + 260 + 1);
    for (size_t i = 12; i < 266; ++i) f[i] = 'x';
    f[266] = 'B';
    bs::CMDNetwork_DataMessage cmd;
    ASSERT_TRUE(Decode(f, &cmd));
    EXPECT_EQ(std::string(254, 'x'), cmd.header.extension);
    EXPECT_EQ("B", cmd.body);
  }
  // H = 261: the 255 bytes after offset 12 are skipped, body at 267.
  {
    Bytes f = Frame(2 + 261 + 2, 261, 4 + 2 + 261 + 2);
    f[267] = 'O', f[268] = 'K';
    bs::CMDNetwork_DataMessage cmd;
    ASSERT_TRUE(Decode(f, &cmd));
    EXPECT_TRUE(cmd.header.extension.empty());
    EXPECT_EQ("OK", cmd.body);
  }
  // H below 6: the body starts at 6 + H, inside the fixed fields; still
  // within the frame.
  {
    Bytes f = Frame(2 + 0 + 6, 0, 12);
    bs::CMDNetwork_DataMessage cmd;
    ASSERT_TRUE(Decode(f, &cmd));
    EXPECT_EQ(std::string("\x63\x68\x00\x0c\x00\x03", 6), cmd.body);
  }
}

// Any well-formed frame with 6 <= H <= 260 decodes and re-encodes to itself;
// random frames of random length never make the decoder read out of bounds.
TEST(DecodePacket, RandomFrames) {
  std::mt19937 rng(12345);
  for (int i = 0; i < 2000; ++i) {
    const size_t ext = rng() % 255;
    const size_t body = rng() % 300;
    Bytes f(12 + ext + body);
    for (auto& b : f) b = static_cast<unsigned char>(rng());
    const uint32_t L = static_cast<uint32_t>(f.size() - 4);
    const uint16_t H = static_cast<uint16_t>(6 + ext);
    f[0] = L >> 24, f[1] = L >> 16, f[2] = L >> 8, f[3] = L;
    f[4] = H >> 8, f[5] = H;
    bs::CMDNetwork_DataMessage cmd;
    ASSERT_TRUE(Decode(f, &cmd));
    std::string again;
    EncodePacket(&again, cmd);
    ASSERT_EQ(f, ToBytes(again));
  }
  for (int i = 0; i < 5000; ++i) {
    Bytes f(rng() % 40);
    for (auto& b : f) b = static_cast<unsigned char>(rng() % 4 == 0 ? rng() : 0);
    if (f.size() >= 4 && rng() % 2) {
      const uint32_t L = static_cast<uint32_t>(f.size() - 4);
      f[0] = L >> 24, f[1] = L >> 16, f[2] = L >> 8, f[3] = L;
    }
    f.shrink_to_fit();
    bs::CMDNetwork_DataMessage cmd;
    Decode(f, &cmd);
  }
}

}  // namespace

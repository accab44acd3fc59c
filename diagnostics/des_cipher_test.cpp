#include "diagnostics/des_cipher.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "diagnostics/hex_codec.h"
#include "diagnostics/report_codec.h"

namespace {

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> out(hex.size() / 2);
  EXPECT_EQ(diag::HexDecode(hex.size(), hex.data(), out.data()), 0);
  return out;
}

// Published single-block answers: the worked example, FIPS 81's and
// SP 800-17's variable-plaintext and variable-key tables, NBS's S-box test.
TEST(DesCipher, KnownAnswers) {
  const struct {
    const char *key, *plain, *cipher;
  } cases[] = {
      {"133457799BBCDFF1", "0123456789ABCDEF", "85E813540F0AB405"},
      {"0123456789ABCDEF", "4E6F772069732074", "3FA40E8A984D4815"},
      {"0101010101010101", "8000000000000000", "95F8A5E5DD31D900"},
      {"0101010101010101", "0000000000000001", "166B40B44ABA4BD6"},
      {"8001010101010101", "0000000000000000", "95A8D72813DAA94D"},
      {"0101010101010101", "0000000000000000", "8CA64DE9C1B123A7"},
      {"7CA110454A1A6E57", "01A1D6D039776742", "690F5B0D9A26939B"},
      {"0E329232EA6D0D73", "8787878787878787", "0000000000000000"},
  };
  for (const auto& c : cases) {
    CDesCipher des;
    des.SetKey(FromHex(c.key).data());
    ASSERT_TRUE(des.Encipher(FromHex(c.plain).data(), 8));
    EXPECT_EQ(diag::HexEncode(des.enciphered(), 8), c.cipher) << c.key << " " << c.plain;
    ASSERT_TRUE(des.Decipher(FromHex(c.cipher).data(), 8));
    EXPECT_EQ(diag::HexEncode(des.deciphered(), 8), c.plain);
    EXPECT_EQ(des.deciphered()[8], 0);
  }
}

// Short texts are zero-padded to one block; longer ones to the next multiple
// of 8, and the body never carries the extra all-zero block of an exact
// multiple. 16 bytes give 32 digits, 17 give 48, all uppercase.
TEST(DesCipher, ReportBodyPaddingAndHexLength) {
  EXPECT_EQ(diag::EncodeReportBody("{\"a\":1}\n"), "3F43A8C85FA373FD");  // Cryptodome's answer
  EXPECT_EQ(diag::EncodeReportBody(std::string(16, 'x')).size(), 32u);
  EXPECT_EQ(diag::EncodeReportBody(std::string(17, 'x')).size(), 48u);
  EXPECT_EQ(diag::EncodeReportBody("abc").size(), 16u);
  std::string body = diag::EncodeReportBody(std::string(40, 'q'));
  EXPECT_EQ(body.find_first_not_of("0123456789ABCDEF"), std::string::npos);

  // Deciphering the body gives the text back, zero-padded.
  std::string text = "{\"Ver\":\"1.0\",\"UserID\":7}\n";  // 25 bytes
  std::vector<uint8_t> bytes = FromHex(diag::EncodeReportBody(text));
  ASSERT_EQ(bytes.size(), 32u);
  CDesCipher des;
  des.SetKey(reinterpret_cast<const uint8_t*>(diag::kReportKey));
  ASSERT_TRUE(des.Decipher(bytes.data(), bytes.size()));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(des.deciphered())), text);
  EXPECT_EQ(std::memcmp(des.deciphered() + 25, "\0\0\0\0\0\0\0", 7), 0);
}

// The buffers hold 8192 bytes with the NUL: what does not fit is refused, not
// written past them; a report text over 4096 bytes gives no body.
TEST(DesCipher, RefusesWhatDoesNotFitTheBuffers) {
  CDesCipher des;
  des.SetKey(reinterpret_cast<const uint8_t*>("q4tmuvzo"));
  std::vector<uint8_t> big(CDesCipher::kBufferSize + 64, 0x5A);
  EXPECT_TRUE(des.Decipher(big.data(), CDesCipher::MaxDecipherInput()));
  EXPECT_EQ(des.deciphered()[CDesCipher::MaxDecipherInput()], 0);
  EXPECT_FALSE(des.Decipher(big.data(), CDesCipher::MaxDecipherInput() + 1));
  EXPECT_EQ(des.deciphered()[0], 0);
  EXPECT_TRUE(des.Encipher(big.data(), CDesCipher::MaxEncipherInput()));
  EXPECT_FALSE(des.Encipher(big.data(), CDesCipher::kBufferSize));
  EXPECT_EQ(diag::EncodeReportBody(std::string(diag::kMaxReportText, 'r')).size(),
            diag::kMaxReportText * 2);
  EXPECT_EQ(diag::EncodeReportBody(std::string(diag::kMaxReportText + 1, 'r')), "");
}

// A final partial block is deciphered from its own bytes only.
TEST(DesCipher, PartialFinalBlockKeepsItsLength) {
  CDesCipher des;
  des.SetKey(reinterpret_cast<const uint8_t*>("q4tmuvzo"));
  uint8_t data[11] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
  ASSERT_TRUE(des.Decipher(data, sizeof data));
  EXPECT_EQ(des.deciphered()[11], 0);
  CDesCipher again;
  again.SetKey(reinterpret_cast<const uint8_t*>("q4tmuvzo"));
  uint8_t padded[8] = {9, 10, 11, 0, 0, 0, 0, 0};
  ASSERT_TRUE(again.Decipher(padded, 8));
  EXPECT_EQ(std::memcmp(des.deciphered() + 8, again.deciphered(), 3), 0);
}

TEST(HexCodec, DecodeCasesAndErrors) {
  uint8_t out[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(diag::HexDecode(4, "aBcD", out), 0);
  EXPECT_EQ(out[0], 0xAB);
  EXPECT_EQ(out[1], 0xCD);
  out[0] = out[1] = 0xEE;
  EXPECT_EQ(diag::HexDecode(3, "abc", out), 1);  // odd: nothing decoded
  EXPECT_EQ(out[0], 0xEE);
  EXPECT_EQ(diag::HexDecode(4, "zz01", out), 1);  // invalid digits count as 0
  EXPECT_EQ(out[0], 0x00);
  EXPECT_EQ(out[1], 0x01);
  const uint8_t bytes[] = {0x00, 0x9F, 0xFA};
  EXPECT_EQ(diag::HexEncode(bytes, 3), "009FFA");
}

}  // namespace

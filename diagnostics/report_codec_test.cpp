#include "diagnostics/report_codec.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "diagnostics/echo_request.h"
#include "diagnostics/md5_checksum.h"
#include "diagnostics/ping_tally.h"
#include "diagnostics/round_pause.h"

namespace {

// Signatures computed with Python's hashlib: type, timespan and the signing
// key with no separators, lowercase hex; the query puts them in its order.
TEST(ReportCodec, SignatureAndQuery) {
  EXPECT_EQ(diag::SignReport(1, 1700000000), "158c8a9736431104bae1bb5def4e522a");
  EXPECT_EQ(diag::SignReport(0, 1700000000), "7c0763e51e2fd121f4bf1ff2371ecebd");
  EXPECT_EQ(std::string(diag::kSigningKey).size(), 31u);
  EXPECT_EQ(diag::BuildSubmitUrl("http://h:1/Verify/UserBasicsInfo.aspx", 1, 1700000000, "ab"),
            "http://h:1/Verify/UserBasicsInfo.aspx?type=1&timespan=1700000000&sign=ab");
  CMD5Checksum md5;
  EXPECT_EQ(md5.GetMD5("abc", 3), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(md5.GetMD5("", 0), "d41d8cd98f00b204e9800998ecf8427e");  // the object is reusable
}

TEST(ReportCodec, PauseBetweenRounds) {
  EXPECT_EQ(diag::PauseMs(30, 0, 12345), 30u * 60000u);
  EXPECT_EQ(diag::PauseMs(0, 0, 999), 0u);
  EXPECT_EQ(diag::PauseMs(30, 5, 299), 30u * 60000u + 299000u);
  EXPECT_EQ(diag::PauseMs(30, 5, 300), 30u * 60000u);
  EXPECT_EQ(diag::PauseMs(1, 5, 32767), 60000u + (32767u % 300u) * 1000u);
}

// Any 32-bit value the configuration gives: random periods whose span wraps
// to 0 in 32 bits (2^30, -2^30, INT_MIN) or is negative, and periods past
// what a timer takes, give a defined wait, never a division by zero; no
// value gives a pause shorter than the formula's 32-bit reading, so a
// negative period or random period is a long wait, never rounds back to back.
TEST(ReportCodec, PauseFromExtremeConfigurations) {
  const int32_t kMin = INT32_MIN, kMax = INT32_MAX;
  EXPECT_EQ(diag::PauseMs(1, 1073741824, 32767), 60000u + 32767u * 1000u);
  EXPECT_EQ(diag::PauseMs(1, -1073741824, 32767), 60000u + 32767u * 1000u);
  EXPECT_EQ(diag::PauseMs(1, kMin, 32767), 60000u + 32767u * 1000u);
  EXPECT_EQ(diag::PauseMs(1, -5, 299), 60000u + 299000u);
  EXPECT_EQ(diag::PauseMs(0, kMax, 32767), 32767u * 1000u);
  EXPECT_EQ(diag::PauseMs(71582, 1, 47), 71582u * 60000u + 47000u);  // just below 2^32 ms
  EXPECT_EQ(diag::PauseMs(71583, 0, 0), diag::kMaxPauseMs);
  EXPECT_EQ(diag::PauseMs(kMax, kMax, 32767), diag::kMaxPauseMs);
  // A negative total as unsigned 32-bit: -1 minute is 2^32 - 60000 ms.
  EXPECT_EQ(diag::PauseMs(-1, 0, 0), 4294907296u);
  EXPECT_EQ(diag::PauseMs(-1, 0, 12345), 4294907296u);
  EXPECT_EQ(diag::PauseMs(-30, 5, 7), uint32_t(-30 * 60000 + 7000));
  EXPECT_EQ(diag::PauseMs(-1, 5, 299), 299000u - 60000u);     // the sum is not negative
  EXPECT_EQ(diag::PauseMs(-71583, 0, 0), diag::kMaxPauseMs);  // below -2^32 ms
  EXPECT_EQ(diag::PauseMs(kMin, kMax, 32767), diag::kMaxPauseMs);
  for (int32_t period : {-1, -2, -7, -30, -1000}) {
    for (int32_t rand_period : {0, 5, -5, kMin}) {
      EXPECT_GE(diag::PauseMs(period, rand_period, 0), 3600000u) << period << " " << rand_period;
    }
  }
}

TEST(EchoRequest, LayoutAndChecksum) {
  uint8_t req[diag::kEchoRequestSize];
  diag::BuildEchoRequest(0x1234, 1, 0xA1B2C3D4, req);
  EXPECT_EQ(req[0], 8);
  EXPECT_EQ(req[1], 0);
  EXPECT_EQ(req[4], 0x34);
  EXPECT_EQ(req[5], 0x12);
  EXPECT_EQ(req[6], 1);
  EXPECT_EQ(req[7], 0);
  EXPECT_EQ(req[8], 0xD4);
  EXPECT_EQ(req[11], 0xA1);
  EXPECT_EQ(req[12], 'A');
  EXPECT_EQ(req[43], '`');
  // A packet with a right checksum sums to all ones: its checksum is 0.
  EXPECT_EQ(diag::InternetChecksum(req, sizeof req), 0);
  diag::BuildEchoRequest(0x1234, 2, 0xA1B2C3D4, req);
  EXPECT_EQ(diag::InternetChecksum(req, sizeof req), 0);
  EXPECT_EQ(diag::InternetChecksum(reinterpret_cast<const uint8_t*>("\x00\x01\xf2"), 3),
            uint16_t(~(0x0001 + 0xf200)));
}

}  // namespace

namespace {

TEST(PingTally, LossAndTimes) {
  diag::PingTally all_lost;
  for (int i = 0; i < 4; ++i) all_lost.Lost();
  PingStats s = all_lost.Finish(4);
  EXPECT_EQ(s.loss_ratio, 1.0f);
  EXPECT_EQ(s.average, -1);
  EXPECT_EQ(s.minimum, -1);
  EXPECT_EQ(s.maximum, 0);

  diag::PingTally one_lost;
  one_lost.Lost();
  for (uint32_t ms : {5u, 1u, 9u}) one_lost.Answered(ms);
  for (int i = 0; i < 96; ++i) one_lost.Answered(5);
  s = one_lost.Finish(100);
  EXPECT_EQ(s.loss_ratio, 0.01f);
  EXPECT_EQ(s.average, (5 + 1 + 9 + 96 * 5) / 99);
  EXPECT_EQ(s.minimum, 1);
  EXPECT_EQ(s.maximum, 9);

  PingStats none = diag::PingTally().Finish(0);
  EXPECT_EQ(none.loss_ratio, 0.0f);
  EXPECT_EQ(none.average, 0);
}

}  // namespace

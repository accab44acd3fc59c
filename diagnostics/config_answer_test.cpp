#include "diagnostics/config_answer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "diagnostics/des_cipher.h"
#include "diagnostics/hex_codec.h"
#include "diagnostics/report_codec.h"
#include "diagnostics/service_host.h"

namespace {

// What the web service sends: the JSON text zero-padded, DES-ECB under the
// configuration key, uppercase hex.
std::string Answer(const std::string& json) {
  std::string padded = json;
  padded.resize((json.size() + 7) / 8 * 8, '\0');
  CDesCipher des;
  des.SetKey(reinterpret_cast<const uint8_t*>(diag::kConfigKey));
  std::string hex;
  for (size_t i = 0; i < padded.size(); i += 8) {  // block by block: any length
    EXPECT_TRUE(des.Encipher(reinterpret_cast<const uint8_t*>(padded.data() + i), 8));
    hex += diag::HexEncode(des.enciphered(), 8);
  }
  return hex;
}

struct Parsed {
  bool ok;
  SamplerConfig config;
  std::string trace;
};

Parsed Parse(const std::string& answer) {
  Parsed p;
  p.ok = diag::ParseConfigAnswer(answer, diag::DefaultConfig(), &p.config, &p.trace);
  return p;
}

TEST(ConfigAnswer, NoKeyGivesEveryDefault) {
  Parsed p = Parse(Answer("{}"));
  ASSERT_TRUE(p.ok) << p.trace;
  SamplerConfig d = diag::DefaultConfig();
  EXPECT_EQ(p.config.period, 30);
  EXPECT_EQ(p.config.period_rand, 5);
  EXPECT_EQ(p.config.ping_packets, 100);
  EXPECT_EQ(p.config.ping_interval, 1000);
  EXPECT_EQ(p.config.ping_timeout, 2000);
  EXPECT_TRUE(p.config.dns_targets.empty());
  EXPECT_TRUE(p.config.ping_targets.empty());
  EXPECT_EQ(p.config.ip_api_pattern, diag::kDefaultIpPattern);
  EXPECT_EQ(p.config.ip_api_url, d.ip_api_url);
  EXPECT_EQ(p.config.submit_url, diag::ServiceHost() + "/Verify/UserBasicsInfo.aspx");
}

TEST(ConfigAnswer, KeysTargetsAndLowercaseHex) {
  std::string json =
      "{\"Ver\":\"2.0\",\"Period\":0,\"PeriodRand\":0,\"IPAPI-URL\":\"http://x/ip\","
      "\"DNSTarget\":[\"a.example\",7,null,\"b.example\"],"
      "\"Ping-Target\":[{\"Name\":\"gw\",\"Host\":\"\"},{\"Name\":\"lo\",\"Host\":\"10.0.0.9\"},"
      "3,{\"Name\":\"lo\",\"Host\":\"127.0.0.1\"},{\"Host\":\"h\"}],"
      "\"Ping-Packets\":3,\"Ping-Interval\":null,\"Ping-Timeout\":250,\"SubmitURL\":null}";
  std::string upper = Answer(json);
  std::string lower = upper;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return char(std::tolower(c)); });
  for (const std::string& answer : {upper, lower}) {
    Parsed p = Parse(answer);
    ASSERT_TRUE(p.ok) << p.trace;
    EXPECT_EQ(p.config.version, "2.0");
    EXPECT_EQ(p.config.period, 0);
    EXPECT_EQ(p.config.period_rand, 0);
    EXPECT_EQ(p.config.ip_api_url, "http://x/ip");
    EXPECT_EQ(p.config.dns_targets, (std::vector<std::string>{"a.example", "b.example"}));
    ASSERT_EQ(p.config.ping_targets.size(), 1u);
    EXPECT_EQ(p.config.ping_targets["lo"], "127.0.0.1");
    EXPECT_EQ(p.config.ping_packets, 3);
    EXPECT_EQ(p.config.ping_interval, 0);  // a present null reads as 0
    EXPECT_EQ(p.config.ping_timeout, 250);
    EXPECT_EQ(p.config.submit_url, "");  // ... or as an empty text
  }
}

TEST(ConfigAnswer, FailuresAndTheirTraces) {
  Parsed empty = Parse("");
  EXPECT_FALSE(empty.ok);
  EXPECT_EQ(empty.trace, "");

  Parsed wrong_kind = Parse(Answer("{\"Period\":\"30\"}"));
  EXPECT_FALSE(wrong_kind.ok);
  EXPECT_EQ(wrong_kind.trace, "Value is not convertible to Int.");

  Parsed garbled = Parse(Answer("{\"Period\":"));
  EXPECT_FALSE(garbled.ok);
  EXPECT_NE(garbled.trace.find("Line 1"), std::string::npos) << garbled.trace;

  EXPECT_FALSE(Parse(Answer("[1,2]")).ok);      // a root that is no object
  EXPECT_FALSE(Parse("0123456789ABCDEF0").ok);  // odd count: zero bytes, not JSON
  EXPECT_FALSE(Parse("not hex at all!!").ok);
  // Nesting past the depth limit inside an object root (an array root is
  // refused for its kind alone, whatever the limit).
  Parsed deep =
      Parse(Answer("{\"DNSTarget\":" + std::string(500, '[') + std::string(500, ']') + "}"));
  EXPECT_FALSE(deep.ok);
  EXPECT_NE(deep.trace, "");
  EXPECT_TRUE(
      Parse(Answer("{\"DNSTarget\":" + std::string(20, '[') + std::string(20, ']') + "}")).ok);
  EXPECT_TRUE(Parse(Answer("null")).ok);  // every key absent
}

// A configuration of many targets: up to 8191 deciphered bytes it is read
// whole; beyond, it is refused with a trace, never written past the buffer.
TEST(ConfigAnswer, ManyTargetsUpToTheBufferAndBeyond) {
  auto config_with = [](int targets) {
    std::string json = "{\"DNSTarget\":[";
    for (int i = 0; i < targets; ++i) {
      json += (i ? ",\"" : "\"") + std::string("host") + std::to_string(100000 + i) + ".example\"";
    }
    return json + "]}";
  };
  std::string fits = config_with(8191 / 22 - 1);
  ASSERT_LE(fits.size(), 8191u);
  Parsed p = Parse(Answer(fits));
  ASSERT_TRUE(p.ok) << p.trace;
  EXPECT_EQ(p.config.dns_targets.size(), size_t(8191 / 22 - 1));

  std::string too_long = config_with(400);
  ASSERT_GT(too_long.size(), 8191u);
  Parsed q = Parse(Answer(too_long));
  EXPECT_FALSE(q.ok);
  EXPECT_NE(q.trace.find("too long"), std::string::npos);
}

}  // namespace

// The report cycle over a recording fake of its outside world
// (fake_sampler_env_test_util.h): report types and order, the public-IP
// retry, the pause, configuration failures, the over-long report, Stop at
// each wait and while a probe stalls, and the trace of a failed round. Runs
// in every tree; velmo_e2e.py runs the same cycle through VelmoPlatform.dll
// under Wine.
#include "diagnostics/report_cycle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include "diagnostics/des_cipher.h"
#include "diagnostics/fake_sampler_env_test_util.h"
#include "diagnostics/hex_codec.h"
#include "diagnostics/report_codec.h"
#include "diagnostics/round_pause.h"
#include "diagnostics/service_host.h"

namespace {

using diag_test::FakeSamplerEnv;
using diag_test::Request;
using diag_test::SamplerRecord;
using Clock = std::chrono::steady_clock;

// A report body back to its JSON text.
std::string Decipher(const std::string& hex) {
  std::vector<uint8_t> bytes(hex.size() / 2);
  diag::HexDecode(hex.size(), hex.data(), bytes.data());
  CDesCipher des;
  des.SetKey(reinterpret_cast<const uint8_t*>(diag::kReportKey));
  des.Decipher(bytes.data(), bytes.size());
  return reinterpret_cast<const char*>(des.deciphered());
}

// The default pattern's page, in GBK.
const char kPage[] =
    "<td align=\"center\">\xC4\xFA\xB5\xC4IP\xB5\xD8\xD6\xB7\xCA\xC7\xA3\xBA"
    "[ 203.0.113.7 ] \xC0\xB4\xD7\xD4\xA3\xBA\xB5\xE7\xD0\xC5<br/><br/></td>";

const char kConfig[] =
    "{\"Period\":30,\"PeriodRand\":5,\"DNSTarget\":[\"a.example\"],"
    "\"Ping-Target\":[{\"Name\":\"lo\",\"Host\":\"127.0.0.1\"}]}";

// Runs the cycle on a thread of its own, as the worker does.
struct CycleThread {
  explicit CycleThread(FakeSamplerEnv* env)
      : result(std::async(std::launch::async, [env] { return RunSampler(env, 10001); })) {}
  // The exit code, or -99 when the cycle did not end within `ms`.
  int Join(int ms = 10000) {
    if (result.wait_for(std::chrono::milliseconds(ms)) != std::future_status::ready) return -99;
    return result.get();
  }
  std::future<int> result;
};

TEST(ReportCycle, FullReportThenPeriodicWithPauses) {
  FakeSamplerEnv env;
  env.config_answer = diag_test::ConfigAnswer(kConfig);
  env.ip_page = kPage;
  env.stop_after_reports = 2;
  EXPECT_EQ(RunSampler(&env, 10001), 0);

  auto record = env.record();
  const std::vector<Request>& req = record->requests;
  ASSERT_EQ(req.size(), 5u);
  EXPECT_EQ(req[0].url, diag::ConfigUrl(1234));
  EXPECT_EQ(req[0].type, 1);
  EXPECT_EQ(req[1].url, diag::DefaultConfig().ip_api_url);  // the IP found at the first try
  EXPECT_EQ(req[3].type, 1);
  for (int type : {0, 1}) {
    const Request& post = req[2 + 2 * type];
    EXPECT_EQ(post.type, 2);
    EXPECT_EQ(post.url, diag::BuildSubmitUrl(diag::DefaultConfig().submit_url, type, 1700000000,
                                             diag::SignReport(type, 1700000000)));
    std::string text = Decipher(post.body);
    EXPECT_EQ(text.find("\"OS\":\"Test OS\"") != std::string::npos, type == 0) << text;
    EXPECT_NE(text.find("\"IP\":\"203.0.113.7\""), std::string::npos) << text;
    EXPECT_NE(text.find("\"NameResolution\":[\"a.example,a.example,127.0.0.1\"]"),
              std::string::npos);
    EXPECT_NE(text.find("\"Target\":\"lo\""), std::string::npos);
    EXPECT_NE(text.find("\"UserID\":10001,"), std::string::npos);
  }
  uint32_t pause = diag::PauseMs(30, 5, 1234);
  EXPECT_EQ(record->waits, (std::vector<uint32_t>{1000, pause, 1000, pause}));
  EXPECT_TRUE(record->traces.empty());
}

// A page without a match: two tries a round with a 1000 ms wait after each,
// and the report goes out with an empty IP.
TEST(ReportCycle, PublicIpTriedTwice) {
  FakeSamplerEnv env;
  env.config_answer = diag_test::ConfigAnswer("{\"Period\":0,\"PeriodRand\":0}");
  env.ip_page = "<html>nothing</html>";
  env.stop_after_reports = 1;
  EXPECT_EQ(RunSampler(&env, 1), 0);
  auto record = env.record();
  ASSERT_EQ(record->requests.size(), 4u);
  EXPECT_EQ(record->Count(1), 3u);
  EXPECT_NE(Decipher(record->requests[3].body).find("\"IP\":\"\""), std::string::npos);
  EXPECT_EQ(record->waits, (std::vector<uint32_t>{1000, 1000, 0}));
}

// The worker ends with -1: no machine probes, an empty answer (nothing
// traced), an answer over the cipher's buffer or one that is not JSON (one
// trace line each). No report is sent.
TEST(ReportCycle, ConfigurationFailuresEndTheWorker) {
  struct Case {
    std::string answer;
    bool open_fails;
    const char* trace;  // a part of the one trace line, or null for none
  };
  const Case cases[] = {
      {diag_test::ConfigAnswer("{}"), true, nullptr},
      {"", false, nullptr},
      {std::string(8 * 1024 * 1024, 'A'), false, "too long"},
      {std::string(diag::kMaxConfigAnswerHex + 1, '0'), false, "too long"},
      {diag_test::ConfigAnswer("{\"Period\":\"30\"}"), false, "Value is not convertible to Int."},
  };
  for (const Case& c : cases) {
    FakeSamplerEnv env;
    env.config_answer = c.answer;
    env.open_fails = c.open_fails;
    EXPECT_EQ(RunSampler(&env, 1), -1);
    auto record = env.record();
    EXPECT_EQ(record->requests.size(), c.open_fails ? 0u : 1u);
    if (c.trace) {
      ASSERT_EQ(record->traces.size(), 1u);
      EXPECT_NE(record->traces[0].find(c.trace), std::string::npos) << record->traces[0];
    } else {
      EXPECT_TRUE(record->traces.empty());
    }
  }
}

// A report text over 4096 bytes is traced and not posted; the rounds go on.
TEST(ReportCycle, OverLongReportIsSkipped) {
  std::string json = "{\"Period\":0,\"PeriodRand\":0,\"DNSTarget\":[";
  for (int i = 0; i < 150; ++i) json += (i ? ",\"" : "\"") + std::string("localhost\"");
  FakeSamplerEnv env;
  env.config_answer = diag_test::ConfigAnswer(json + "]}");
  env.ip_page = kPage;
  env.stop_after_waits = 4;  // two rounds: the IP wait and the pause each
  EXPECT_EQ(RunSampler(&env, 1), 0);
  auto record = env.record();
  EXPECT_EQ(record->Count(2), 0u);
  EXPECT_EQ(record->Count(1), 3u);
  ASSERT_EQ(record->traces.size(), 2u);
  EXPECT_EQ(record->traces[0].rfind("report too long: ", 0), 0u) << record->traces[0];
}

// Stop during the configuration request is a stop, not a configuration
// failure: exit code 0 and nothing traced.
TEST(ReportCycle, StopDuringConfigurationRequestEndsWithZero) {
  FakeSamplerEnv env;
  env.stall_config = true;
  auto record = env.record();
  CycleThread cycle(&env);
  ASSERT_TRUE(record->WaitFor([&] { return !record->requests.empty(); }));
  record->RequestStop();
  EXPECT_EQ(cycle.Join(), 0);
  EXPECT_TRUE(record->traces.empty());
}

// Stop while a probe stalls or the pause runs ends the cycle well within
// Stop's 3000 ms, with exit code 0 and no report of the cut round: a
// resolver that takes 400 ms a name over 20 names (8 s in all), a WMI query
// that hangs until Stop, the pause of 30 minutes.
TEST(ReportCycle, StopIsBoundedWhileProbesStall) {
  std::string names = "{\"Period\":30,\"PeriodRand\":0,\"DNSTarget\":[";
  for (int i = 0; i < 20; ++i) names += (i ? ",\"n" : "\"n") + std::to_string(i) + "\"";
  names += "]}";
  for (int stall = 0; stall < 3; ++stall) {
    SCOPED_TRACE(stall);
    FakeSamplerEnv env;
    env.config_answer =
        diag_test::ConfigAnswer(stall == 0 ? names : "{\"Period\":30,\"PeriodRand\":0}");
    env.ip_page = kPage;
    env.resolve_ms = stall == 0 ? 400 : 0;
    env.stall_load = stall == 1;
    env.real_wait_cap_ms = 60000;
    auto record = env.record();
    CycleThread cycle(&env);
    ASSERT_TRUE(record->WaitFor([&] {
      switch (stall) {
        case 0:
          return record->resolves >= 1;
        case 1:
          return record->loads >= 1;
        default:
          return record->waits.size() >= 2;  // in the pause
      }
    }));
    Clock::time_point asked = Clock::now();
    record->RequestStop();
    int code = cycle.Join();
    EXPECT_LT(Clock::now() - asked, std::chrono::milliseconds(1500));
    EXPECT_EQ(code, 0);
    EXPECT_EQ(record->Count(2), stall == 2 ? 1u : 0u);
    EXPECT_LT(record->resolves, 20);
  }
}

// An exception inside a round (here a public-IP pattern that does not
// compile) ends the worker with -1 and one trace in the ANSI code page:
// "工作线程执行异常" in GBK.
TEST(ReportCycle, FailedRoundTracedInTheAnsiCodePage) {
  FakeSamplerEnv env;
  env.config_answer = diag_test::ConfigAnswer("{\"IPAPI-Pattern\":\"([\"}");
  env.ip_page = kPage;
  EXPECT_EQ(RunSampler(&env, 1), -1);
  auto record = env.record();
  ASSERT_EQ(record->traces.size(), 1u);
  EXPECT_EQ(record->traces[0], "\xB9\xA4\xD7\xF7\xCF\xDF\xB3\xCC\xD6\xB4\xD0\xD0\xD2\xEC\xB3\xA3");
}

}  // namespace

#include "diagnostics/report_json.h"

#include <gtest/gtest.h>

namespace {

// "旗舰版" and "电信" in the GBK code page, as WMI and the page give them
// under code page 936.
const char kGbkEdition[] = "\xC6\xEC\xBD\xA2\xB0\xE6";
const char kGbkIsp[] = "\xB5\xE7\xD0\xC5";

SamplerReport FullReport() {
  SamplerReport r;
  r.version = "1.0";
  r.user_id = 10001;
  r.os = std::string("Microsoft Windows 7 ") + kGbkEdition + " 32-bit (6.1.7601)";
  r.cpu_percent = 12;
  r.mem_total = 2048;
  r.mem_use = 1024;
  r.video_adapters = {{"Wine Adapter", "1.0"}, {"Second \"GPU\"", "a\\b"}};
  r.dx_major = 9;
  r.dx_version = "4.09.00.0904";
  r.ip = "1.2.3.4";
  r.isp = kGbkIsp;
  r.dns = {"8.8.8.8", "10.0.0.1"};
  r.name_resolution = {{"localhost", "localhost", "127.0.0.1"}, {"nohost", "", "0.0.0.0"}};
  r.ping["b-lost"] = {1.0f, -1, -1, 0};
  r.ping["a-lossy"] = {1.0f / 100, 3, 1, 5};
  r.ping["c-clean"] = {0.0f, 2, 1, 4};
  return r;
}

TEST(ReportJson, FullReportByteForByte) {
  std::string text = diag::WriteCompactJson(diag::BuildReportJson(FullReport(), 0));
  EXPECT_EQ(
      text,
      std::string("{\"CPUPercent\":12,\"DNS\":[\"8.8.8.8\",\"10.0.0.1\"],"
                  "\"DXVer\":\"4.09.00.0904\",\"DXVerMajor\":9,\"IP\":\"1.2.3.4\",\"ISP\":\"") +
          kGbkIsp +
          "\",\"Mem-Total\":2048,\"Mem-Use\":1024,"
          "\"NameResolution\":[\"localhost,localhost,127.0.0.1\",\"nohost,,0.0.0.0\"],"
          "\"OS\":\"Microsoft Windows 7 " +
          kGbkEdition +
          " 32-bit (6.1.7601)\",\"Ping\":["
          "{\"ElapseAvg\":3,\"ElapseMax\":5,\"ElapseMin\":1,\"LossRate\":0.009999999776482582,"
          "\"Target\":\"a-lossy\"},"
          "{\"ElapseAvg\":-1,\"ElapseMax\":0,\"ElapseMin\":-1,\"LossRate\":1,\"Target\":\"b-lost\"}"
          ","
          "{\"ElapseAvg\":2,\"ElapseMax\":4,\"ElapseMin\":1,\"LossRate\":0,\"Target\":\"c-clean\"}]"
          ","
          "\"UserID\":10001,\"Ver\":\"1.0\",\"VideoAdapter\":["
          "{\"DriverVer\":\"1.0\",\"Name\":\"Wine Adapter\"},"
          "{\"DriverVer\":\"a\\\\b\",\"Name\":\"Second \\\"GPU\\\"\"}]}\n");
}

// A periodic report leaves out the once-sampled keys; empty lists are null;
// a 64-bit id keeps all its digits; control bytes are escaped.
TEST(ReportJson, PeriodicReportWithEmptyLists) {
  SamplerReport r;
  r.version = "1.0";
  r.user_id = -9000000000123LL;
  r.os = "never written";
  r.video_adapters = {{"x", "y"}};
  r.ip = "a\tb\x01";
  EXPECT_EQ(diag::WriteCompactJson(diag::BuildReportJson(r, 1)),
            "{\"CPUPercent\":0,\"DNS\":null,\"IP\":\"a\\tb\\u0001\",\"ISP\":\"\",\"Mem-Total\":0,"
            "\"Mem-Use\":0,\"NameResolution\":null,\"Ping\":null,\"UserID\":-9000000000123,"
            "\"Ver\":\"1.0\"}\n");
  std::string empty_full = diag::WriteCompactJson(diag::BuildReportJson(SamplerReport(), 0));
  EXPECT_NE(empty_full.find(",\"OS\":\"\",\"Ping\":null,"), std::string::npos);
  EXPECT_EQ(empty_full.substr(empty_full.size() - 21), "\"VideoAdapter\":null}\n");
}

}  // namespace

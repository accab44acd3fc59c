#include "diagnostics/public_ip_page.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "diagnostics/service_host.h"

namespace {

// The page of the default pattern, in GBK: "您的IP地址是：[ 1.2.3.4 ] 来自：电信<br/><br/></td>".
const std::string kPage =
    "<html><table><tr><td align=\"center\">\xC4\xFA\xB5\xC4IP\xB5\xD8\xD6\xB7\xCA\xC7\xA3\xBA"
    "[ 203.0.113.7 ] \xC0\xB4\xD7\xD4\xA3\xBA\xB5\xE7\xD0\xC5<br/><br/></td></tr></table></html>";

TEST(PublicIpPage, DefaultPatternGroupsAndMisses) {
  std::string isp = "stale";
  EXPECT_EQ(diag::MatchPublicIp(kPage, diag::kDefaultIpPattern, &isp), "203.0.113.7");
  EXPECT_EQ(isp, "\xB5\xE7\xD0\xC5");

  EXPECT_EQ(diag::MatchPublicIp("ip=10.1.2.3;", "ip=([0-9.]+);", &isp), "10.1.2.3");
  EXPECT_EQ(isp, "");  // one group: no provider
  EXPECT_EQ(diag::MatchPublicIp("ip=10.1.2.3;", "ip=[0-9.]+;", &isp), "");  // no group
  EXPECT_EQ(diag::MatchPublicIp("<html>nothing here</html>", diag::kDefaultIpPattern, &isp), "");
  EXPECT_THROW(diag::MatchPublicIp(kPage, "([", &isp), std::regex_error);
  EXPECT_THROW(diag::MatchPublicIp(kPage, "(a)\\1", &isp), std::regex_error);
}

// Outside input: only the first kMaxPublicIpPage bytes of a longer page are
// searched, and a hostile page is searched without deep recursion or runaway
// backtracking.
TEST(PublicIpPage, LongAndHostilePages) {
  std::string isp;
  std::string long_page = std::string(diag::kMaxPublicIpPage, ' ') + kPage;
  EXPECT_EQ(diag::MatchPublicIp(long_page, diag::kDefaultIpPattern, &isp), "");
  std::string top_page = kPage + std::string(4 * diag::kMaxPublicIpPage, ' ');
  EXPECT_EQ(diag::MatchPublicIp(top_page, diag::kDefaultIpPattern, &isp), "203.0.113.7");
  EXPECT_EQ(isp, "\xB5\xE7\xD0\xC5");

  std::string hostile;
  while (hostile.size() + 8 < diag::kMaxPublicIpPage) hostile += "<td a>\xC4\xFA";
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(diag::MatchPublicIp(hostile, diag::kDefaultIpPattern, &isp), "");
  EXPECT_EQ(diag::MatchPublicIp(std::string(diag::kMaxPublicIpPage, 'a'), "(a*)*b", &isp), "");
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(60));

  std::string padded = std::string(diag::kMaxPublicIpPage - kPage.size(), 'x') + kPage;
  EXPECT_EQ(diag::MatchPublicIp(padded, diag::kDefaultIpPattern, &isp), "203.0.113.7");
}

}  // namespace

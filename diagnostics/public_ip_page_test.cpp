#include "diagnostics/public_ip_page.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

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
  EXPECT_THROW(diag::MatchPublicIp(kPage, "([", &isp), diag::PatternError);
  // The lead-in's parenthesis does not make an unbalanced pattern compile.
  EXPECT_THROW(diag::MatchPublicIp(kPage, "a)(b", &isp), diag::PatternError);
  // Back-references are ECMAScript; one to a group not yet set matches empty.
  EXPECT_EQ(diag::MatchPublicIp("x abab y", "(ab)\\1", &isp), "ab");
  EXPECT_EQ(diag::MatchPublicIp("x=q", "(?:(z)|x)\\1=(q)", &isp), "");
  EXPECT_EQ(isp, "q");
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

// ECMAScript's reading: the first match is at the leftmost start, and there
// the first alternative that matches, not the longest or a later one.
TEST(PublicIpPage, FirstMatchAsEcmaScript) {
  std::string isp = "stale";
  EXPECT_EQ(diag::MatchPublicIp("1.2.3.4.5", "(\\d+\\.\\d+\\.\\d+\\.\\d+)", &isp), "1.2.3.4");
  EXPECT_EQ(diag::MatchPublicIp("x1234", "x(\\d)|(\\d\\d\\d)", &isp), "1");
  EXPECT_EQ(isp, "");  // group 2 took no part
  EXPECT_EQ(diag::MatchPublicIp("ab", "(a|ab)(b?)", &isp), "a");
  EXPECT_EQ(isp, "b");
  // ECMAScript's forms: \x and \u escapes, [] and [^], "." short of CR/LF, "$" at the end only.
  EXPECT_EQ(diag::MatchPublicIp("k=AB", "k=(\\x41\\u0042)", &isp), "AB");
  EXPECT_EQ(diag::MatchPublicIp("ab", "(a[]|a[^])", &isp), "ab");
  EXPECT_EQ(diag::MatchPublicIp("a\rb", "(a.b)", &isp), "");
  EXPECT_EQ(diag::MatchPublicIp("ab\n", "(b)$", &isp), "");
  // Single-byte characters: ranges above 0x7F, as GBK's lead and trail bytes ("电信").
  EXPECT_EQ(
      diag::MatchPublicIp("isp:\xB5\xE7\xD0\xC5;", "isp:((?:[\\x81-\\xfe][\\x40-\\xfe])+);", &isp),
      "\xB5\xE7\xD0\xC5");
}

// Hostile patterns: nesting that recursed in the compiler, repeats that
// recursed in the matcher or ran for seconds, a blow-up that PCRE2 would
// pay once per start position, and a lookahead whose every step is a pass
// over the page. Each ends quickly as an error or as no match (limited).
TEST(PublicIpPage, HostilePatternsAreBounded) {
  std::string isp;
  const std::string page = std::string(diag::kMaxPublicIpPage - 1, 'a') + "Q";
  EXPECT_THROW(diag::MatchPublicIp(page, std::string(3300, '(') + std::string(3300, ')'), &isp),
               diag::PatternError);
  EXPECT_THROW(diag::MatchPublicIp(page, "(a?){7000}(Q)", &isp), diag::PatternError);
  // Too large with a callout before each item, too.
  EXPECT_THROW(diag::MatchPublicIp(page, "(a?){3000}(Q)", &isp), diag::PatternError);
  // None can match; each reaches a limit.
  const std::string patterns[] = {"(a?){1000}(Q)", "((?:a|aa){1,12}[XY])", "(a*)*[bc]",
                                  "((a*)\\2\\2\\2[bc])", "((?:(?!a*[bc]).)*[bc])"};
  for (const std::string& pattern : patterns) {
    auto start = std::chrono::steady_clock::now();
    bool limited = false;
    EXPECT_EQ(diag::MatchPublicIp(page, pattern, &isp, &limited), "") << pattern;
    EXPECT_TRUE(limited) << pattern;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
  }
  bool limited = true;
  diag::MatchPublicIp(page, "(b)", &isp, &limited);
  EXPECT_FALSE(limited);
  // Nesting up to the limit compiles.
  const int deep = int(diag::kPatternNestLimit) - 1;
  EXPECT_EQ(
      diag::MatchPublicIp("za", "z" + std::string(deep, '(') + "a" + std::string(deep, ')'), &isp),
      "a");
}

}  // namespace

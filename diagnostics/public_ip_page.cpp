#include "diagnostics/public_ip_page.h"

#include <algorithm>
#include <regex>

namespace diag {

std::string MatchPublicIp(const std::string& page, const std::string& pattern,
                          std::string* provider) {
  provider->clear();
  std::regex check(pattern, std::regex::ECMAScript | std::regex_constants::__polynomial);
  // libstdc++ searches by trying every start position in turn, each a pass
  // over the rest of the page; a lazy lead-in anchored at the start makes it
  // one pass. The lead-in adds no group, so the numbering stays the pattern's.
  std::regex re("[\\s\\S]*?(?:" + pattern + ")",
                std::regex::ECMAScript | std::regex_constants::__polynomial);
  std::cmatch m;
  const char* end = page.data() + std::min(page.size(), kMaxPublicIpPage);
  if (check.mark_count() < 1 ||
      !std::regex_search(page.data(), end, m, re, std::regex_constants::match_continuous)) {
    return std::string();
  }
  if (check.mark_count() >= 2) *provider = m[2].str();
  return m[1].str();
}

}  // namespace diag

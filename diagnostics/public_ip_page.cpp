#include "diagnostics/public_ip_page.h"

#include <pcre2.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <new>

namespace diag {

namespace {

struct CodeFree {
  void operator()(pcre2_code* p) const { pcre2_code_free(p); }
};
struct CompileContextFree {
  void operator()(pcre2_compile_context* p) const { pcre2_compile_context_free(p); }
};
struct MatchContextFree {
  void operator()(pcre2_match_context* p) const { pcre2_match_context_free(p); }
};
struct MatchDataFree {
  void operator()(pcre2_match_data* p) const { pcre2_match_data_free(p); }
};
using Code = std::unique_ptr<pcre2_code, CodeFree>;

// The ECMAScript reading of the pattern (see the header).
constexpr uint32_t kCompileOptions = PCRE2_ALT_BSUX | PCRE2_ALLOW_EMPTY_CLASS |
                                     PCRE2_MATCH_UNSET_BACKREF | PCRE2_DOLLAR_ENDONLY |
                                     PCRE2_NEVER_UTF | PCRE2_NEVER_UCP;

// The search's clock, looked at from a callout before every pattern item
// (PCRE2_AUTO_CALLOUT): one item's own work (a possessive run, a
// back-reference compare) is at most a pass over the page, but the match
// limit counts such an item once.
struct SearchClock {
  std::chrono::steady_clock::time_point deadline;
  uint32_t items = 0;
};

int LookAtClock(pcre2_callout_block*, void* data) {
  auto* clock = static_cast<SearchClock*>(data);
  if ((++clock->items & 63) != 0) return 0;
  if (std::chrono::steady_clock::now() < clock->deadline) return 0;
  return PCRE2_ERROR_CALLOUT;  // negative: the search is abandoned
}

Code Compile(const std::string& pattern, uint32_t extra_options = 0) {
  std::unique_ptr<pcre2_compile_context, CompileContextFree> context(
      pcre2_compile_context_create(nullptr));
  if (!context) throw std::bad_alloc();
  pcre2_set_parens_nest_limit(context.get(), kPatternNestLimit);
  pcre2_set_newline(context.get(), PCRE2_NEWLINE_ANYCRLF);
  int error = 0;
  PCRE2_SIZE offset = 0;
  Code code(pcre2_compile(reinterpret_cast<PCRE2_SPTR>(pattern.data()), pattern.size(),
                          kCompileOptions | extra_options, &error, &offset, context.get()));
  if (!code) {
    PCRE2_UCHAR message[256];
    if (pcre2_get_error_message(error, message, sizeof message) < 0) message[0] = 0;
    throw PatternError(std::string(reinterpret_cast<const char*>(message)) + " at offset " +
                       std::to_string(offset));
  }
  return code;
}

uint32_t CaptureCount(const pcre2_code* code) {
  uint32_t count = 0;
  pcre2_pattern_info(code, PCRE2_INFO_CAPTURECOUNT, &count);
  return count;
}

}  // namespace

std::string MatchPublicIp(const std::string& page, const std::string& pattern,
                          std::string* provider, bool* limited) {
  provider->clear();
  if (limited) *limited = false;
  // The pattern alone first: it must compile as it stands (the lead-in's
  // parenthesis must not close one of the pattern's), and it gives the
  // group count.
  const uint32_t groups = CaptureCount(Compile(pattern).get());
  Code search = Compile("[\\s\\S]*?(?:" + pattern + ")", PCRE2_AUTO_CALLOUT);
  if (groups < 1) return std::string();

  std::unique_ptr<pcre2_match_context, MatchContextFree> context(
      pcre2_match_context_create(nullptr));
  std::unique_ptr<pcre2_match_data, MatchDataFree> data(
      pcre2_match_data_create_from_pattern(search.get(), nullptr));
  if (!context || !data) throw std::bad_alloc();
  pcre2_set_match_limit(context.get(), kPatternMatchLimit);
  pcre2_set_depth_limit(context.get(), kPatternDepthLimit);
  pcre2_set_heap_limit(context.get(), kPatternHeapLimitKiB);
  SearchClock clock;
  clock.deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kPatternTimeLimitMs);
  pcre2_set_callout(context.get(), &LookAtClock, &clock);
  const size_t length = std::min(page.size(), kMaxPublicIpPage);
  const int rc = pcre2_match(search.get(), reinterpret_cast<PCRE2_SPTR>(page.data()), length, 0,
                             PCRE2_ANCHORED, data.get(), context.get());
  if (rc < 0) {
    // Every other outcome (a limit, no memory for the backtracking frames)
    // ends the search as no match.
    if (rc != PCRE2_ERROR_NOMATCH && limited) *limited = true;
    return std::string();
  }
  const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer(data.get());
  auto group = [&](int n) {
    // An unset group reads as empty, as an unmatched std::sub_match does.
    if (n >= rc || ovector[2 * n] == PCRE2_UNSET) return std::string();
    return page.substr(ovector[2 * n], ovector[2 * n + 1] - ovector[2 * n]);
  };
  if (groups >= 2) *provider = group(2);
  return group(1);
}

}  // namespace diag

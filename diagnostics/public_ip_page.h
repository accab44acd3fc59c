// Reads the public IP address and the provider from the public-IP page with
// the configured pattern (ECMAScript grammar, single-byte characters, first
// match; group 1 the address, group 2 the provider). Portable.
//
// The page is outside input. libstdc++'s default matcher recurses once per
// character and backtracks without bound, which a long or hostile page turns
// into a stack overflow (fatal to the host process) or a hang; so the pattern
// runs on the polynomial (Thompson) matcher, whose recursion depth follows
// the pattern, not the page, and only the first kMaxPublicIpPage bytes of a
// longer page are searched (the address is near the top of such pages). A pattern with a
// back-reference does not compile on that matcher and counts as a bad pattern. Thread safety:
// reentrant.
#pragma once

#include <cstddef>
#include <string>

namespace diag {

constexpr size_t kMaxPublicIpPage = 16 * 1024;

// IP text (empty without a match in the searched part or without a group); *provider is group 2
// when the expression has two or more groups, else empty. Throws std::regex_error when the pattern
// does not compile.
std::string MatchPublicIp(const std::string& page, const std::string& pattern,
                          std::string* provider);

}  // namespace diag

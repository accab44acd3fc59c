// Reads the public IP address and the provider from the public-IP page with
// the configured pattern (ECMAScript grammar, single-byte characters, first
// match; group 1 the address, group 2 the provider). Portable.
//
// Pattern and page both come over plain HTTP, so both are hostile. The
// pattern runs on PCRE2 (8-bit code units, no UTF, no JIT), which keeps its
// backtracking on the heap, not the stack, and is bounded by construction:
// - compiling: parentheses nest at most kPatternNestLimit deep, the
//   lead-in's group below included (the compiler's recursion stays well
//   under a KiB a level), and the compiled form, a callout before each item
//   included, is at most 64 Ki code units; a pattern over either does not
//   compile;
// - searching: only the first kMaxPublicIpPage bytes are searched (the
//   address is near the top of such pages), and the whole search, every
//   start position together, takes at most kPatternMatchLimit backtracking
//   steps, kPatternDepthLimit nested ones, kPatternHeapLimitKiB of heap and
//   kPatternTimeLimitMs (a step can cost a pass over the page: a callout
//   before every pattern item looks at the clock). A search that reaches a
//   limit ends as no match (`*limited` set, for the caller's one trace
//   line), well within Stop's bound.
// PCRE2 restarts its step count at each start position, which would let a
// pattern spend the limit once per byte of the page; so the pattern is
// searched as one anchored match behind a lazy lead-in, "[\s\S]*?(?:...)",
// which tries the start positions in order inside one count and still gives
// the leftmost match, and at it the first by the pattern's priorities.
//
// What the patterns here rely on is ECMAScript's: leftmost-first
// alternation, greedy and lazy quantifiers, groups numbered by their opening
// parenthesis, (?: (?= (?!, \d \w \s \b, classes with byte ranges up to
// \xff, \xHH and \uHHHH (PCRE2_ALT_BSUX), [] matching nothing and [^] any
// byte (PCRE2_ALLOW_EMPTY_CLASS), a back-reference to an unset group
// matching empty (PCRE2_MATCH_UNSET_BACKREF), "." matching any byte but CR
// and LF (newline ANYCRLF), "$" only at the end (PCRE2_DOLLAR_ENDONLY).
// Differences that remain:
// - PCRE2 accepts syntax that ECMAScript refuses and gives it PCRE's meaning:
//   possessive quantifiers, atomic groups, inline options (?i), \Q..\E,
//   \A \z \Z \G \K \h \R \N, (?C) callouts (which reach only the search's
//   clock), backtracking verbs such as (*COMMIT) (which act on the whole
//   search, the lead-in included),
//   conditionals, recursion, (?| and named groups in PCRE's forms;
//   \v is vertical space (LF, VT, FF, CR, 0x85), not VT alone. A pattern that
//   begins with a (*...) setting does not compile (ECMAScript refuses it
//   too).
// - PCRE2 refuses what ECMAScript's Annex B reads as a literal: a
//   back-reference to a group that does not exist (\8 with one group), a
//   quantifier count over 65535, a \u above \u00ff, a lookbehind of
//   variable length.
// - Captures inside a repeated group keep their last value across
//   iterations ((?:(a)|b)+ on "ab" gives group 1 "a"; ECMAScript resets it).
// - \s is the six ASCII spaces (TAB, LF, VT, FF, CR, space); 0xA0 is no
//   space, as it is no character of its own in the page's code page.
// Thread safety: reentrant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

namespace diag {

constexpr size_t kMaxPublicIpPage = 16 * 1024;
constexpr uint32_t kPatternNestLimit = 250;
constexpr uint32_t kPatternMatchLimit = 1000000;
constexpr uint32_t kPatternDepthLimit = 100000;
constexpr uint32_t kPatternHeapLimitKiB = 8 * 1024;
constexpr uint32_t kPatternTimeLimitMs = 500;

// A pattern that does not compile; what() is PCRE2's message and the offset.
class PatternError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// IP text (empty without a match in the searched part or without a group); *provider is group 2
// when the expression has two or more groups, else empty. *limited (when given) tells that the
// search reached a limit, which counts as no match. Throws PatternError when the pattern does not
// compile.
std::string MatchPublicIp(const std::string& page, const std::string& pattern,
                          std::string* provider, bool* limited = nullptr);

}  // namespace diag

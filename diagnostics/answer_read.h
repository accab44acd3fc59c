// Reading an HTTP answer line by line, as the library's exchanges do: the
// lines joined without their line feeds, up to two caps. Portable; the
// Windows exchange (probes/http_request_win32.cpp) feeds it from WinInet.
// Thread safety: reentrant.
#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <string>

#include "diagnostics/config_answer.h"
#include "diagnostics/public_ip_page.h"

namespace diag {

// The most text that is kept of any answer: the largest that one of its
// readers looks at (the configuration answer's hex, the public-IP page) plus
// one byte, so that an answer over it is still seen as over-long.
constexpr size_t kMaxAnswerBytes =
    (kMaxConfigAnswerHex > kMaxPublicIpPage ? kMaxConfigAnswerHex : kMaxPublicIpPage) + 1;
// The most that is received, line feeds included: the longest kept text on
// lines of any length down to one byte (text and line feed alike), with
// room to spare; so every answer within the readers' limits is read whole,
// and one of bare line breaks, which keeps no text, still stops here.
constexpr size_t kMaxAnswerReceived = 3 * kMaxAnswerBytes;

// Reads one line of at most `max` bytes into *line (without its line feed,
// cleared first), as CInternetFile::ReadString does; false at the end.
using ReadLine = std::function<bool(std::string* line, size_t max)>;

// Appends the answer's lines to *response (cleared first), in pieces of at
// most 1 KiB so that `abandoned`, looked at between pieces, ends a slow
// answer soon. Stops at kMaxAnswerBytes of text or kMaxAnswerReceived bytes
// received, counting each piece's text and one line feed (a piece cut at its
// size has none, so the count errs on the high side).
void ReadAnswerLines(const ReadLine& read_line, const std::atomic<bool>* abandoned,
                     std::string* response);

}  // namespace diag

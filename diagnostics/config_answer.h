// The web service's configuration answer: hex text -> DES-ECB under the
// configuration key -> text up to its first NUL -> JSON -> SamplerConfig.
// Every byte of it is outside input; each failure has a defined outcome
// (false and, where the worker traces one, the trace line). Portable.
// Thread safety: reentrant functions.
#pragma once

#include <cstddef>
#include <string>

#include "diagnostics/sampler_report.h"

namespace diag {

// The longest answer that deciphers: its hex digits give at most 8191 bytes
// (an odd last digit is dropped). A longer one is the over-long case.
constexpr size_t kMaxConfigAnswerHex = 2 * 8191 + 1;

// The deciphered text of a hex answer, cut at its first NUL. An odd digit
// count decodes to zero bytes (the decoder's error is not looked at). False
// when the decoded bytes would not fit the cipher's buffer (8191 bytes).
bool DecipherConfigAnswer(const std::string& hex, std::string* text);

// Reads the JSON text into *config, starting from `defaults` (a key's default
// applies only when the key is absent). False on a parse error or a value of
// the wrong kind, with *trace the line to write: the reader's messages, the
// conversion error's message, or "parse json failed".
bool ParseConfigJson(const std::string& text, const SamplerConfig& defaults, SamplerConfig* config,
                     std::string* trace);

// Both steps. An empty answer gives false with an empty trace (nothing is
// traced for it); a too long one false with a trace.
bool ParseConfigAnswer(const std::string& hex, const SamplerConfig& defaults, SamplerConfig* config,
                       std::string* trace);

}  // namespace diag

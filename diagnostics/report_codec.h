// What a report becomes on the wire: the body (DES-ECB under the report key,
// uppercase hex), the signature (MD5, lowercase hex) and the submit URL with
// its query. Portable; SendReport (report_cycle.cpp) posts the result.
// Thread safety: reentrant functions.
//
// | piece     | form                                                       |
// |-----------|------------------------------------------------------------|
// | body      | hex of DES-ECB("Rk2WpdT5", text zero-padded to 8n bytes)   |
// | signature | md5("%d%I64d%s" of type, timespan, signing key), 32 digits |
// | URL       | "%s?type=%d&timespan=%I64d&sign=%s"                        |
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace diag {

extern const char kReportKey[9];    // "Rk2WpdT5"
extern const char kConfigKey[9];    // "q4tmuvzo"
extern const char kSigningKey[32];  // 31 characters

// A report text (JSON and "\n") longer than this does not fit the codec's
// buffers: it is not enciphered (EncodeReportBody gives "").
constexpr size_t kMaxReportText = 4096;

// The hex body of a report text; "" when the text is empty or too long.
std::string EncodeReportBody(const std::string& text);

std::string SignReport(int type, int64_t timespan);

std::string BuildSubmitUrl(const std::string& submit_url, int type, int64_t timespan,
                           const std::string& sign);

}  // namespace diag

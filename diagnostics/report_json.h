// The report as JSON: built in a Json::Value and written in the compact form
// the web service reads (the written form of the jsoncpp release the service
// was made against, which jsoncpp 1.9.5's own writers do not give):
//   - no white space, object members in byte-wise ascending key order;
//   - integers in decimal; a real with "%.16g" (so 0.01f widened reads
//     0.009999999776482582 and 0 reads 0), a comma turned into a point;
//   - strings with JSON escapes for '"', '\\' and bytes below 0x20; bytes
//     from 0x80 up (the ANSI code page's texts) pass through unchanged;
//   - an empty list is null; one "\n" after the closing brace.
// Portable. Thread safety: reentrant functions.
#pragma once

#include <string>

#include <json/value.h>

#include "diagnostics/sampler_report.h"

namespace diag {

// Report type 0 (full, first round: with "OS", "DXVerMajor", "DXVer",
// "VideoAdapter") or 1 (periodic).
Json::Value BuildReportJson(const SamplerReport& report, int type);

// The compact written form above, "\n" included.
std::string WriteCompactJson(const Json::Value& value);

}  // namespace diag

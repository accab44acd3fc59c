// The deployment's values: the web-service host (scheme, host and port), from
// the environment variable VELMO_SERVICE when it is set, else the build's
// default (CMake cache variable VELMO_SERVICE_DEFAULT), and what derives from
// it: the configuration URL, the default submit URL, the default public-IP
// page, plus the default pattern for that page and the configuration defaults.
// Portable. Thread safety: reentrant (reads the environment).
#pragma once

#include <string>

#include "diagnostics/sampler_report.h"

namespace diag {

// Without a trailing '/', e.g. "http://127.0.0.1:8080".
std::string ServiceHost();

// The host followed by "/Verify/UserBasicsConfig.aspx?t=<t>".
std::string ConfigUrl(int t);

// The default public-IP pattern, its texts in the GBK code page.
extern const char kDefaultIpPattern[];

// Every field at its default for an absent key.
SamplerConfig DefaultConfig();

}  // namespace diag

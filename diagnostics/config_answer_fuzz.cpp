// libFuzzer target: the web service's configuration answer (hex, DES, JSON)
// as the worker reads it. Any input must give true or false, never a crash,
// an overrun or a hang.
#include <cstddef>
#include <cstdint>
#include <string>

#include "diagnostics/config_answer.h"
#include "diagnostics/service_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const SamplerConfig defaults = diag::DefaultConfig();
  std::string answer(reinterpret_cast<const char*>(data), size);
  SamplerConfig config;
  std::string trace;
  diag::ParseConfigAnswer(answer, defaults, &config, &trace);
  // The deciphered text straight into the JSON reader too, so the fuzzer
  // need not find DES inputs to reach it.
  diag::ParseConfigJson(answer, defaults, &config, &trace);
  return 0;
}

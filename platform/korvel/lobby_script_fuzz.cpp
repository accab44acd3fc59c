// libFuzzer target: any bytes as a lobby script. The parser must end with a
// script or a "line N: ..." reason, never crash or read out of bounds, and
// every step it accepts must be within the limits the runner relies on.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/korvel/lobby_script.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  korvel::LobbyScript script;
  std::string error;
  const std::string text(reinterpret_cast<const char*>(data), size);
  if (!korvel::ParseLobbyScript(text, &script, &error)) {
    if (error.compare(0, 5, "line ") != 0 && error.compare(0, 6, "script") != 0) std::abort();
    return 0;
  }
  for (const korvel::ScriptStep& step : script.steps) {
    if (step.ms > korvel::kMaxWaitMs || step.count == 0 || step.line <= 0) std::abort();
    if (step.kind == korvel::StepKind::kSnapshot && step.file.empty()) std::abort();
  }
  return 0;
}

#include "diagnostics/round_pause.h"

namespace diag {

uint32_t PauseMs(int32_t period, int32_t period_rand, int rnd) {
  uint32_t ms = uint32_t(period) * 60000u;
  if (period_rand != 0) ms += (uint32_t(rnd) % (uint32_t(period_rand) * 60u)) * 1000u;
  return ms;
}

}  // namespace diag

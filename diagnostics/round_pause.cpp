#include "diagnostics/round_pause.h"

namespace diag {

uint32_t PauseMs(int32_t period, int32_t period_rand, int rnd) {
  int64_t ms = int64_t(period) * 60000;
  if (period_rand != 0) {
    // The random number is taken as an unsigned 32-bit value, as the C
    // library's rand gives it (0..32767); the span is below 2^32 * 60.
    const uint64_t span = uint64_t(uint32_t(period_rand)) * 60u;
    ms += int64_t(uint64_t(uint32_t(rnd)) % span) * 1000;
  }
  constexpr int64_t kWrap = int64_t(1) << 32;
  if (ms < 0) ms = ms > -kWrap ? ms + kWrap : int64_t(kMaxPauseMs);
  if (ms > int64_t(kMaxPauseMs)) return kMaxPauseMs;
  return uint32_t(ms);
}

}  // namespace diag

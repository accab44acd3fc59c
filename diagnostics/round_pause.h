// The pause between report rounds: period minutes plus, when the random
// period is above 0, (rnd mod (random period * 60)) whole seconds. Portable.
// Thread safety: reentrant.
//
// The period and the random period come from the web service's
// configuration, any 32-bit value: the sum is worked out in 64 bits, so no
// product wraps and no divisor becomes 0. A random period of 0 or less adds
// nothing; a total below 0 (a negative period) gives 0, rounds back to back
// as with a period of 0; a total beyond kMaxPauseMs (about 49.7 days) gives
// kMaxPauseMs, the longest wait a Windows timer takes that is not INFINITE.
#pragma once

#include <cstdint>

namespace diag {

constexpr uint32_t kMaxPauseMs = 0xFFFFFFFEu;

uint32_t PauseMs(int32_t period, int32_t period_rand, int rnd);

}  // namespace diag

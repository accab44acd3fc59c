// The pause between report rounds: period minutes plus, when the random
// period is not 0, (rnd mod (random period * 60)) whole seconds, the modulo
// taken as unsigned 32-bit. Portable. Thread safety: reentrant.
//
// The period and the random period come from the web service's
// configuration, any 32-bit value. The formula's own 32-bit arithmetic
// wraps, turns a negative total into a long wait and can divide by 0; the
// sum is worked out in 64 bits instead, so that no value gives a pause
// shorter than the formula's:
// - the divisor is the random period read as unsigned 32-bit, times 60, in
//   64 bits: never 0, and for a negative random period above any rnd;
// - a negative total is read as the formula reads it, unsigned 32-bit
//   (-1 minute is 4294907296 ms), and one below -2^32 ms as kMaxPauseMs;
// - a total beyond kMaxPauseMs (about 49.7 days) gives kMaxPauseMs, the
//   longest wait a Windows timer takes that is not INFINITE.
// So a negative period never runs rounds back to back.
#pragma once

#include <cstdint>

namespace diag {

constexpr uint32_t kMaxPauseMs = 0xFFFFFFFEu;

uint32_t PauseMs(int32_t period, int32_t period_rand, int rnd);

}  // namespace diag

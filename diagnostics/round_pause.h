// The pause between report rounds: period minutes plus, when the random
// period is not 0, (rnd mod (random period * 60)) whole seconds, the modulo
// taken unsigned 32-bit. Portable. Thread safety: reentrant.
#pragma once

#include <cstdint>

namespace diag {

uint32_t PauseMs(int32_t period, int32_t period_rand, int rnd);

}  // namespace diag

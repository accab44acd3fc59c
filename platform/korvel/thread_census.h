// The threads of this process, for the script mode's check that the gate
// client leaves none behind after close game: a census before the bind is
// the baseline; later censuses are compared with it.
// Thread safety: any thread.
#pragma once

#include <cstdint>
#include <set>

namespace korvel {

// Ids of the threads of the current process now.
std::set<uint32_t> ProcessThreads();

// The threads not in `baseline`, after waiting up to `timeoutMs` for them
// to end (they may still be on their way out).
std::set<uint32_t> ThreadsLeftSince(const std::set<uint32_t>& baseline, uint32_t timeoutMs);

}  // namespace korvel

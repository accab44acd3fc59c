// Hop trace for the relay benchmark: Q_HOP("name") notes the time a thread
// reaches a hop of a message's way through the client (a wake-up, a hand-on),
// so that a trace shows where a round trip spends its time. Compiled in only
// with -DQ_HOP_TRACE=1 (bench/relay_e2e.sh --trace builds such a tree); in
// every other build Q_HOP expands to nothing.
// In a trace build each process keeps the last 1 << 16 notes in memory and
// writes them at exit to "hop_trace_<pid>.txt" in its current folder, one
// line "<ticks of 100 ns> <thread id> <name>" (the performance counter, one
// clock for every process of the machine).
// Thread safety: Q_HOP from any thread, lock-free.
// Ownership: `name` must be a string literal (only its address is kept).
#pragma once

#if defined(Q_HOP_TRACE) && Q_HOP_TRACE

namespace q_platform {
void NoteHop(const char* name);
}  // namespace q_platform

#define Q_HOP(name) ::q_platform::NoteHop(name)

#else

#define Q_HOP(name) \
  do {              \
  } while (0)

#endif

#include "netcore/port/hop_trace.h"

#if defined(Q_HOP_TRACE) && Q_HOP_TRACE

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>

namespace q_platform {

namespace {

constexpr uint32_t kNotes = 1u << 16;

struct Note {
  int64_t ticks;
  uint32_t thread;
  const char* name;
};

class HopLog {
 public:
  void Add(const char* name) {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    const uint32_t i = next_.fetch_add(1, std::memory_order_relaxed);
    Note& n = notes_[i % kNotes];
    n.ticks = now.QuadPart;
    n.thread = GetCurrentThreadId();
    n.name = name;
  }
  ~HopLog() {
    char path[64];
    std::snprintf(path, sizeof(path), "hop_trace_%lu.txt", GetCurrentProcessId());
    FILE* f = std::fopen(path, "w");
    if (f == nullptr) return;
    LARGE_INTEGER freq;
    QueryPerformanceFrequency(&freq);
    std::fprintf(f, "# frequency %lld\n", static_cast<long long>(freq.QuadPart));
    const uint32_t end = next_.load();
    for (uint32_t i = end > kNotes ? end - kNotes : 0; i < end; ++i) {
      const Note& n = notes_[i % kNotes];
      if (n.name != nullptr) {
        std::fprintf(f, "%lld %lu %s\n", static_cast<long long>(n.ticks),
                     static_cast<unsigned long>(n.thread), n.name);
      }
    }
    std::fclose(f);
  }

 private:
  std::atomic<uint32_t> next_{0};
  Note notes_[kNotes] = {};
};

HopLog& Log() {
  static HopLog log;
  return log;
}

}  // namespace

void NoteHop(const char* name) { Log().Add(name); }

}  // namespace q_platform

#endif

// The name of a crash-dump file: "<prefix>%4d-%02d-%02d-%02d-%02d-%02d-%d.dmp"
// from the local date, time and milliseconds ("Quorrel_" for the gate client,
// "Halvora_" for the launcher). Formats into the caller's fixed buffer: the
// crash filter runs in a crashed process and allocates nothing.
// Thread safety: any thread.
#pragma once

#include <cstddef>

namespace crash_dump {

// The moment of a crash, as the local clock gives it.
struct CrashClock {
  int year = 0;
  int month = 0;
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int milliseconds = 0;
};

// The longest prefix kept (longer ones are cut).
constexpr size_t kMaxPrefix = 31;
// A buffer this large holds every name.
constexpr size_t kNameBufferSize = kMaxPrefix + 64;

// Writes the name into `out` (always terminated when size > 0); false when it
// did not fit (then `out` holds what fitted).
bool FormatDumpFileName(char* out, size_t size, const char* prefix, const CrashClock& t);

}  // namespace crash_dump

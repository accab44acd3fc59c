// The crash-dump filter: the process-wide unhandled-exception filter that
// writes a full-memory minidump "Pellory\crash\<prefix><date>-<ms>.dmp"
// under the current directory (only the last folder level, "crash", is
// created) and reports on standard output. The gate client installs it with
// "Quorrel_", the launcher with "Halvora_"; whichever installed last is in
// force for the process.
// Thread safety: install from one thread at start-up; the filter runs on the
// faulting thread and uses only fixed buffers (no allocation).
// Ownership: nothing to free; the prefix is copied.
#pragma once

#include "shared/crash_dump/crash_dump_name.h"

struct _EXCEPTION_POINTERS;

namespace crash_dump {

// Copies the prefix (at most kMaxPrefix bytes) and installs the filter with
// SetUnhandledExceptionFilter.
void InstallCrashDumpFilter(const char* prefix);

// The filter itself: writes the dump for `exception` (may be null: no
// exception stream) and returns 1, execute the handler (the process ends).
long __stdcall CrashDumpFilter(_EXCEPTION_POINTERS* exception);

// Test seam: the clock the filter reads (null: GetLocalTime).
void SetCrashClockForTest(void (*clock)(CrashClock*));

}  // namespace crash_dump

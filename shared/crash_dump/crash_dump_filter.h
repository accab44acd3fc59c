// The crash-dump filter: the process-wide unhandled-exception filter that
// writes a full-memory minidump "Pellory\crash\<prefix><date>-<ms>.dmp"
// under the current directory (only the last folder level, "crash", is
// created) and reports on standard output. The gate client installs it with
// "Quorrel_", the launcher with "Halvora_"; whichever installed last is in
// force for the process. Each module that links this library has its own
// copy of the filter, so a library that installs it must put back what it
// replaced before its code goes (UninstallCrashDumpFilter).
// Thread safety: install and uninstall from one thread at start-up and
// shut-down; the filter runs on the faulting thread and uses only fixed
// buffers (no allocation). One thread at a time writes a dump: a thread
// that faults while another's dump is being written waits for it (bounded)
// and writes none, and uninstall waits (bounded) for a filter still running.
// Ownership: nothing to free; the prefix is copied.
#pragma once

#include "shared/crash_dump/crash_dump_name.h"

struct _EXCEPTION_POINTERS;

namespace crash_dump {

// Copies the prefix (at most kMaxPrefix bytes) and installs the filter with
// SetUnhandledExceptionFilter. The filter it replaces is kept (a second
// install keeps the first one's) for UninstallCrashDumpFilter.
void InstallCrashDumpFilter(const char* prefix);

// Puts back the filter that the install replaced, but only while this
// module's filter is still the one in force: a filter someone installed
// later is left alone. Windows has no way to read the filter without
// setting it, so the check swaps and, when the current one is not ours,
// swaps it straight back.
void UninstallCrashDumpFilter();

// The filter itself: writes the dump for `exception` (may be null: no
// exception stream), or waits for the one another thread is writing, and
// returns 1, execute the handler (the process ends).
long __stdcall CrashDumpFilter(_EXCEPTION_POINTERS* exception);

// Test seam: the clock the filter reads (null: GetLocalTime).
void SetCrashClockForTest(void (*clock)(CrashClock*));

}  // namespace crash_dump

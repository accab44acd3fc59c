// TraceDebug: the diagnostics library's only diagnostic output, one printf-
// style text to the debugger output (no line end added).
// Thread safety: any thread.
#pragma once

void TraceDebug(const char* format, ...) __attribute__((format(printf, 1, 2)));

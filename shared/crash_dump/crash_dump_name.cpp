#include "shared/crash_dump/crash_dump_name.h"

#include <cstdio>

namespace crash_dump {

bool FormatDumpFileName(char* out, size_t size, const char* prefix, const CrashClock& t) {
  if (out == nullptr || size == 0) return false;
  if (prefix == nullptr) prefix = "";
  const int n = std::snprintf(out, size, "%.*s%4d-%02d-%02d-%02d-%02d-%02d-%d.dmp",
                              static_cast<int>(kMaxPrefix), prefix, t.year, t.month, t.day, t.hour,
                              t.minute, t.second, t.milliseconds);
  return n >= 0 && static_cast<size_t>(n) < size;
}

}  // namespace crash_dump

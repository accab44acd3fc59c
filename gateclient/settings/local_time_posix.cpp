#include "gateclient/settings/local_time.h"

#include <cstring>

bool ToLocalTime(std::time_t t, std::tm* out) {
  if (localtime_r(&t, out)) return true;
  std::memset(out, 0, sizeof *out);
  return false;
}

#include "gateclient/settings/local_time.h"

#include <cstring>

bool ToLocalTime(std::time_t t, std::tm* out) {
  if (localtime_s(out, &t) == 0) return true;
  std::memset(out, 0, sizeof *out);
  return false;
}

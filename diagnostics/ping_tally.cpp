#include "diagnostics/ping_tally.h"

namespace diag {

void PingTally::Answered(uint32_t elapsed_ms) {
  total_ += elapsed_ms;
  if (minimum_ >= elapsed_ms) minimum_ = elapsed_ms;
  if (elapsed_ms >= maximum_) maximum_ = elapsed_ms;
}

PingStats PingTally::Finish(uint32_t sent) const {
  PingStats s;
  if (sent == 0) return s;
  s.loss_ratio = float(double(lost_) / double(sent));
  s.average = lost_ == sent ? -1 : int32_t(total_ / (sent - lost_));
  s.minimum = int32_t(minimum_);
  s.maximum = int32_t(maximum_);
  return s;
}

}  // namespace diag

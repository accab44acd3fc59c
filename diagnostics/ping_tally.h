// PingTally: the running sums of one ping target's echo requests and the
// PingStats they give: loss ratio lost / sent (single precision), average,
// minimum and maximum in ms; when every request was lost the average and
// the minimum read -1 and the maximum 0. Portable.
// Thread safety: one object per ping target, on the worker thread.
#pragma once

#include <cstdint>

#include "diagnostics/sampler_report.h"

namespace diag {

class PingTally {
 public:
  void Lost() { ++lost_; }
  void Answered(uint32_t elapsed_ms);
  PingStats Finish(uint32_t sent) const;

 private:
  uint32_t lost_ = 0;
  uint32_t total_ = 0;
  uint32_t minimum_ = 0xFFFFFFFFu;
  uint32_t maximum_ = 0;
};

}  // namespace diag

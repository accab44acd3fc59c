#include "gateclient/client_frame/reconnect_pacer.h"

#include <algorithm>

namespace bsc {

ReconnectPacer::ReconnectPacer(ClockMs clock, Random random)
    : clock_(std::move(clock)), random_(std::move(random)) {}

bool ReconnectPacer::BeginTry(const std::string& address, uint32_t* muted) {
  const uint32_t now = clock_();
  *muted = 0;
  auto it = logged_.find(address);
  // The first try after a start or a login, a new address, or a minute
  // since this address was last logged: log it.
  if (failures_ == 0 || it == logged_.end() || now - it->second.at >= kLogIntervalMs) {
    if (it != logged_.end()) *muted = it->second.muted;
    Logged& entry = logged_[address];
    entry.at = now;
    entry.muted = 0;
    return true;
  }
  ++it->second.muted;
  return false;
}

uint32_t ReconnectPacer::NextDelayMs() {
  const uint32_t before = failures_;
  if (failures_ < 64) ++failures_;
  if (before == 0) return kFirstRetryMs;
  const uint32_t shift = std::min<uint32_t>(before, 20);
  const uint64_t base = std::min<uint64_t>(uint64_t(kFirstRetryMs) << shift, kMaxRetryMs);
  const uint64_t jittered = base - base / 4 + random_() % (base / 2 + 1);
  return uint32_t(std::min<uint64_t>(jittered, kMaxRetryMs));
}

void ReconnectPacer::Reset() {
  failures_ = 0;
  logged_.clear();
}

}  // namespace bsc

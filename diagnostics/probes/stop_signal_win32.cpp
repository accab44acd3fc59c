#include "diagnostics/probes/stop_signal.h"

StopSignal::StopSignal() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

StopSignal::~StopSignal() {
  if (event_) CloseHandle(event_);
}

bool StopSignal::SetRunning() {
  int32_t clear = 0;
  return running_.compare_exchange_strong(clear, 1, std::memory_order_acq_rel);
}

void StopSignal::RequestStop() {
  running_.store(0, std::memory_order_release);
  SetEvent(event_);
}

void StopSignal::Reset() {
  running_.store(0, std::memory_order_release);
  ResetEvent(event_);
}

bool StopSignal::Wait(DWORD ms) const {
  if (ms == 0) return stopping();
  DWORD r = WaitForSingleObjectEx(event_, ms, TRUE);
  return r == WAIT_OBJECT_0 || stopping();
}

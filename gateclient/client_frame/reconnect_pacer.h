// ReconnectPacer: how soon the client frame tries the gate again and which of
// its tries go to the log. After a failed try the wait starts at 50 ms (the
// first retry keeps the 50 ms the gate expects), then doubles with +-25 %
// jitter up to 30 s, so a gate that refuses or drops every connection sees
// about two tries a minute per client instead of a dozen a second; a
// successful login puts it back to 50 ms. A run of failed tries to one
// address is logged once a minute, with the number of tries left out.
// Thread safety: one thread (the client frame's job thread).
// Ownership: plain values.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>

namespace bsc {

class ReconnectPacer {
 public:
  static constexpr uint32_t kFirstRetryMs = 50;
  static constexpr uint32_t kMaxRetryMs = 30000;
  static constexpr uint32_t kLogIntervalMs = 60000;

  using ClockMs = std::function<uint32_t()>;  // a wrapping millisecond tick count
  using Random = std::function<uint32_t()>;

  ReconnectPacer(ClockMs clock, Random random);

  // A try to `address` begins. True when its lines go to the log; then
  // `*muted` is the number of tries to it left out since it was last logged.
  bool BeginTry(const std::string& address, uint32_t* muted);
  // The try failed (refused, not even started, or the link closed before a
  // login): the wait before the next one.
  uint32_t NextDelayMs();
  // Logged in: the next failure waits 50 ms again and is logged.
  void Reset();
  uint32_t Failures() const { return failures_; }

 private:
  struct Logged {
    uint32_t at = 0;
    uint32_t muted = 0;
  };
  ClockMs clock_;
  Random random_;
  uint32_t failures_ = 0;
  std::map<std::string, Logged> logged_;
};

}  // namespace bsc

// Publisher: tells subscribers (cmd_subscriber.h) about each command it is
// given, first those of the exact key kind<<16|subid, then those of (kind, 0)
// for every sub-id of the kind, then those of key 0 for every command.
// Thread safety: Process, Subscribe and Unsubscribe from any thread; one
// recursive mutex is held for a whole Process, callbacks included, so a
// subscriber may subscribe or unsubscribe from inside OnCommand. Reset takes
// no lock: only when no other thread uses the publisher.
// Ownership: subscribers are taken over on Subscribe. A subscriber listed
// under several keys is released once, when its last subscription ends and
// no notification pass still holds it; Reset and destruction release none.
#pragma once

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "netcore/command/cmd_base.h"
#include "netcore/command/cmd_subscriber.h"
#include "netcore/command/job_thread.h"
#include "shared/thread_check/thread_check.h"

namespace bsc {

class Publisher : public ICmdProcess {
 public:
  Publisher() = default;
  Publisher(const Publisher&) = delete;
  Publisher& operator=(const Publisher&) = delete;
  ~Publisher() = default;

  static uint32_t Key(uint16_t kind, uint16_t subid) {
    return static_cast<uint32_t>(kind) << 16 | subid;
  }

  bool OnStart(int, IJobProcessPool*) override { return true; }
  // Forgets every key and list without releasing any subscriber.
  void Reset() override;
  // Three passes: (kind, subid), (kind, 0), (0, 0) — also when keys coincide.
  void Process(bs::CMD_base* cmd, int) override;
  void OnTimer(uint64_t, int) override {}

  // Lists `s` under (kind, subid) once; a second call for the same key does
  // nothing.
  void Subscribe(ICmdSubscriber* s, uint16_t kind, uint16_t subid);
  // Removes `s` from (kind, subid); a subscriber not listed there is left alone.
  void Unsubscribe(ICmdSubscriber* s, uint16_t kind, uint16_t subid);

 private:
  using List = std::list<ICmdSubscriber*>;

  // One pass over one key: calls every subscriber listed when the pass began
  // that is still listed under the key when its turn comes.
  void NotifyKey(uint16_t kind, uint16_t subid, bs::CMD_base* cmd);
  bool IsListed(uint32_t key, ICmdSubscriber* s) const;
  // A hold is one listing or one running pass that will still call it; the
  // last hold to go releases the subscriber.
  void Hold(ICmdSubscriber* s);
  void Drop(ICmdSubscriber* s);

  std::recursive_mutex mutex_;
  // A key's entry stays once created, even with an empty list.
  std::unordered_map<uint32_t, std::shared_ptr<List>> table_ Q_GUARDED_BY(mutex_);
  std::unordered_map<ICmdSubscriber*, int> holds_ Q_GUARDED_BY(mutex_);
  // Bumped by Reset, so a pass that began before it leaves the holds made
  // afterwards alone.
  uint64_t generation_ Q_GUARDED_BY(mutex_) = 0;
};

}  // namespace bsc

#include "netcore/command/publisher.h"

#include <algorithm>
#include <vector>

namespace bsc {

void Publisher::Reset() {
  table_.clear();
  holds_.clear();
  ++generation_;
}

void Publisher::Process(bs::CMD_base* cmd, int) {
  if (cmd == nullptr) return;
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  const uint16_t kind = cmd->kind;
  const uint16_t subid = cmd->subid;
  NotifyKey(kind, subid, cmd);
  NotifyKey(kind, 0, cmd);
  NotifyKey(0, 0, cmd);
}

void Publisher::Subscribe(ICmdSubscriber* s, uint16_t kind, uint16_t subid) {
  if (s == nullptr) return;
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  std::shared_ptr<List>& list = table_[Key(kind, subid)];
  if (!list) list = std::make_shared<List>();
  if (std::find(list->begin(), list->end(), s) != list->end()) return;
  list->push_back(s);
  Hold(s);
}

void Publisher::Unsubscribe(ICmdSubscriber* s, uint16_t kind, uint16_t subid) {
  std::lock_guard<std::recursive_mutex> lock(mutex_);
  auto it = table_.find(Key(kind, subid));
  if (it == table_.end()) return;
  List& list = *it->second;
  auto pos = std::find(list.begin(), list.end(), s);
  if (pos == list.end()) return;
  list.erase(pos);
  Drop(s);
}

void Publisher::NotifyKey(uint16_t kind, uint16_t subid, bs::CMD_base* cmd) {
  const uint32_t key = Key(kind, subid);
  auto it = table_.find(key);
  if (it == table_.end()) return;

  // Snapshot: subscriptions made during the pass wait for a later pass. Each
  // snapshot entry holds its subscriber, so none is freed while the pass can
  // still reach it (one that unsubscribes another, or is listed under two
  // keys, would otherwise leave a dangling pointer behind).
  const std::vector<ICmdSubscriber*> snapshot(it->second->begin(), it->second->end());
  for (ICmdSubscriber* s : snapshot) Hold(s);
  const uint64_t generation = generation_;

  for (ICmdSubscriber* s : snapshot) {
    // Removed from this key earlier in the pass (by another subscriber's
    // callback, or by Reset): it has been given up and is not called again.
    if (!IsListed(key, s)) continue;
    s->OnCommand(cmd);
    if (!s->IsPersistent()) Unsubscribe(s, kind, subid);
  }

  if (generation != generation_) return;  // Reset forgot these holds
  for (ICmdSubscriber* s : snapshot) Drop(s);
}

bool Publisher::IsListed(uint32_t key, ICmdSubscriber* s) const {
  auto it = table_.find(key);
  if (it == table_.end()) return false;
  const List& list = *it->second;
  return std::find(list.begin(), list.end(), s) != list.end();
}

void Publisher::Hold(ICmdSubscriber* s) { ++holds_[s]; }

void Publisher::Drop(ICmdSubscriber* s) {
  auto it = holds_.find(s);
  if (it == holds_.end()) return;
  if (--it->second > 0) return;
  holds_.erase(it);
  s->Release();
}

}  // namespace bsc

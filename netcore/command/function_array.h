// Dispatch table for the commands of one kind: N+1 handlers indexed by
// sub-id (0..N), each a member function of the owner. A command whose sub-id
// lies outside the table or has no handler is ignored.
// Thread safety: none; filled once by the owner, then read on the job thread only.
// Ownership: holds neither the owner nor the commands it dispatches.
#pragma once

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "netcore/command/cmd_base.h"

// Handler of every command of one kind. No virtual destructor: the owner
// destroys the concrete table as a member.
class IHandler_SameKindCmd {
 public:
  virtual void Dispatch(bs::CMD_base* cmd) = 0;

 protected:
  ~IHandler_SameKindCmd() = default;
};

template <class T, int N>
class FunctionArray : public IHandler_SameKindCmd {
  static_assert(N >= 0 && N < 65536, "sub-ids are 16 bits");

 public:
  // Called with (owner, cmd); a pointer to a member `void T::f(bs::CMD_base*)`
  // converts to it directly.
  using Entry = std::function<void(T*, bs::CMD_base*)>;

  FunctionArray() : entries(static_cast<size_t>(N) + 1) {}

  // Entry `subid` receives `f` when it lies inside the table; a later
  // registration for the same sub-id replaces the earlier one.
  void Register(int subid, Entry f) {
    if (subid < 0 || subid >= count) return;
    entries[static_cast<size_t>(subid)] = std::move(f);
  }

  void Dispatch(bs::CMD_base* cmd) override {
    if (cmd == nullptr) return;
    const int index = cmd->subid;  // the kind is not looked at
    if (index >= count) return;
    // Call through a copy, so a handler may replace entries (its own
    // included) while it runs.
    Entry call = entries[static_cast<size_t>(index)];
    if (!call) return;
    call(owner, cmd);
  }

  T* owner = nullptr;
  const int count = N + 1;
  std::vector<Entry> entries;
};

// The narrow seams through which the gate session hands received commands to
// the parts that sit above it: the game registry (PlanManager) and the hall
// sink, plus the debug dialog's log pane. The client frame calls them in the
// fixed dispatch order: publisher, its own handlers, the game registry, the
// hall sink.
// Thread safety: every hook call is made on the job thread. Install hooks
// before ClientFrame::Start (they are read through atomics, so a late
// install is seen by the next command, but nothing waits for a call in
// progress when a hook is removed).
// Ownership: the client frame never owns or frees a hook; a command handed to
// a hook is valid during the call only (AddRef it to keep it).
#pragma once

#include <cstdint>
#include <string>

#include "gateclient/client_frame/transfer_info.h"
#include "netcore/command/cmd_base.h"

namespace bsc {

// The game registry's side. Commands may be null: then only the raw bytes in
// the record exist (an unknown kind, a sub-id without a class, bad bytes).
// Operations in slot order; no virtual destructor (never destroyed here).
class IGameRegistryHook {
 public:
  // Kind 14, after the match handlers.
  virtual void OnLaunchCommand(bs::CMD_base* cmd, uint64_t planId, const TransferInfo& info) = 0;
  // Kind 18, after the hall handlers.
  virtual void ForwardToPlan(bs::CMD_base* cmd, uint64_t planId, const TransferInfo& info) = 0;
  // Kind 13, after the client handling.
  virtual void ForwardToPlanOrAll(bs::CMD_base* cmd, uint64_t planId, const TransferInfo& info) = 0;
  // The kind-9 connection event when the gate link is made and when it is lost.
  virtual void Broadcast(bs::CMD_base* netEvent) = 0;

 protected:
  ~IGameRegistryHook() = default;
};

// The hall sink's side.
class IHallSinkHook {
 public:
  // Every received command with a command, last; kind-257 local notices too
  // (with session 0).
  virtual void DispatchCommand(bs::CMD_base* cmd, uint64_t session) = 0;
  // Each timer tick of the client frame (about every 120 ms); the sink itself
  // decides whether it holds a plan id and a server id to query for.
  virtual void OnFrameTimer() = 0;

 protected:
  ~IHallSinkHook() = default;
};

// The debug dialog's log pane: short progress lines, shown only while the
// dialog is enabled. Null means no pane.
using LogPaneFn = void (*)(const std::string& text);

}  // namespace bsc

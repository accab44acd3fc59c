// A subscriber of the publisher (publisher.h): told of each command under the
// key it subscribed to, once or for as long as it stays persistent.
// Thread safety: called by the publisher under its lock, on the thread that
// publishes (the job thread in the gate client).
// Ownership: the publisher takes a subscriber over on Subscribe and calls its
// Release once when its last subscription ends; Release frees it.
#pragma once

#include "netcore/command/cmd_base.h"

namespace bsc {

// Operations in slot order; no virtual destructor (destroyed by Release).
class ICmdSubscriber {
 public:
  virtual void OnCommand(bs::CMD_base* cmd) = 0;
  // false asks the publisher to drop the subscription after the notification
  // just made.
  virtual bool IsPersistent() = 0;
  virtual void Release() = 0;
  virtual void SetPersistent(bool persistent) = 0;

 protected:
  ~ICmdSubscriber() = default;
};

// The one subscriber class: forwards each command to a plain callback.
// Created on the heap only; Release deletes it.
template <typename Callback = void (*)(bs::CMD_base*)>
class SubscribeCommand final : public ICmdSubscriber {
 public:
  explicit SubscribeCommand(Callback cb = nullptr) : callback(cb) {}

  void OnCommand(bs::CMD_base* cmd) override {
    if (callback) callback(cmd);
  }
  bool IsPersistent() override { return persistent; }
  void Release() override { delete this; }
  void SetPersistent(bool p) override { persistent = p; }

  bool persistent = false;
  Callback callback;

 private:
  ~SubscribeCommand() = default;
};

}  // namespace bsc

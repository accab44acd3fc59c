// Delayed jobs (kind 5): a command that carries a plain function and its
// argument. The job runs exactly once: through Run when a processor calls it,
// otherwise when the command is destroyed (the job thread's Release after
// dispatch), so it runs on the job thread no earlier than its delay.
// Thread safety: used by one thread at a time, like every command.
// Ownership: constructed with a delete handler holding one reference; post it
// and forget it. The command owns its job holder.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "netcore/command/cmd_base.h"
#include "netcore/port/platform.h"

namespace bs {

// A job holder: runs its function, then is freed through Release.
class ICommonCommand {
 public:
  virtual void Execute() = 0;
  virtual void Release() = 0;

 protected:
  ~ICommonCommand() = default;
};

// Holds an object of type T and a plain function taking it.
template <class T>
class CommCommond final : public ICommonCommand {
 public:
  using Function = void (*)(T);

  CommCommond(T object, Function function) : object_(object), function_(function) {}

  void Execute() override {
    if (function_ != nullptr) function_(object_);
  }
  void Release() override { delete this; }

 private:
  ~CommCommond() = default;

  T object_;
  Function function_;
};

class CMD_LambdaFunctionBase : public CMD_base {
 public:
  CMD_LambdaFunctionBase() : CMD_base(kCmdKindDelayedJob, 0) {}

  // Runs the job unless it already ran; returns how late the call came:
  // GetTickCount now - start_tick - delay, in ms.
  virtual int Run() = 0;

  std::string name;      // nothing sets it
  int32_t reserved = 0;  // nothing reads it
  // Atomic because the last reference (and so the destructor) may be dropped
  // on another thread than the one that called Run.
  std::atomic<bool> done{false};
  uint32_t start_tick = q_platform::TickCountMs();
};

template <class T>
class CMD_LambdaFunction : public CMD_LambdaFunctionBase {
 public:
  using Function = typename CommCommond<T>::Function;

  CMD_LambdaFunction(Function function, uint64_t delay_ms, T object)
      : job_(new CommCommond<T>(object, function)) {
    delay = delay_ms;
    AttachDeleteHandler();
  }

  ~CMD_LambdaFunction() override {
    if (!done.exchange(true)) job_->Execute();
    job_->Release();
  }

  int Run() override {
    if (!done.exchange(true)) job_->Execute();
    const uint32_t late = q_platform::TickCountMs() - start_tick - static_cast<uint32_t>(delay);
    return static_cast<int32_t>(late);
  }

 private:
  ICommonCommand* job_;
};

}  // namespace bs

// The network agent joins the connection manager to the command world: it
// runs network commands (kind 9: send a frame, connect, kick, settings) by
// calling its QConnMgr, and as the manager's sink it turns every connection
// event into a network command posted to the job thread.
// Thread safety: Process from any thread (the job thread and every thread
// that sends through the client frame), also concurrently; Init, Shutdown
// and Release by the owner. Shutdown waits for calls inside Process to leave
// the manager and turns later ones into no-ops, so senders may still be
// running when it is called. The sink side runs on the loop thread, frames
// on the reader thread of their connection.
// Ownership: the agent owns its manager (freed by Shutdown); Process does not
// take the command; the commands the agent posts carry a delete handler with
// one reference, handed to the pool (or to the direct processor).
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <shared_mutex>
#include <string>

#include "netcore/command/cmd_base.h"
#include "netcore/command/job_thread.h"
#include "netcore/command/network_commands.h"
#include "netcore/net/conn_manager.h"
#include "shared/thread_check/thread_check.h"

// Operations in slot order; no virtual destructor (destroyed by Release).
class IJobAgent {
 public:
  // The three ints and the text are not used.
  virtual bool Init(IJobProcessPool* pool, int, int, int, const char*, ICmdProcess* direct) = 0;
  virtual void Shutdown() = 0;
  virtual void Release() = 0;
  virtual bool Process(bs::CMD_base* cmd) = 0;

 protected:
  ~IJobAgent() = default;
};

namespace bs {

// The agent setting (kind 9, sub-id 6): code 0 sets the address from
// "host:port" in `value`, 1 clears the flag, 2 sets it. Nothing in the
// system sends one.
class CMDNetwork_AgentSetting : public CMD_base {
 public:
  static constexpr uint16_t kKind = kCmdKindNetwork;
  static constexpr uint16_t kSubid = kNetSubidSetting;
  CMDNetwork_AgentSetting() : CMD_base(kKind, kSubid) {}

  int32_t code = 0;
  std::string value;
};

}  // namespace bs

class ClientNetAgent final : public IJobAgent, public ICMGR_ChannelSink {
 public:
  // Makes the manager that Init starts; the default makes a QConnMgr.
  // Tests pass their own.
  using ManagerFactory = std::function<ICMGR_ConnManager*()>;

  ClientNetAgent();
  explicit ClientNetAgent(ManagerFactory factory);
  ClientNetAgent(const ClientNetAgent&) = delete;
  ClientNetAgent& operator=(const ClientNetAgent&) = delete;

  // IJobAgent. Init returns the manager's Init result (false also when the
  // agent already has a manager).
  bool Init(IJobProcessPool* pool, int, int, int, const char*, ICmdProcess* direct) override;
  void Shutdown() override;
  void Release() override;
  bool Process(bs::CMD_base* cmd) override;

  // ICMGR_ChannelSink: results and closes on the loop thread, frames on
  // their connection's reader thread.
  void OnConnectionClose(uint64_t conn_id, int user_data) override;
  void OnData(uint64_t conn_id, const char* frame, int len, int user_data) override;
  void OnConnectToRet(uint64_t conn_id, bool ok, int user_data) override;

 private:
  ~ClientNetAgent() override;

  void Post(bs::CMD_base* cmd);
  void ApplySetting(const bs::CMDNetwork_AgentSetting& setting);

  IJobProcessPool* pool_ = nullptr;
  ICMGR_ConnManager* manager_ Q_GUARDED_BY(manager_guard_) = nullptr;
  ICmdProcess* direct_ = nullptr;
  bool flag_ Q_GUARDED_BY(settings_mutex_) = true;
  std::string host_ Q_GUARDED_BY(settings_mutex_);
  int32_t port_ Q_GUARDED_BY(settings_mutex_) = 0;
  // The manager's loop thread, bound by its first connect result or close;
  // each Init starts a new manager, so it binds anew.
  q_platform::ThreadChecker loop_thread_;

  ManagerFactory factory_;
  // Shared by Process while it uses the manager, exclusive while Shutdown
  // takes the manager away.
  std::shared_mutex manager_guard_;
  // Set by Shutdown before it waits for the guard: senders that keep
  // coming would otherwise hold it shared one after another and keep the
  // exclusive wait from ever being served (readers go first there).
  std::atomic<bool> closing_{false};
  std::mutex settings_mutex_;  // host_, port_, flag_
};

// Exports of Quorrel.dll (undecorated through the .def file).
extern "C" {
// A new agent, not started (the caller calls Init and finally Release);
// null only when memory runs out.
IJobAgent* CreateJobAgent();
// A new QConnMgr, not started (the caller calls Init and finally Release).
ICMGR_ConnManager* chCreateConnManager();
}

// bsc::ClientFrame: the gate client's one connection to a gate server. It
// owns the job thread on which all gate work runs, the network agent that
// holds the TCP connection, the publisher and the gate session; it picks an
// address, connects and reconnects, greets the gate, enciphers and
// deciphers bodies once a session key exists, sends pulses and kicks a dead
// link. Every other part of the gate client sends through SendCmd.
// Thread safety: SendCmd, the state readers and Reconnect from any thread;
// Start and Stop by the owner, never on the job thread; everything else
// (network events, the timer, the session's handlers) on the job thread.
// Ownership: the frame owns its job thread, agent, publisher and session.
// StartClientFrame's instance is never destroyed; frames built directly
// (tests, tools) stop themselves in the destructor.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <shared_mutex>
#include <string>

#include "gateclient/client_frame/gate_client_proc.h"
#include "gateclient/client_frame/gate_hooks.h"
#include "netcore/command/job_thread.h"
#include "netcore/command/publisher.h"
#include "netcore/net/blowfish.h"
#include "netcore/net/net_agent.h"

class QConfig;

namespace bsc {

class ClientFrame {
 public:
  // Replaceable outside dependencies; an empty member keeps the default.
  struct Seams {
    std::function<IJobAgent*()> makeAgent;                // CreateJobAgent
    std::function<int64_t()> nowSeconds;                  // seconds since 1970
    std::function<uint32_t()> tickCount;                  // q_platform::TickCountMs
    std::function<bool(std::string&, int&)> pickAddress;  // PickGateAddress
  };

  class ClientFrameNetworkProc : public ICmdProcess {
   public:
    explicit ClientFrameNetworkProc(ClientFrame* owner) : frame(owner) {}
    bool OnStart(int, IJobProcessPool* p) override;
    void Reset() override {}
    void Process(bs::CMD_base* cmd, int) override;
    void OnTimer(uint64_t nowMs, int) override;

    ClientFrame* frame;
    IJobProcessPool* pool = nullptr;
  };

  ClientFrame();
  explicit ClientFrame(Seams seams);
  ClientFrame(const ClientFrame&) = delete;
  ClientFrame& operator=(const ClientFrame&) = delete;

  // Registers the session, starts the job thread, creates the agent (first
  // call only) and schedules the first connect after 100 ms. Always true.
  virtual bool Start();
  virtual ~ClientFrame();

  // Ends the job thread, then the agent. Afterwards SendCmd returns false
  // and nothing reconnects; a second call does nothing. Not on the job thread.
  void Stop();

  // Sends a gate command (kind 12) or a data command (9/2) on the current
  // connection; false when the link is down, the frame stopped or the kind
  // is not sendable. Nothing is queued. Does not take the command.
  bool SendCmd(bs::CMD_base* cmd);
  // delayMs != 0 posts a delayed connect and returns the post result;
  // 0 connects now (job thread) and returns 0.
  int Reconnect(int delayMs);
  // Drops the current connection; its close event schedules the reconnect.
  void Kick();

  // Settings (null: the global g_config; both null: the defaults).
  void SetConfig(const QConfig* config) { config_.store(config); }
  void SetHooks(IGameRegistryHook* registry, IHallSinkHook* hallSink, LogPaneFn pane);

  GateClientProc& Session() { return session; }
  Publisher& GetPublisher() { return publisher; }
  IJobProcessPool* JobThread() { return jobThread; }

  bool IsConnected() const { return connected.load(); }
  bool IsConnecting() const { return connecting.load(); }
  uint64_t ConnId() const { return connId.load(); }
  bool IsStopped() const { return stopped.load(); }
  int64_t LastReceive() const { return lastReceive.load(); }

  // Job thread, for the gate session.
  void SetStopped() { stopped.store(true); }
  void SetDisconnected() { connected.store(false); }
  // Makes `cipher` (null: clear) the one senders use from now on.
  void PublishCipher(std::shared_ptr<const CBlowfish> cipher);
  void Pane(const std::string& text);
  IGameRegistryHook* Registry() const { return registry_.load(); }
  IHallSinkHook* HallSink() const { return hallSink_.load(); }
  int64_t NowSeconds() const { return seams_.nowSeconds(); }
  uint32_t TickCount() const { return seams_.tickCount(); }
  int TimeDisconnSetting() const;
  int SendPulseSetting() const;
  int RobotSetting() const;

 private:
  // What a sender needs, published whole so a send never pairs one
  // connection's id with another's key.
  struct SendLink {
    uint64_t connId = 0;
    std::shared_ptr<const CBlowfish> cipher;
  };

  void OnNetworkEvent(bs::CMD_base* cmd);
  void OnData(bs::CMDNetwork_DataMessage* cmd);
  void OnTimerTick();
  bool SendLocked(bs::CMD_base* cmd);
  void PublishLink(std::shared_ptr<const SendLink> link);
  const QConfig* Config() const;
  static void ReconnectJob(ClientFrame* frame);

  Seams seams_;
  std::atomic<const QConfig*> config_{nullptr};
  std::atomic<IGameRegistryHook*> registry_{nullptr};
  std::atomic<IHallSinkHook*> hallSink_{nullptr};
  std::atomic<LogPaneFn> pane_{nullptr};
  std::shared_ptr<const SendLink> link_;  // atomic_load / atomic_store only
  // Shared by senders while they use the agent, exclusive while Stop frees it.
  std::shared_mutex agentGuard_;
  std::atomic<bool> shut_{false};
  std::atomic<bool> stopCalled_{false};

 public:
  // The Part's members, in its order.
  bool started = false;
  ClientFrameNetworkProc networkProc;
  GateClientProc session;
  IJobAgent* agent = nullptr;  // guarded by agentGuard_
  KJobThread* jobThread = nullptr;
  Publisher publisher;
  std::atomic<bool> connected{false};
  std::atomic<bool> connecting{false};
  std::atomic<uint64_t> connId{0};
  std::atomic<bool> stopped{false};
  std::atomic<int64_t> lastReceive{0};
  std::atomic<int64_t> lastPulse{0};
};

// Creates the single frame and starts it; false when it already exists.
bool StartClientFrame();
// The single frame, or null before StartClientFrame.
ClientFrame* GetClientFrame();

// The address choice from "gateaddress.ini" in the current directory.
bool PickGateAddress(std::string& host, int& port);
// The built-in address used when the file lists none.
extern const char kDefaultGateAddress[];

}  // namespace bsc

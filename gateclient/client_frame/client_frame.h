// bsc::ClientFrame: the gate client's one connection to a gate server. It
// owns the job thread on which all gate work runs, the network agent that
// holds the TCP connection, the publisher and the gate session; it picks an
// address, connects and reconnects, greets the gate, enciphers and
// deciphers bodies once a session key exists, sends pulses and kicks a dead
// link. Every other part of the gate client sends through SendCmd.
// Thread safety: SendCmd, PostToJobThread, the state readers and Reconnect
// from any thread (each is refused once Stop has begun; the job thread and
// the agent are guarded while Stop frees them); Start and Stop by the owner,
// never on the job thread; everything else (network events, the timer, the
// session's handlers) on the job thread.
// Ownership: the frame owns its job thread, agent, publisher and session.
// StartClientFrame's instance is never destroyed; frames built directly
// (tests, tools) stop themselves in the destructor.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <random>
#include <shared_mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "gateclient/client_frame/gate_address.h"
#include "gateclient/client_frame/gate_client_proc.h"
#include "gateclient/client_frame/gate_hooks.h"
#include "gateclient/client_frame/reconnect_pacer.h"
#include "netcore/command/job_thread.h"
#include "netcore/command/publisher.h"
#include "netcore/net/blowfish.h"
#include "netcore/net/net_agent.h"
#include "shared/thread_check/thread_check.h"

class QConfig;

namespace bsc {

class ClientFrame {
 public:
  // Replaceable outside dependencies; an empty member keeps the default.
  struct Seams {
    std::function<IJobAgent*()> makeAgent;                // CreateJobAgent
    std::function<int64_t()> nowSeconds;                  // seconds since 1970
    std::function<uint32_t()> tickCount;                  // q_platform::TickCountMs
    std::function<bool(std::string&, int&)> pickAddress;  // ChooseGateAddress
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
  // Any thread. delayMs != 0, or any call off the job thread, posts the
  // connect to the job thread and returns the post result (0 once stopped);
  // 0 on the job thread connects now and returns 0.
  int Reconnect(int delayMs);
  // Any thread: hands `cmd` to the job thread; false (the command stays the
  // caller's) for a null command and once Stop has begun.
  bool PostToJobThread(bs::CMD_base* cmd);
  // Drops the current connection; its close event schedules the reconnect.
  void Kick();

  // Settings (null: the global g_config; both null: the defaults).
  void SetConfig(const QConfig* config) { config_.store(config); }
  void SetHooks(IGameRegistryHook* registry, IHallSinkHook* hallSink, LogPaneFn pane);

  GateClientProc& Session() { return session; }
  Publisher& GetPublisher() { return publisher; }
  // The owner's thread only (null after Stop); other threads post through
  // PostToJobThread.
  IJobProcessPool* JobThread() { return jobThread; }
  // Any thread, for thread-affinity checks: true on the job thread, before
  // it starts and after Stop (no job thread to be on).
  bool OnJobThread();

  bool IsConnected() const { return connected.load(); }
  bool IsConnecting() const { return connecting.load(); }
  uint64_t ConnId() const { return connId.load(); }
  // The user was logged in elsewhere: no reconnect after the next close. The
  // job thread, the games and their notices go on.
  bool LoggedInElsewhere() const { return stopped.load(); }
  int64_t LastReceive() const { return lastReceive.load(); }

  // Job thread, for the gate session.
  void SetLoggedInElsewhere() { stopped.store(true); }
  // A successful login: the next reconnect waits 50 ms again.
  void OnLoggedIn() { pacer_.Reset(); }
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
  // Job thread: a failed try (or a link lost before its login) schedules
  // the next one, paced.
  void RetryLater();

  Seams seams_;
  std::minstd_rand random_;                     // job thread: the pacer's jitter
  ReconnectPacer pacer_;                        // job thread
  bool tryLogged_ = false;                      // job thread: the current try's lines are logged
  std::atomic<std::thread::id> jobThreadId_{};  // set by networkProc's OnStart
  std::atomic<const QConfig*> config_{nullptr};
  std::atomic<IGameRegistryHook*> registry_{nullptr};
  std::atomic<IHallSinkHook*> hallSink_{nullptr};
  std::atomic<LogPaneFn> pane_{nullptr};
  std::shared_ptr<const SendLink> link_;  // atomic_load / atomic_store only
  // Shared by senders while they use the agent, exclusive while Stop frees it.
  std::shared_mutex agentGuard_;
  // Shared by posters while they use jobThread, exclusive while Stop takes it.
  std::shared_mutex jobGuard_;
  std::atomic<bool> shut_{false};
  std::atomic<bool> stopCalled_{false};

 public:
  // The Part's members, in its order.
  bool started = false;
  ClientFrameNetworkProc networkProc;
  GateClientProc session;
  IJobAgent* agent Q_GUARDED_BY(agentGuard_) = nullptr;
  KJobThread* jobThread Q_GUARDED_BY(jobGuard_) = nullptr;
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

}  // namespace bsc

// Aborts (thread_check.h) when the caller is not the job thread of
// `frame` (a ClientFrame*; null: nothing to check).
#define Q_CHECK_FRAME_JOB_THREAD(frame) \
  Q_CHECK_THREAD((frame) == nullptr || (frame)->OnJobThread(), "job thread")

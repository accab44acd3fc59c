// The game registry: PlanManager keeps one PlanTable per launched game, keyed
// by plan id; a table owns the game's shared-memory channel, its process
// handles and a watcher thread. The gate session hands kind-13/14/18 commands
// and the link events to the registry (through Hook()); the registry launches
// games on match starts and relays commands both ways.
// Thread safety: the hook operations and RegisterTable run on the client
// frame's job thread; KillAll on the launcher's thread; watchers and channel
// workers on their own threads. The map is guarded by the registry mutex,
// held while forwarding (a forward only queues bytes).
// Ownership: the registry is created once (CreatePlanManager) and never
// freed in the library; a table is freed when its last reference goes (the
// map's and the watcher's).
//
// Use from the hall sink's start-up:
//   bsc::PlanManager* plans = bsc::CreatePlanManager();   // once
//   bsc::StartClientFrame();
//   bsc::GetClientFrame()->SetHooks(plans->Hook(), sink, pane);
// and from close game: bsc::PlanManager::Instance()->KillAll() before
// ClientFrame::Stop (no notice is posted into the job thread after KillAll).
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "gateclient/client_frame/gate_hooks.h"
#include "gateclient/client_frame/transfer_info.h"
#include "gateclient/plan_launch.h"
#include "netcore/shm/win_ipc.h"

class QConfig;

namespace bsc {

class ClientFrame;
class PlanManager;
struct GameChannel;  // the shared-memory channel (bsc::WinIpcImpl on Windows)

// What a launched game needs from the process layer (plan_table_win32.cpp).
struct GameProcessInfo {
  void* process = nullptr;  // HANDLE
  void* thread = nullptr;   // HANDLE
  uint32_t processId = 0;
  uint32_t threadId = 0;
};

class PlanTable final : public IWinIpcCallback {
 public:
  explicit PlanTable(PlanManager& owner);
  ~PlanTable();
  PlanTable(const PlanTable&) = delete;
  PlanTable& operator=(const PlanTable&) = delete;

  // Opens the channel, starts the game, starts the watcher. True when the
  // game runs; false leaves nothing running (the caller frees the table).
  bool Launch(bs::CMD_base* cmd, uint64_t planId);
  // Queues one game-forward record for `cmd` (null: from `info` alone).
  // Dropped once the channel is closed.
  void Forward(bs::CMD_base* cmd, const TransferInfo& info);
  void OnReceive(const char* data, int length) override;

  // Terminates the game when it has not ended within 10 ms; false when the
  // game was not running (nothing is touched then).
  bool Kill();
  // Waits up to `ms` for the watcher to finish; true once it has.
  bool WaitWatcherDone(uint32_t ms);
  void Release();  // drops one reference, frees the table at 0

  bool Running() const { return running.load(); }
  uint64_t PlanId() const { return planId; }
  // The launch command, kept with one extra reference until RegisterTable
  // has forwarded it; Take hands that reference to the caller.
  bs::CMD_base* TakeLaunchCommand();
  const std::string& CommandLine() const { return commandLine_; }

  std::atomic<bool> running{false};
  GameChannel* channel;  // created and freed with the table
  uint64_t planId = 0;
  PlanLaunchValues values;
  GameProcessInfo processInfo;  // handles under the owner's mutex
  bs::CmdRouteHeader route;
  bool joinFlag = false;
  std::atomic<int32_t> references{0};

 private:
  void Watch();
  // Process and channel layer (plan_table_win32.cpp; natively nothing starts).
  bool OpenChannel();
  void SendOnChannel(const std::string& record);
  void CloseChannel();
  bool StartProcess(const std::string& commandLine);
  // Waits up to `ms`; true with the exit code once the process has ended.
  bool WaitProcess(uint32_t ms, uint32_t* exitCode);
  void CloseProcessHandles();
  void TerminateGame();

  PlanManager& owner_;
  bs::CMD_base* launchCmd_ = nullptr;
  std::string commandLine_;
  std::mutex channelMutex_;  // channel open/closed vs. forwards
  bool channelOpen_ = false;
  std::mutex doneMutex_;
  std::condition_variable doneCv_;
  bool watcherDone_ = false;
};

class PlanManager {
 public:
  // Outside dependencies; an empty member keeps the default.
  struct Seams {
    std::function<ClientFrame*()> frame;             // GetClientFrame
    std::function<bool(bs::CMD_base*)> sendCmd;      // frame->SendCmd
    std::function<void(bs::CMD_base&)> sendViaGate;  // SendViaGate(frame, cmd)
    std::function<void(uint16_t)> notice;            // PostLocalCommand
    std::function<std::string()> programFolder;      // the running program's folder
    std::function<const QConfig*()> config;          // game table source (g_config)
  };

  PlanManager();
  explicit PlanManager(Seams seams);
  PlanManager(const PlanManager&) = delete;
  PlanManager& operator=(const PlanManager&) = delete;

  // Operations in slot order. The destructor empties the map without
  // deleting the tables (their watchers may still run).
  virtual ~PlanManager();
  virtual void OnLaunchCommand(bs::CMD_base* cmd, uint64_t planId, const TransferInfo& info);
  virtual void ForwardToPlan(bs::CMD_base* cmd, uint64_t planId, const TransferInfo& info);
  virtual void ForwardToPlanOrAll(bs::CMD_base* cmd, uint64_t planId, const TransferInfo& info);
  virtual void Broadcast(bs::CMD_base* cmd);
  virtual void RegisterTable(PlanTable* table, TransferInfo unused);
  virtual void Reserved7(int);
  virtual void KillAll();

  // The hook the client frame calls (install with ClientFrame::SetHooks).
  IGameRegistryHook* Hook();
  // The registry CreatePlanManager made, or null.
  static PlanManager* Instance();

  // Used by the tables.
  ClientFrame* Frame() const;
  bool SendCmd(bs::CMD_base* cmd);
  void PostNotice(uint16_t code);
  std::string ProgramFolder() const;
  GameTable CurrentGameTable() const;
  std::mutex& Mutex() { return mutex_; }
  size_t TableCount();

 private:
  class HookAdapter;
  void CreateAndLaunch(bs::CMD_base* cmd, uint64_t planId, const TransferInfo& info);
  void HandleJoinRsp(bs::CMD_base* cmd, uint64_t planId, const TransferInfo& info);

  Seams seams_;
  std::unique_ptr<HookAdapter> hook_;
  std::mutex mutex_;
  std::map<uint64_t, PlanTable*> tables_;
  std::mutex noticeMutex_;
  bool noticesClosed_ = false;
};

// Creates the one registry (later calls return the same object).
PlanManager* CreatePlanManager();
// The shapes of the hall start-up's links (nfhall/hall_startup.h):
// CreatePlanManager()->Hook(), and KillAll on the registry if it exists.
IGameRegistryHook* CreateGameRegistryHook();
void KillAllGames();

}  // namespace bsc

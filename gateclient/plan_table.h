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
// map's and the watcher's). The process layer (game_env.h) is not owned.
//
// Use from the hall sink's start-up:
//   bsc::PlanManager* plans = bsc::CreatePlanManager();   // once
//   bsc::StartClientFrame();
//   bsc::GetClientFrame()->SetHooks(plans->Hook(), sink, pane);
// and from close game: bsc::PlanManager::Instance()->KillAll() before
// ClientFrame::Stop (no notice is posted after KillAll, and no game starts:
// one whose start was under way is ended where it would enter the map).
// Notices go through the hall sink's PostLocalCommand (the frame's sink hook).
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
#include "gateclient/game_env.h"
#include "gateclient/plan_launch.h"
#include "shared/thread_check/thread_check.h"
#include "netcore/shm/win_ipc.h"

class QConfig;

namespace bsc {

class ClientFrame;
class PlanManager;

class PlanTable final : public IWinIpcCallback {
 public:
  explicit PlanTable(PlanManager& owner);
  ~PlanTable();
  PlanTable(const PlanTable&) = delete;
  PlanTable& operator=(const PlanTable&) = delete;

  // Opens the channel and starts the game. True when the game runs; false
  // leaves nothing running (the caller frees the table). The watcher is
  // not started here: the registry starts it once the game is announced.
  bool Launch(bs::CMD_base* cmd, uint64_t planId);
  // Starts the watcher thread, once, after a successful Launch. `announce`:
  // post notice 199 when the game ends. The thread holds the library loaded
  // until it has left it (q_platform::StartDetachedThread); if none can be
  // started the watch ends at once (the game then goes unwatched).
  void StartWatcher(bool announce);
  // Queues one game-forward record for `cmd` (null: from `info` alone).
  // Dropped once the channel is closed.
  void Forward(bs::CMD_base* cmd, const TransferInfo& info);
  void OnReceive(const char* data, int length) override;

  // Under the registry mutex: terminates the game when it has not ended
  // within 10 ms; false when the game was not running (nothing is touched).
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
  uint64_t planId = 0;
  PlanLaunchValues values;
  bs::CmdRouteHeader route;
  bool joinFlag = false;
  std::atomic<int32_t> references{0};

 private:
  void Watch(bool announce);
  // The watch's end: channel closed, not running, done signalled, the
  // watcher's reference dropped (the table may be gone after it).
  void FinishWatch();
  void CloseChannel();

  PlanManager& owner_;
  bs::CMD_base* launchCmd_ = nullptr;
  std::string commandLine_;
  std::mutex channelMutex_;
  std::unique_ptr<GameChannel> channel_ Q_GUARDED_BY(channelMutex_);  // null once closed
  // Set by Launch before the table is shared; reset by the watcher under the
  // registry mutex, which Kill holds.
  std::unique_ptr<GameProcess> process_;
  std::mutex doneMutex_;
  std::condition_variable doneCv_;
  bool watcherDone_ Q_GUARDED_BY(doneMutex_) = false;
  // The one watcher (a second one would release the table twice) and the
  // channel's worker, which delivers OnReceive; both bind on first use.
  q_platform::ThreadChecker watcher_;
  q_platform::ThreadChecker channelWorker_;
};

class PlanManager {
 public:
  // Outside dependencies; an empty member keeps the default.
  struct Seams {
    std::function<ClientFrame*()> frame;             // GetClientFrame
    std::function<bool(bs::CMD_base*)> sendCmd;      // frame->SendCmd
    std::function<void(bs::CMD_base&)> sendViaGate;  // SendViaGate(frame, cmd)
    std::function<void(uint16_t)> notice;            // PostLocalCommand
    std::function<const QConfig*()> config;          // game table source (g_config)
    GameEnv* env = nullptr;                          // DefaultGameEnv()
  };

  PlanManager();
  explicit PlanManager(Seams seams);
  PlanManager(const PlanManager&) = delete;
  PlanManager& operator=(const PlanManager&) = delete;

  // Operations in slot order. The destructor empties the map; it frees
  // only ended games' tables (a running game's watcher still uses them).
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
  // Through the hall sink's PostLocalCommand (the client frame's sink hook).
  void PostNotice(uint16_t code);
  GameEnv& Env() const { return *env_; }
  GameTable CurrentGameTable() const;
  std::mutex& Mutex() { return mutex_; }
  size_t TableCount();

 private:
  class HookAdapter;
  void CreateAndLaunch(bs::CMD_base* cmd, uint64_t planId, const TransferInfo& info);
  void HandleJoinRsp(bs::CMD_base* cmd, uint64_t planId, const TransferInfo& info);

  Seams seams_;
  GameEnv* env_;
  std::unique_ptr<HookAdapter> hook_;
  std::mutex mutex_;
  std::map<uint64_t, PlanTable*> tables_ Q_GUARDED_BY(mutex_);
  // Set by KillAll under mutex_: from then on no table enters the map and
  // no game is started, so close game leaves none running.
  bool closing_ Q_GUARDED_BY(mutex_) = false;
  std::mutex noticeMutex_;
  bool noticesClosed_ Q_GUARDED_BY(noticeMutex_) = false;
};

// Creates the one registry (later calls return the same object).
PlanManager* CreatePlanManager();
// The shapes of the hall start-up's links (nfhall/hall_startup.h):
// CreatePlanManager()->Hook(), and KillAll on the registry if it exists.
IGameRegistryHook* CreateGameRegistryHook();
void KillAllGames();

}  // namespace bsc

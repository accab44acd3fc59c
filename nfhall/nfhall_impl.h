// NFHallSinkImpl: the gate client library's face towards the launcher. It
// starts the gate client (settings, game registry, client frame, debug
// dialog), turns each lobby event into a gate session action and each gate
// answer into the lobby block the launcher expects, sent back through
// INFHallControl.
// Thread safety: the INFHallSink operations on the launcher's thread; the
// handlers (DispatchCommand), QueryStartPoint and the timer hook on the
// client frame's job thread; PostLocalCommand from any thread. Shared fields
// are atomics; the fund block is guarded by its own mutex.
// Ownership: GetHallSink's instance is never freed; the control is the
// launcher's and never freed here.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "gateclient/client_frame/gate_hooks.h"
#include "gateclient/client_frame/login_stat.h"
#include "interface/hall/nfhall_interfaces.h"
#include "netcore/command/function_array.h"
#include "shared/thread_check/thread_check.h"

namespace nfhall {

class NFHallSinkImpl : public INFHallSink {
 public:
  // What the sink drives; an empty member keeps the default, which works on
  // the process's one client frame (bsc::GetClientFrame).
  struct Seams {
    // Settings, game registry, client frame (hooks installed), debug dialog.
    std::function<void(NFHallSinkImpl*)> startGateClient;
    // Close game: ends the games and stops the frame.
    std::function<void()> stopGateClient;
    std::function<uint32_t()> tickCount;
    std::function<bool(const bsc::LoginUser&)> submitLoginUser;
    std::function<void(uint32_t appId, bool withdraw)> sendJoin;
    std::function<void(uint32_t planId, uint32_t appId)> sendMatchDetail;
    std::function<void(uint32_t planId)> sendDisplayPlanUpdate;
    // Posts a command to the job thread; false when it was not taken.
    std::function<bool(bs::CMD_base*)> post;
    // The debug dialog's account field (ANSI); empty: no dialog shown.
    std::function<void(const std::string&)> showAccount;
    // The pause after stopping, milliseconds.
    int closePauseMs = 100;
  };

  NFHallSinkImpl();
  explicit NFHallSinkImpl(Seams seams);
  NFHallSinkImpl(const NFHallSinkImpl&) = delete;
  NFHallSinkImpl& operator=(const NFHallSinkImpl&) = delete;
  ~NFHallSinkImpl() = default;

  // INFHallSink, launcher's thread.
  void SetHallControl(INFHallControl* control) override;
  void OnEventUserInfo(const NFHallUserInfo* info) override;
  bool OnEventEnterRoom(int32_t userId, uint16_t gameKind, uint16_t serverId) override;
  void OnEventLeaveRoom(int32_t userId, uint16_t gameKind, uint16_t serverId) override;
  void OnEventSignUp(int32_t userId, uint16_t gameKind, uint16_t serverId) override;
  void OnEventSignOut(int32_t userId, uint16_t gameKind, uint16_t serverId) override;
  void OnEventUserFund(const NFHallUserFund* fund) override;
  void OnEventCloseGame() override;

  // Job thread.
  void QueryStartPoint();
  void DispatchCommand(bs::CMD_base* cmd);
  // Any thread: a kind-257 notice with sub-id `code` to the job thread.
  void PostLocalCommand(uint16_t code);

  // What the client frame calls (install with ClientFrame::SetHooks).
  bsc::IHallSinkHook* FrameHook() { return &frameHook_; }

  // State readers for tests and the debug dialog.
  uint32_t PlanId() const { return planId_.load(); }
  uint16_t ServerId() const { return serverId_.load(); }
  uint16_t GameKind() const { return gameKind_.load(); }
  bool LoggedIn() const { return loggedIn_.load(); }
  bool Closed() const { return closed_.load(); }
  NFHallUserFund UserFund();

  // Test access: sets the start-point query time as a tick count.
  void SetLastStartPointQuery(uint32_t tick) { lastStartPointQuery_.store(tick); }

 private:
  class FrameHookImpl : public bsc::IHallSinkHook {
   public:
    explicit FrameHookImpl(NFHallSinkImpl* s) : sink(s) {}
    void DispatchCommand(bs::CMD_base* cmd, uint64_t) override { sink->DispatchCommand(cmd); }
    void OnFrameTimer() override;
    void PostLocalCommand(uint16_t code) override { sink->PostLocalCommand(code); }
    NFHallSinkImpl* sink;
  };

  void OnLoginRsp(bs::CMD_base* cmd);
  void OnQueryFundRsp(bs::CMD_base* cmd);
  void OnJoinRsp(bs::CMD_base* cmd);
  void OnMatchPrize(bs::CMD_base* cmd);
  void OnPlayerEndOneMatch(bs::CMD_base* cmd);
  void OnPlanAllStartPoint(bs::CMD_base* cmd);
  void OnGetMatchDetailRsp(bs::CMD_base* cmd);
  void OnLocalCommand(bs::CMD_base* cmd);
  void OnNothing(bs::CMD_base*) {}

  void SendSocket(uint16_t kind, uint16_t server, uint16_t main, uint16_t sub,
                  const std::vector<uint8_t>& body);

  Seams seams_;
  FrameHookImpl frameHook_{this};
  std::atomic<INFHallControl*> control_{nullptr};
  std::atomic<uint16_t> gameKind_{0};
  std::atomic<uint16_t> serverId_{0};
  std::atomic<int32_t> userId_{0};
  std::atomic<uint32_t> planId_{0};
  std::atomic<uint32_t> lastStartPointQuery_{0};
  std::atomic<bool> loggedIn_{false};
  std::atomic<bool> enterRoomPending_{false};
  std::atomic<bool> startPointsPaused_{false};
  std::atomic<bool> started_{false};
  std::atomic<bool> closed_{false};
  std::mutex fundMutex_;
  NFHallUserFund userFund_ Q_GUARDED_BY(fundMutex_){};
  // The launcher's thread, bound by its first lobby event.
  q_platform::ThreadChecker launcherThread_;

 public:
  FunctionArray<NFHallSinkImpl, 100> clientTable;
  FunctionArray<NFHallSinkImpl, 48> matchTable;
  FunctionArray<NFHallSinkImpl, 100> hallTable;
};

}  // namespace nfhall

#include "nfhall/nfhall_impl.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "gateclient/client_frame/client_frame.h"
#include "gateclient/client_frame/client_requests.h"
#include "gateclient/settings/gate_log.h"
#include "interface/hall/ansi_text.h"
#include "interface/hall/hall_blocks.h"
#include "netcore/command/gate_commands.h"
#include "netcore/port/platform.h"
#include "shared/thread_check/thread_check.h"
#include "nfhall/hall_startup.h"
#include "nfhall/user_block.h"

namespace nfhall {

namespace {

const uint32_t kStartPointIntervalMs = 1000;

NFHallSinkImpl::Seams Defaults(NFHallSinkImpl::Seams s) {
  if (!s.startGateClient) s.startGateClient = &StartGateClient;
  if (!s.stopGateClient) s.stopGateClient = &StopGateClient;
  if (!s.tickCount) s.tickCount = &q_platform::TickCountMs;
  if (!s.submitLoginUser) {
    s.submitLoginUser = [](const bsc::LoginUser& user) {
      bsc::ClientFrame* frame = bsc::GetClientFrame();
      return frame != nullptr && frame->Session().SubmitLoginUser(user);
    };
  }
  if (!s.sendJoin) {
    s.sendJoin = [](uint32_t appId, bool withdraw) {
      if (bsc::ClientFrame* frame = bsc::GetClientFrame())
        bsc::SendJoinReq(*frame, appId, withdraw);
    };
  }
  if (!s.sendMatchDetail) {
    s.sendMatchDetail = [](uint32_t planId, uint32_t appId) {
      if (bsc::ClientFrame* frame = bsc::GetClientFrame()) {
        bsc::SendGetMatchDetailReq(*frame, planId, appId);
      }
    };
  }
  if (!s.sendDisplayPlanUpdate) {
    s.sendDisplayPlanUpdate = [](uint32_t planId) {
      if (bsc::ClientFrame* frame = bsc::GetClientFrame()) {
        bsc::SendDisplayPlanUpdateReq(*frame, planId);
      }
    };
  }
  if (!s.post) {
    // Refused only once the frame was stopped (close game): a session
    // logged in elsewhere still runs its job thread and its games.
    s.post = [](bs::CMD_base* cmd) {
      bsc::ClientFrame* frame = bsc::GetClientFrame();
      return frame != nullptr && frame->PostToJobThread(cmd);
    };
  }
  if (!s.showAccount) s.showAccount = &ShowDialogAccount;
  return s;
}

std::string Words(int32_t userId, uint16_t serverId, uint16_t kind) {
  return ", id=" + std::to_string(userId) + ",serverid=" + std::to_string(serverId) +
         ",kind=" + std::to_string(kind);
}

}  // namespace

NFHallSinkImpl::NFHallSinkImpl() : NFHallSinkImpl(Seams()) {}

NFHallSinkImpl::NFHallSinkImpl(Seams seams) : seams_(Defaults(std::move(seams))) {
  clientTable.owner = this;
  matchTable.owner = this;
  hallTable.owner = this;
  clientTable.Register(bs::CMD_Client_LoginRsp::kSubid, &NFHallSinkImpl::OnLoginRsp);
  clientTable.Register(bs::CMD_Client_QueryFundRsp::kSubid, &NFHallSinkImpl::OnQueryFundRsp);
  matchTable.Register(bs::CMD_Match_JoinRsp::kSubid, &NFHallSinkImpl::OnJoinRsp);
  matchTable.Register(bs::CMD_Match_MatchStart::kSubid, &NFHallSinkImpl::OnNothing);
  matchTable.Register(bs::CMD_Match_MatchPrize::kSubid, &NFHallSinkImpl::OnMatchPrize);
  matchTable.Register(bs::CMD_Match_FixedNumberPlanRsp::kSubid, &NFHallSinkImpl::OnNothing);
  matchTable.Register(bs::CMD_Match_PlayerEndOneMatch::kSubid,
                      &NFHallSinkImpl::OnPlayerEndOneMatch);
  hallTable.Register(bs::CMD_Hall_PlanAllStartPoint::kSubid, &NFHallSinkImpl::OnPlanAllStartPoint);
  hallTable.Register(bs::CMD_Hall_GetMatchDetailRsp::kSubid, &NFHallSinkImpl::OnGetMatchDetailRsp);
}

// --- lobby events (launcher's thread) ------------------------------------

void NFHallSinkImpl::SetHallControl(INFHallControl* control) {
  Q_CHECK_BOUND_THREAD(launcherThread_, "launcher thread");
  control_.store(control);
  // The gate client starts once; a second call only replaces the control.
  if (started_.exchange(true)) return;
  seams_.startGateClient(this);
}

void NFHallSinkImpl::OnEventUserInfo(const NFHallUserInfo* info) {
  Q_CHECK_BOUND_THREAD(launcherThread_, "launcher thread");
  if (info == nullptr || closed_.load()) return;
  std::printf("user info \n");
  std::fflush(stdout);
  QLOG(kLogTraffic, "OnEventUserInfo, id=" + std::to_string(info->userId));
  if (loggedIn_.load()) return;

  const bsc::LoginUser user = DecodeUserInfo(*info);
  if (seams_.showAccount) seams_.showAccount(Utf8ToAnsi(user.account));
  QLOG(kLogTraffic, "OnEventUserInfo, cltserial: sys=" + user.systemSerial + ",bios=" +
                        user.biosSerial + ",cpu=" + user.cpuSerial + ",hd=" + user.diskSerial +
                        ",mac=" + user.macAddress + ",guid=" + user.guid);
  // The login record is the job thread's: it stores the user, clears the
  // answered flag, sets auto-login and sends the login when the state allows.
  seams_.submitLoginUser(user);
}

bool NFHallSinkImpl::OnEventEnterRoom(int32_t userId, uint16_t gameKind, uint16_t serverId) {
  Q_CHECK_BOUND_THREAD(launcherThread_, "launcher thread");
  if (closed_.load()) return !loggedIn_.load();
  std::printf("enter room req:%d\n", static_cast<int>(seams_.tickCount()));
  std::fflush(stdout);
  startPointsPaused_.store(false);
  QLOG(kLogTraffic, "OnEventEnterRoom" + Words(userId, serverId, gameKind));
  userId_.store(userId);
  gameKind_.store(gameKind);
  serverId_.store(serverId);
  planId_.store(0);
  lastStartPointQuery_.store(0);
  const bool loggedInBefore = loggedIn_.load();
  seams_.sendMatchDetail(0, serverId);
  if (loggedInBefore) {
    enterRoomPending_.store(false);
    return false;
  }
  // Pending first, then look again: a login answer handled on the job
  // thread in between either finds the flag set and asks again itself, or
  // was seen here, and then the second request goes out from here.
  enterRoomPending_.store(true);
  if (loggedIn_.load() && enterRoomPending_.exchange(false)) {
    seams_.sendMatchDetail(0, serverId);
    return false;
  }
  return true;
}

void NFHallSinkImpl::OnEventLeaveRoom(int32_t userId, uint16_t gameKind, uint16_t serverId) {
  Q_CHECK_BOUND_THREAD(launcherThread_, "launcher thread");
  QLOG(kLogTraffic, "OnEventLeaveRoom" + Words(userId, serverId, gameKind));
  gameKind_.store(0);
  serverId_.store(0);
  enterRoomPending_.store(false);
}

void NFHallSinkImpl::OnEventSignUp(int32_t userId, uint16_t gameKind, uint16_t serverId) {
  Q_CHECK_BOUND_THREAD(launcherThread_, "launcher thread");
  startPointsPaused_.store(true);
  if (closed_.load()) return;
  QLOG(kLogTraffic, "OnEventSignUp" + Words(userId, serverId, gameKind));
  seams_.sendJoin(serverId, false);
}

void NFHallSinkImpl::OnEventSignOut(int32_t userId, uint16_t gameKind, uint16_t serverId) {
  Q_CHECK_BOUND_THREAD(launcherThread_, "launcher thread");
  startPointsPaused_.store(true);
  if (closed_.load()) return;
  QLOG(kLogTraffic, "OnEventSignOut" + Words(userId, serverId, gameKind));
  seams_.sendJoin(serverId, true);
}

void NFHallSinkImpl::OnEventUserFund(const NFHallUserFund* fund) {
  Q_CHECK_BOUND_THREAD(launcherThread_, "launcher thread");
  if (fund == nullptr) return;
  std::lock_guard<std::mutex> lock(fundMutex_);
  std::memcpy(&userFund_, fund, sizeof(userFund_));
}

void NFHallSinkImpl::OnEventCloseGame() {
  Q_CHECK_BOUND_THREAD(launcherThread_, "launcher thread");
  QLOG(kLogTraffic, "OnEventCloseGame");
  gameKind_.store(0);
  serverId_.store(0);
  // Only the first close ends the games and stops the frame.
  if (closed_.exchange(true)) return;
  if (started_.load()) seams_.stopGateClient();
  if (seams_.closePauseMs > 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(seams_.closePauseMs));
  }
}

NFHallUserFund NFHallSinkImpl::UserFund() {
  std::lock_guard<std::mutex> lock(fundMutex_);
  return userFund_;
}

// --- job thread ----------------------------------------------------------------

void NFHallSinkImpl::FrameHookImpl::OnFrameTimer() {
  Q_CHECK_FRAME_JOB_THREAD(bsc::GetClientFrame());
  if (sink->planId_.load() != 0 && sink->serverId_.load() != 0) sink->QueryStartPoint();
}

void NFHallSinkImpl::QueryStartPoint() {
  Q_CHECK_FRAME_JOB_THREAD(bsc::GetClientFrame());
  const uint32_t now = seams_.tickCount();
  if (now - lastStartPointQuery_.load() < kStartPointIntervalMs) return;
  lastStartPointQuery_.store(now);
  if (startPointsPaused_.load()) return;
  const uint32_t planId = planId_.load();
  seams_.sendDisplayPlanUpdate(planId);
  QLOG(kLogTraffic, "发送 开赛点数据查询:planid=" + std::to_string(planId));
}

void NFHallSinkImpl::DispatchCommand(bs::CMD_base* cmd) {
  Q_CHECK_FRAME_JOB_THREAD(bsc::GetClientFrame());
  if (cmd == nullptr) return;
  switch (cmd->kind) {
    case bs::kCmdKindClient:
      clientTable.Dispatch(cmd);
      break;
    case bs::kCmdKindMatch:
      matchTable.Dispatch(cmd);
      break;
    case bs::kCmdKindHall:
      hallTable.Dispatch(cmd);
      break;
    case bs::kCmdKindLocalHall:
      OnLocalCommand(cmd);
      break;
    default:
      break;
  }
}

void NFHallSinkImpl::PostLocalCommand(uint16_t code) {
  auto* cmd = new bs::CMD_base(bs::kCmdKindLocalHall, code);
  cmd->AttachDeleteHandler();
  if (!seams_.post(cmd)) cmd->handler->Release();  // not taken: ours to free
}

void NFHallSinkImpl::SendSocket(uint16_t kind, uint16_t server, uint16_t main, uint16_t sub,
                                const std::vector<uint8_t>& body) {
  INFHallControl* control = control_.load();
  if (control == nullptr) return;
  control->SendSocketData(kind, server, main, sub, body.data(), static_cast<uint16_t>(body.size()));
}

void NFHallSinkImpl::OnLoginRsp(bs::CMD_base* cmd) {
  auto* rsp = dynamic_cast<bs::CMD_Client_LoginRsp*>(cmd);
  if (rsp == nullptr || rsp->msg.login_result() != 0) return;
  loggedIn_.store(true);
  if (enterRoomPending_.exchange(false)) seams_.sendMatchDetail(0, serverId_.load());
}

void NFHallSinkImpl::OnQueryFundRsp(bs::CMD_base* cmd) {
  auto* rsp = dynamic_cast<bs::CMD_Client_QueryFundRsp*>(cmd);
  if (rsp == nullptr) return;
  const uint64_t own = static_cast<uint32_t>(userId_.load());
  if (rsp->msg.user_id() != own || rsp->msg.fund_items_size() == 0) return;
  NFHallUserFund block;
  bool matched = false;
  {
    std::lock_guard<std::mutex> lock(fundMutex_);
    for (const auto& item : rsp->msg.fund_items()) {
      if (item.id() == 10) {
        userFund_.count10 = item.count();
        matched = true;
      } else if (item.id() == 11) {
        userFund_.count11 = static_cast<uint32_t>(item.count());
        matched = true;
      }
    }
    block = userFund_;  // sent from a copy: never torn by a lobby update
  }
  if (!matched) return;
  if (INFHallControl* control = control_.load()) {
    control->SendProcessData(kMainFund, kSubFund, &block, sizeof(block));
  }
}

void NFHallSinkImpl::OnJoinRsp(bs::CMD_base* cmd) {
  auto* rsp = dynamic_cast<bs::CMD_Match_JoinRsp*>(cmd);
  if (rsp == nullptr) return;
  const auto& m = rsp->msg;
  startPointsPaused_.store(true);
  const uint16_t kind = static_cast<uint16_t>(m.game_kind());
  const uint16_t server = static_cast<uint16_t>(cmd->route.src_appid);
  SendSocket(kind, server, kMainStartPoint, kSubStartPoint,
             StartPointBlock(m.field_10(), m.field_9()));
  const int result = static_cast<int>(m.result());
  if (JoinResultSendsText(m.withdraw(), result)) {
    SendSocket(kind, server, kMainText, kSubText, TextBlock(m.field_3()));
    return;
  }
  SendSocket(kind, server, kMainSignState, kSubSignState,
             SignStateBlock(userId_.load(), JoinStateCode(m.withdraw(), result, m.plan_type())));
}

void NFHallSinkImpl::OnMatchPrize(bs::CMD_base* cmd) {
  auto* prize = dynamic_cast<bs::CMD_Match_MatchPrize*>(cmd);
  INFHallControl* control = control_.load();
  if (prize == nullptr || control == nullptr) return;
  control->SendSocketData(static_cast<uint16_t>(prize->msg.field_7()),
                          static_cast<uint16_t>(prize->msg.field_8()), kMainMatchEvent,
                          kSubMatchEvent);
}

void NFHallSinkImpl::OnPlayerEndOneMatch(bs::CMD_base* cmd) {
  auto* end = dynamic_cast<bs::CMD_Match_PlayerEndOneMatch*>(cmd);
  INFHallControl* control = control_.load();
  if (end == nullptr || control == nullptr) return;
  control->SendSocketData(static_cast<uint16_t>(end->msg.field_6()),
                          static_cast<uint16_t>(end->msg.field_5()), kMainMatchEvent,
                          kSubMatchEvent);
}

void NFHallSinkImpl::OnPlanAllStartPoint(bs::CMD_base* cmd) {
  auto* msg = dynamic_cast<bs::CMD_Hall_PlanAllStartPoint*>(cmd);
  if (msg == nullptr) return;
  if (msg->msg.plan_id() != planId_.load() || msg->msg.start_points_size() == 0) return;
  bs::hallclient::startPointItem first;
  if (!first.ParseFromString(msg->msg.start_points(0))) return;
  uint32_t players = first.player_count();
  uint32_t signs = first.current_sign();
  for (const std::string& bytes : msg->msg.start_points()) {
    bs::hallclient::startPointItem item;
    if (!item.ParseFromString(bytes)) continue;
    if (item.start_flag() == bs::hallclient::startPointItem::SIGNUP_ALLOW) {
      players = item.player_count();
      signs = item.current_sign();
      break;
    }
  }
  SendSocket(gameKind_.load(), serverId_.load(), kMainStartPoint, kSubStartPoint,
             StartPointBlock(players, signs));
}

void NFHallSinkImpl::OnGetMatchDetailRsp(bs::CMD_base* cmd) {
  auto* rsp = dynamic_cast<bs::CMD_Hall_GetMatchDetailRsp*>(cmd);
  if (rsp == nullptr || !rsp->msg.has_detail_titlematch()) return;
  bs::hallclient::TitleMatchItem item;
  if (!item.ParseFromString(rsp->msg.detail_titlematch())) return;
  if (item.app_id() != serverId_.load()) return;
  planId_.store(item.plan_id());
  QueryStartPoint();
  const uint16_t kind = static_cast<uint16_t>(item.game_kind());
  const uint16_t server = static_cast<uint16_t>(item.app_id());
  SendSocket(kind, server, kMainTitle, kSubTitle, TitleBlock(item));
  SendSocket(kind, server, kMainFee, kSubFee, FeeBlock(item));
  for (const auto& prize : item.plan_prizes()) {
    if (prize.prize_type() != 0) continue;
    SendSocket(kind, server, kMainPrize, kSubPrize, PrizeBlock(prize));
  }
  std::printf("prize info %d\n", static_cast<int>(seams_.tickCount()));
  std::fflush(stdout);
  if (INFHallControl* control = control_.load()) {
    control->SendSocketData(kind, server, kMainPrizeEnd, kSubPrizeEnd);
  }
}

void NFHallSinkImpl::OnLocalCommand(bs::CMD_base* cmd) {
  INFHallControl* control = control_.load();
  if (control == nullptr) return;
  if (cmd->subid == 199) control->SendProcessData(kMainGameNotice, kSubGameExited);
  if (cmd->subid == 200) control->SendProcessData(kMainGameNotice, kSubGameRegistered);
}

}  // namespace nfhall

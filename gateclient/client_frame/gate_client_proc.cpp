#include "gateclient/client_frame/gate_client_proc.h"

#include <memory>

#include "gateclient/client_frame/client_frame.h"
#include "gateclient/client_frame/client_requests.h"
#include "gateclient/settings/gate_log.h"
#include "netcore/command/lambda_function.h"

namespace bsc {

namespace {

constexpr uint32_t kCipherEncryptInfo = 1;  // HelloRsp rsp_flag bits
constexpr uint32_t kCipherLoginToken = 4;
const char kKeySuffix[] = "lorx73@@";

bool Fits16(uint32_t v) { return v <= 0xFFFFu; }

}  // namespace

struct GateClientProc::LoginJob {
  GateClientProc* proc;
  LoginUser user;
};

GateClientProc::GateClientProc(ClientFrame& frame) : frame_(frame) {
  gateTable.owner = this;
  matchTable.owner = this;
  hallTable.owner = this;
}

GateClientProc::~GateClientProc() {
  for (auto& entry : matchDetails) {
    if (entry.second != nullptr && entry.second->handler != nullptr)
      entry.second->handler->Release();
  }
  matchDetails.clear();
}

void GateClientProc::Register() {
  AddGateLogSink();
  gateTable.Register(bs::CMD_Gate_PulseReq::kSubid, &GateClientProc::OnPulseReq);
  gateTable.Register(bs::CMD_Gate_PulseRsp::kSubid, &GateClientProc::OnNothing);
  gateTable.Register(bs::CMD_Gate_TransferDataReq::kSubid, &GateClientProc::OnTransferDataReq);
  gateTable.Register(bs::CMD_Gate_TransferDataRsp::kSubid, &GateClientProc::OnNothing);
  gateTable.Register(bs::CMD_Gate_AuthInfo::kSubid, &GateClientProc::OnNothing);
  gateTable.Register(6, &GateClientProc::OnNothing);  // LoginToken
  gateTable.Register(bs::CMD_Gate_HelloRsp::kSubid, &GateClientProc::OnHelloRsp);
  matchTable.Register(bs::CMD_Match_JoinRsp::kSubid, &GateClientProc::OnJoinRsp);
  matchTable.Register(bs::CMD_Match_MatchStart::kSubid, &GateClientProc::OnNothing);
  hallTable.Register(bs::CMD_Hall_GetMatchDetailRsp::kSubid, &GateClientProc::OnGetMatchDetailRsp);
  factories[bs::kCmdKindMatch] = &CreateMatchCmd;
  factories[bs::kCmdKindHall] = &CreateHallCmd;
  factories[bs::kCmdKindClient] = &CreateClientCmd;
  factories[bs::kCmdKindUserInfo] = &CreateUserInfoCmd;
}

bs::CMD_base* GateClientProc::CreateCmd(uint32_t kind, uint32_t subid, const std::string& bytes) {
  const auto it =
      Fits16(kind) && Fits16(subid) ? factories.find(static_cast<uint16_t>(kind)) : factories.end();
  if (it == factories.end()) {
    QLOG(kLogError,
         "创建失败：报文:cmd_kind=" + std::to_string(kind) + ",cmdid=" + std::to_string(subid));
    return nullptr;
  }
  bs::CMD_base* cmd = it->second(static_cast<uint16_t>(kind), static_cast<uint16_t>(subid), bytes);
  if (cmd != nullptr) cmd->body = bytes;
  return cmd;
}

// --- gate commands ------------------------------------------------------------

void GateClientProc::OnGateCmd(bs::CMD_base* cmd) {
  Q_CHECK_FRAME_JOB_THREAD(&frame_);
  if (cmd == nullptr || cmd->kind != bs::kCmdKindGate) return;
  frame_.Pane("收到报文0,kind=gate,id=" + std::to_string(cmd->subid) + "\n");
  gateTable.Dispatch(cmd);
}

void GateClientProc::OnPulseReq(bs::CMD_base* cmd) {
  auto* req = static_cast<bs::CMD_Gate_PulseReq*>(cmd);
  bs::CMD_Gate_PulseRsp rsp;
  if (req->msg.has_speed_data()) rsp.msg.set_speed_data(req->msg.speed_data());
  if (req->msg.has_attached_data()) rsp.msg.set_attachd_data(req->msg.attached_data());
  rsp.route = req->route;
  frame_.SendCmd(&rsp);
  QLOG(kLogTraffic, " #HeartBeat Rsp");
}

void GateClientProc::OnHelloRsp(bs::CMD_base* cmd) {
  const auto& rsp = static_cast<bs::CMD_Gate_HelloRsp*>(cmd)->msg;
  if ((rsp.rsp_flag() & kCipherEncryptInfo) != 0) {
    login.cipherKey = rsp.encrypt_key() + kKeySuffix;
    auto cipher = std::make_shared<CBlowfish>();
    cipher->SetKey(login.cipherKey.data(), static_cast<unsigned>(login.cipherKey.size()));
    // The previous cipher goes when the last sender holding it is done.
    login.cipher = std::move(cipher);
    frame_.PublishCipher(login.cipher);
  }
  if ((rsp.rsp_flag() & kCipherLoginToken) != 0) login.loginToken = rsp.login_token();
  login.loginState.store(kLoginHelloAnswered);
  // Each hello answer gets its own login.
  login.loginPending = false;
  if (login.autoLogin) TrySendLogin();
}

void GateClientProc::OnTransferDataReq(bs::CMD_base* cmd) {
  auto* req = static_cast<bs::CMD_Gate_TransferDataReq*>(cmd);
  const auto& m = req->msg;
  if (!Fits16(m.data_cmd_kind()) || !Fits16(m.data_cmd_subid())) {
    // Cut to 16 bits it would name another command: drop it whole.
    QLOG(kLogError, "创建失败：报文:cmd_kind=" + std::to_string(m.data_cmd_kind()) +
                        ",cmdid=" + std::to_string(m.data_cmd_subid()));
    return;
  }
  TransferInfo info;
  info.data = m.data();
  info.kind = static_cast<int32_t>(m.data_cmd_kind());
  info.subid = static_cast<int32_t>(m.data_cmd_subid());
  info.apptype = m.att_apptype();
  info.appid = m.att_appid();
  info.session = m.att_sessionid();
  info.route = req->route;
  info.route.src_apptype = m.att_apptype();
  info.route.src_appid = m.att_appid();
  frame_.Pane("收到报文1,kind=" + std::to_string(info.kind) + ",id=" + std::to_string(info.subid) +
              "\n");

  bs::CMD_base* inner = CreateCmd(m.data_cmd_kind(), m.data_cmd_subid(), m.data());
  if (inner == nullptr) {
    Deliver(nullptr, m.att_sessionid(), info);
    return;
  }
  inner->route = req->route;
  inner->route.src_appid = m.att_appid();
  inner->route.src_apptype = m.att_apptype();
  inner->AttachDeleteHandler();
  Deliver(inner, m.att_sessionid(), info);
  QLOG(kLogTraffic, "--收到转发报文:cmd_kind=" + std::to_string(inner->kind) +
                        ",cmdid=" + std::to_string(inner->subid) +
                        ",src_appid=" + std::to_string(inner->route.src_appid) +
                        ",src_apptype=" + std::to_string(inner->route.src_apptype));
  inner->handler->Release();
}

// --- unwrapping and dispatch ------------------------------------------------------

void GateClientProc::Deliver(bs::CMD_base* cmd, uint64_t session, const TransferInfo& info) {
  if (cmd != nullptr && cmd->kind == bs::kCmdKindClient &&
      cmd->subid == bs::CMD_Client_PackedMessage::kSubid) {
    if (auto* bundle = dynamic_cast<bs::CMD_Client_PackedMessage*>(cmd)) {
      DeliverBundle(*bundle, session);
      return;
    }
  }
  Dispatch(cmd, session, info);
}

void GateClientProc::DeliverBundle(bs::CMD_Client_PackedMessage& bundle, uint64_t session) {
  const auto& m = bundle.msg;
  const std::string from = ",srcappid=" + std::to_string(bundle.route.src_appid) +
                           ",srcapptype=" + std::to_string(bundle.route.src_apptype);
  QLOG(kLogDetail, "收到打包报文:seq=" + std::to_string(m.sequence()) +
                       ",session=" + std::to_string(m.att_sessionid()) +
                       ",appsession=" + std::to_string(session) + from);
  int n = m.cmd_kind_size();
  if (m.cmd_subid_size() < n) n = m.cmd_subid_size();
  if (m.cmd_data_size() < n) n = m.cmd_data_size();
  for (int i = 0; i < n; ++i) {
    const uint32_t kind = m.cmd_kind(i);
    const uint32_t subid = m.cmd_subid(i);
    if (!Fits16(kind) || !Fits16(subid)) {
      QLOG(kLogError,
           "创建失败：报文:cmd_kind=" + std::to_string(kind) + ",cmdid=" + std::to_string(subid));
      continue;
    }
    TransferInfo item;
    item.data = m.cmd_data(i);
    item.kind = static_cast<int32_t>(kind);
    item.subid = static_cast<int32_t>(subid);
    item.apptype = m.my_apptype();
    item.appid = m.my_appid();
    item.session = m.att_sessionid();
    item.route = bundle.route;
    item.route.src_apptype = m.my_apptype();
    item.route.src_appid = m.my_appid();

    bs::CMD_base* cmd = CreateCmd(kind, subid, item.data);
    if (cmd != nullptr) {
      cmd->route = bundle.route;
      cmd->route.src_appid = m.my_appid();
      cmd->route.src_apptype = m.my_apptype();
      cmd->AttachDeleteHandler();
      Dispatch(cmd, m.att_sessionid(), item);
      cmd->handler->Release();
    } else {
      QLOG(kLogDetail, "收到的报文是新的:cmdkind=" + std::to_string(kind) + ",cmdsubid=" +
                           std::to_string(subid) + ",appsession=" + std::to_string(session) + from);
      Dispatch(nullptr, session, item);
    }
  }
}

void GateClientProc::Dispatch(bs::CMD_base* cmd, uint64_t session, const TransferInfo& info) {
  Q_CHECK_FRAME_JOB_THREAD(&frame_);
  frame_.Pane("收到报文,kind=" + std::to_string(info.kind) + ",id=" + std::to_string(info.subid) +
              "\n");
  if (cmd != nullptr) frame_.GetPublisher().Process(cmd, 0);
  IGameRegistryHook* registry = frame_.Registry();
  switch (info.kind) {
    case bs::kCmdKindClient:
      if (cmd != nullptr && cmd->kind == bs::kCmdKindClient) {
        if (cmd->subid == bs::CMD_Client_LoginRsp::kSubid) {
          if (auto* rsp = dynamic_cast<bs::CMD_Client_LoginRsp*>(cmd)) OnLoginRsp(*rsp);
        } else if (cmd->subid == bs::CMD_Client_LogoutRsp::kSubid) {
          auto* rsp = dynamic_cast<bs::CMD_Client_LogoutRsp*>(cmd);
          if (rsp != nullptr && rsp->msg.logout_reason() == bs::client::LogoutRsp::AnotherLogin) {
            frame_.SetLoggedInElsewhere();
            frame_.Pane("被顶号了.");
          }
        }
      }
      if (registry != nullptr) registry->ForwardToPlanOrAll(cmd, session, info);
      break;
    case bs::kCmdKindMatch:
      if (cmd != nullptr) matchTable.Dispatch(cmd);
      if (registry != nullptr) registry->OnLaunchCommand(cmd, session, info);
      break;
    case bs::kCmdKindHall:
      if (cmd != nullptr) hallTable.Dispatch(cmd);
      if (registry != nullptr) registry->ForwardToPlan(cmd, session, info);
      break;
    default:
      break;
  }
  if (cmd != nullptr) {
    if (IHallSinkHook* sink = frame_.HallSink()) sink->DispatchCommand(cmd, session);
  }
}

// --- client, match and hall handlers ---------------------------------------------

void GateClientProc::OnLoginRsp(bs::CMD_Client_LoginRsp& rsp) {
  login.lastLoginRsp.CopyFrom(rsp);
  const bool ok = rsp.msg.login_result() == 0;
  if (ok) {
    login.baseInfo.ParseFromString(rsp.msg.base_info_buff());
    login.extraInfo.ParseFromString(rsp.msg.extra_info_buff());
    login.sessionInfo.ParseFromString(rsp.msg.session_info_buff());
    frame_.Pane("收到登录结果:ok");
    QLOG(kLogLifeCycle, "登录成功ok");
  } else {
    frame_.Pane("收到登录结果:fail");
    QLOG(kLogLifeCycle, "登录失败了");
  }
  login.loginPending = false;
  // Stored in this order for readers on other threads: one that sees the
  // answered flag sees its outcome, and one that sees the new state sees
  // both.
  login.loginOk.store(ok);
  login.loginAnswered.store(true);
  login.loginState.store(ok ? kLoginLoggedIn : kLoginFailed);
  if (ok) frame_.OnLoggedIn();
}

void GateClientProc::OnJoinRsp(bs::CMD_base* cmd) {
  auto* rsp = dynamic_cast<bs::CMD_Match_JoinRsp*>(cmd);
  if (rsp == nullptr) return;
  const auto& m = rsp->msg;
  const std::string plan = std::to_string(static_cast<uint64_t>(m.plan_id()));
  if (m.result() != 0) {
    frame_.Pane("报名失败");
    QLOG(kLogLifeCycle, (m.withdraw() ? " #退赛失败! planid=" : " #报名失败! planid=") + plan +
                            ",result=" + std::to_string(static_cast<int>(m.result())));
  } else {
    frame_.Pane("报名成功,gamekind=" + std::to_string(m.game_kind()) + ",planid=" + plan +
                ",plantype=" + std::to_string(m.plan_type()) + "\n");
    QLOG(kLogLifeCycle, (m.withdraw() ? " #退赛成功! planid=" : " #报名成功! planid=") + plan);
  }
  if (m.has_field_3()) frame_.Pane(m.field_3());
}

void GateClientProc::OnGetMatchDetailRsp(bs::CMD_base* cmd) {
  auto* rsp = dynamic_cast<bs::CMD_Hall_GetMatchDetailRsp*>(cmd);
  if (rsp == nullptr || rsp->msg.plan_id() == 0 || rsp->handler == nullptr) return;
  auto& slot = matchDetails[rsp->msg.plan_id()];
  if (slot == rsp) return;
  if (slot != nullptr && slot->handler != nullptr) slot->handler->Release();
  rsp->handler->AddRef();
  slot = rsp;
}

bs::CMD_Hall_GetMatchDetailRsp* GateClientProc::FindMatchDetail(uint32_t planId) {
  const auto it = matchDetails.find(planId);
  return it == matchDetails.end() ? nullptr : it->second;
}

// --- connection events ---------------------------------------------------------

void GateClientProc::OnConnect(bs::CMD_base*) {
  Q_CHECK_FRAME_JOB_THREAD(&frame_);
  login.loginOk.store(false);
  login.loginAnswered.store(false);
  login.loginToken = 0;
  login.cipherKey.clear();
  login.cipher.reset();
  frame_.PublishCipher(nullptr);
  login.extraInfo.Clear();
  login.sessionInfo.Clear();
  login.loginPending = false;
  login.loginState.store(kLoginConnected);
}

void GateClientProc::OnDisconnect(bs::CMD_base* netEvent) {
  Q_CHECK_FRAME_JOB_THREAD(&frame_);
  login.loginState.store(kLoginDisconnected);
  login.loginPending = false;
  frame_.SetDisconnected();
  frame_.GetPublisher().Process(netEvent, 0);
  frame_.Pane("连接gate 断开");
  QLOG(kLogLifeCycle, "连接gate断开");
  if (IGameRegistryHook* registry = frame_.Registry()) registry->Broadcast(netEvent);
}

// --- login hand-over ------------------------------------------------------------------

bool GateClientProc::SubmitLoginUser(const LoginUser& user) {
  // The job holds its record by shared pointer: a job the job thread drops
  // unrun at Stop frees the record with the command.
  auto job = std::make_shared<LoginJob>(LoginJob{this, user});
  auto* cmd = new bs::CMD_LambdaFunction<std::shared_ptr<LoginJob>>(&RunLoginJob, 0, job);
  if (!frame_.PostToJobThread(cmd)) {
    cmd->done.store(true);  // never run off the job thread
    cmd->handler->Release();
    return false;
  }
  return true;
}

void GateClientProc::RunLoginJob(std::shared_ptr<LoginJob> job) {
  job->proc->ApplyLoginUser(job->user);
}

void GateClientProc::ApplyLoginUser(const LoginUser& user) {
  Q_CHECK_FRAME_JOB_THREAD(&frame_);
  login.user = user;
  login.loginAnswered.store(false);
  login.autoLogin = true;
  const int32_t state = login.loginState.load();
  if (state >= kLoginHelloAnswered && state < kLoginLoggedIn) TrySendLogin();
}

void GateClientProc::TrySendLogin() {
  Q_CHECK_FRAME_JOB_THREAD(&frame_);
  if (login.loginPending) return;
  if (SendLogin(frame_)) login.loginPending = true;
}

}  // namespace bsc

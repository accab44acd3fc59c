#include "gateclient/client_frame/client_requests.h"

#include <string>

#include "gateclient/client_frame/client_frame.h"
#include "gateclient/client_frame/transfer_factories.h"
#include "gateclient/settings/gate_log.h"
#include "netcore/command/cmd_subscriber.h"

namespace bsc {

namespace {

// Text fields of the user block end at their first NUL.
std::string UpToNul(const std::string& s) { return std::string(s.c_str()); }

bool SendWrapped(ClientFrame& frame, bs::CMD_base& inner) {
  bs::CMD_Gate_TransferDataReq transfer;
  WrapInTransfer(inner, transfer);
  return frame.SendCmd(&transfer);
}

}  // namespace

void WrapInTransfer(bs::CMD_base& inner, bs::CMD_Gate_TransferDataReq& transfer) {
  std::string data;
  inner.Encode(&data);
  transfer.msg.set_data(data);
  transfer.msg.set_att_apptype(inner.route.src_apptype);
  transfer.msg.set_att_appid(inner.route.src_appid);
  transfer.msg.set_data_cmd_kind(inner.kind);
  transfer.msg.set_data_cmd_subid(inner.subid);
}

bool WrapByKind(bs::CMD_base& cmd, bs::CMD_Gate_TransferDataReq& transfer) {
  if (!IsWrappable(cmd.kind, cmd.subid)) return false;
  WrapInTransfer(cmd, transfer);
  return true;
}

bool SendHello(ClientFrame& frame) {
  Q_CHECK_FRAME_JOB_THREAD(&frame);
  bs::CMD_Gate_HelloReq hello;
  hello.msg.set_ad_id(0);
  return frame.SendCmd(&hello);
}

bool SendLogin(ClientFrame& frame) {
  Q_CHECK_FRAME_JOB_THREAD(&frame);
  const LoginStat& login = frame.Session().Login();
  const LoginUser& u = login.user;
  bs::CMD_Client_LoginReq req;
  auto& m = req.msg;
  m.set_game_kind(u.gameKind);
  m.set_action_type(frame.RobotSetting() == 1 ? bs::client::LoginReq::Robot
                                              : bs::client::LoginReq::ByAccount);
  m.set_client_os(bs::types::PC);
  m.set_build_no(0);
  m.set_market_id(0);
  m.set_game_id(0);
  m.set_login_account(UpToNul(u.account));
  m.set_login_password(u.passwordDigest);
  m.set_system_version(UpToNul(u.systemSerial));
  m.set_bios_serial(UpToNul(u.biosSerial));
  m.set_cpu_serial(UpToNul(u.cpuSerial));
  m.set_hd_serial(UpToNul(u.diskSerial));
  m.set_mac_address(UpToNul(u.macAddress));
  m.set_channel_id(u.channelId);
  m.set_site_id(u.siteId);
  m.set_bar_id(u.barId);
  m.set_guid(UpToNul(u.guid));
  m.set_logon_token(login.loginToken);
  req.route.src_apptype = kAppTypeLogin;
  req.route.src_appid = kAppIdLogin;
  return SendWrapped(frame, req);
}

void SendJoinReq(ClientFrame& frame, uint32_t appId, bool withdraw) {
  bs::CMD_Match_JoinReq req;
  req.msg.set_withdraw(withdraw);
  req.route.src_apptype = kAppTypeMatch;
  req.route.src_appid = appId;
  QLOG(kLogLifeCycle, withdraw ? " 退赛请求!" : " 报名请求!");
  SendWrapped(frame, req);
}

void SendViaGate(ClientFrame& frame, bs::CMD_base& cmd) {
  bs::CMD_Gate_TransferDataReq transfer;
  if (!WrapByKind(cmd, transfer)) return;
  const std::string line = " >>>> gate 1 kind=" + std::to_string(cmd.kind) +
                           ",小类=" + std::to_string(cmd.subid) + "\n" +
                           ",appid=" + std::to_string(cmd.route.src_appid);
  QLOG(kLogLifeCycle, line);
  frame.Pane(line);
  frame.SendCmd(&transfer);
}

void SendGetMatchDetailReq(ClientFrame& frame, uint32_t planId, uint32_t appId) {
  bs::CMD_Hall_GetMatchDetailReq req;
  req.msg.set_plan_id(planId);
  req.msg.set_app_id(appId);
  req.route.src_apptype = kAppTypeHall;
  req.route.src_appid = kAppIdHall;
  SendViaGate(frame, req);
}

void SendDisplayPlanUpdateReq(ClientFrame& frame, uint32_t planId) {
  bs::CMD_Hall_DisplayPlanUpdateReq req;
  req.msg.add_array_plan_id(planId);
  req.route.src_apptype = kAppTypeHall;
  req.route.src_appid = kAppIdHall;
  SendViaGate(frame, req);
}

void SignUpByPlan(ClientFrame& frame, uint32_t planId) {
  QLOG(kLogLifeCycle, " 报名请求! plan_id=" + std::to_string(planId));
  ClientFrame* f = &frame;
  using Callback = std::function<void(bs::CMD_base*)>;
  // Not persistent: the publisher drops it after the next match detail,
  // whatever its plan id.
  auto* sub = new SubscribeCommand<Callback>([f](bs::CMD_base* cmd) {
    auto* rsp = dynamic_cast<bs::CMD_Hall_GetMatchDetailRsp*>(cmd);
    if (rsp == nullptr || !rsp->msg.has_detail_titlematch()) return;
    bs::hallclient::TitleMatchItem item;
    item.ParseFromString(rsp->msg.detail_titlematch());
    SendJoinReq(*f, item.app_id(), false);
  });
  frame.GetPublisher().Subscribe(sub, bs::CMD_Hall_GetMatchDetailRsp::kKind,
                                 bs::CMD_Hall_GetMatchDetailRsp::kSubid);
  SendGetMatchDetailReq(frame, planId, 0);
}

}  // namespace bsc

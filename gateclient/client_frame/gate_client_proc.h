// bsc::GateClientProc: the gate session. It holds the login record, answers
// the gate's pulses, takes the session key from the hello answer, logs the
// user in, unwraps commands that services behind the gate send through it
// (bundles included) and hands every received command to the publisher, its
// own handlers, the game registry and the hall sink, in that order.
// Thread safety: everything runs on the job thread except SubmitLoginUser,
// LoginState, LoginOk and LoginAnswered, which any thread may call.
// Ownership: lives inside its ClientFrame; holds one reference on each
// cached match detail; a command handed to a handler stays the caller's.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "gateclient/client_frame/login_stat.h"
#include "gateclient/client_frame/transfer_factories.h"
#include "gateclient/client_frame/transfer_info.h"
#include "netcore/command/function_array.h"
#include "netcore/command/gate_commands.h"

namespace bsc {

class ClientFrame;

class GateClientProc {
 public:
  explicit GateClientProc(ClientFrame& frame);
  GateClientProc(const GateClientProc&) = delete;
  GateClientProc& operator=(const GateClientProc&) = delete;
  ~GateClientProc();

  // Adds the gate log sink, fills the handler tables, maps kinds 13, 14, 18
  // and 23 to their factories. Before the job thread runs.
  void Register();
  // The typed command of a transferred (kind, sub-id, bytes), body set to the
  // bytes; null for an unknown kind (level-4 line), a kind or sub-id wider
  // than 16 bits (level-4 line), an unknown sub-id or bad bytes.
  bs::CMD_base* CreateCmd(uint32_t kind, uint32_t subid, const std::string& bytes);

  void OnGateCmd(bs::CMD_base* cmd);
  void OnConnect(bs::CMD_base* netEvent);
  void OnDisconnect(bs::CMD_base* netEvent);
  bs::CMD_Hall_GetMatchDetailRsp* FindMatchDetail(uint32_t planId);

  // Any thread: hands the user's data to the job thread, which stores it,
  // sets auto-login and sends the login once the hello exchange allows it
  // (at once in states 2 and 4). False when the job thread refused the post.
  bool SubmitLoginUser(const LoginUser& user);
  int32_t LoginState() const { return login.loginState.load(); }
  bool LoginOk() const { return login.loginOk.load(); }
  bool LoginAnswered() const { return login.loginAnswered.load(); }

  // Job thread: the record itself (read by the requests and the registry).
  LoginStat& Login() { return login; }
  // Job thread: sends the login unless one is outstanding on this link.
  void TrySendLogin();

  // Unwrapping and dispatch, public for the game registry's tests.
  void Deliver(bs::CMD_base* cmd, uint64_t session, const TransferInfo& info);
  void Dispatch(bs::CMD_base* cmd, uint64_t session, const TransferInfo& info);

 private:
  struct LoginJob;
  static void RunLoginJob(std::shared_ptr<LoginJob> job);
  void ApplyLoginUser(const LoginUser& user);

  void OnPulseReq(bs::CMD_base* cmd);
  void OnTransferDataReq(bs::CMD_base* cmd);
  void OnHelloRsp(bs::CMD_base* cmd);
  void OnNothing(bs::CMD_base*) {}
  void OnJoinRsp(bs::CMD_base* cmd);
  void OnGetMatchDetailRsp(bs::CMD_base* cmd);
  void OnLoginRsp(bs::CMD_Client_LoginRsp& rsp);
  void DeliverBundle(bs::CMD_Client_PackedMessage& bundle, uint64_t session);

  ClientFrame& frame_;

 public:
  std::map<uint16_t, TransferFactory> factories;
  std::map<uint32_t, bs::CMD_Hall_GetMatchDetailRsp*> matchDetails;
  LoginStat login;
  FunctionArray<GateClientProc, 8> gateTable;
  FunctionArray<GateClientProc, 48> matchTable;
  FunctionArray<GateClientProc, 100> hallTable;
};

}  // namespace bsc

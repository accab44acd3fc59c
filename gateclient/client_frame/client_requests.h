// The requests the gate client sends on its own behalf: hello, login, match
// sign-up and withdrawal, the hall queries. Requests for the services behind
// the gate travel wrapped in a TransferDataReq naming the destination
// application (login 7/2, hall 5/2, match 13/<room server id>); gate requests
// go out as they are. All end in ClientFrame::SendCmd, which drops them when
// the link is down: nothing is queued or retried.
// Thread safety: SendHello and SendLogin on the job thread only (they read
// the login record); the others from any thread.
// Ownership: every command is built on the stack.
#pragma once

#include <cstdint>

#include "netcore/command/gate_commands.h"

namespace bsc {

class ClientFrame;

// Destinations behind the gate.
enum : uint32_t {
  kAppTypeLogin = 7,
  kAppIdLogin = 2,
  kAppTypeHall = 5,
  kAppIdHall = 2,
  kAppTypeMatch = 13,
};

bool SendHello(ClientFrame& frame);
bool SendLogin(ClientFrame& frame);
void SendJoinReq(ClientFrame& frame, uint32_t appId, bool withdraw);
void SendGetMatchDetailReq(ClientFrame& frame, uint32_t planId, uint32_t appId);
void SendDisplayPlanUpdateReq(ClientFrame& frame, uint32_t planId);
void SignUpByPlan(ClientFrame& frame, uint32_t planId);
// Wraps a wrappable command (transfer_factories.h) addressed by its route's
// src_apptype/src_appid and sends it; anything else is dropped unlogged.
void SendViaGate(ClientFrame& frame, bs::CMD_base& cmd);

// Fills `transfer` from `inner`: the serialized message, the destination
// from the inner route, the inner kind and sub-id.
void WrapInTransfer(bs::CMD_base& inner, bs::CMD_Gate_TransferDataReq& transfer);
// WrapInTransfer and true for a wrappable command; false (transfer left as
// it was) otherwise.
bool WrapByKind(bs::CMD_base& cmd, bs::CMD_Gate_TransferDataReq& transfer);

}  // namespace bsc

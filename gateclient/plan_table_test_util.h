// Shared by the registry's tests (native fake and real games under Wine):
// hands the registry a match start for `plan` as the gate session does.
#pragma once

#include <cstdint>

#include "gateclient/plan_table.h"
#include "netcore/command/gate_commands.h"

namespace bsc_test {

inline void StartMatch(bsc::PlanManager& registry, uint64_t plan, uint32_t kind = 501) {
  auto* cmd = new bs::CMD_Match_MatchStart;
  cmd->msg.set_game_kind(kind);
  cmd->msg.set_match_id(31);
  cmd->msg.set_plan_id(uint32_t(plan));
  cmd->route.src_appid = 7;
  cmd->route.src_apptype = 13;
  cmd->AttachDeleteHandler();
  // What the gate session hands over with a transferred command.
  TransferInfo info;
  cmd->Encode(&info.data);
  info.kind = 14;
  info.subid = 15;
  info.session = plan;
  registry.OnLaunchCommand(cmd, plan, info);
  cmd->handler->Release();
}

}  // namespace bsc_test

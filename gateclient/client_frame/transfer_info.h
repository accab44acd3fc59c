// TransferInfo: what travels beside each command that came through the gate
// wrapped in a TransferDataReq (or inside a PackedMessage bundle), from the
// gate session to the game registry, which may forward the raw bytes.
// Thread safety: built on the job thread's stack and used there only.
// Ownership: plain value.
#pragma once

#include <cstdint>
#include <string>

#include "netcore/command/cmd_base.h"

struct TransferInfo {
  std::string data;  // the transferred message bytes as they came
  int32_t kind = 0;
  int32_t subid = 0;
  uint32_t apptype = 0;  // sender application
  uint32_t appid = 0;
  uint64_t session = 0;  // att_sessionid: the plan id for the game registry
  // The carrying command's route with src_apptype/src_appid := apptype/appid.
  bs::CmdRouteHeader route;
  // While set, the game forward builds the gate wrapper from this record.
  int32_t rebuild = 1;
};

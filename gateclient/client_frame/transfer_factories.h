// Builders of the typed commands that travel behind the gate (kinds 13, 14,
// 18 and 23) from their kind, sub-id and message bytes, and the table of
// which commands may be wrapped into a TransferDataReq: the same sets, so
// what the client can send it can also read.
// Thread safety: stateless; any thread.
// Ownership: a built command belongs to the caller (no route, no handler).
#pragma once

#include <cstdint>
#include <string>

#include "netcore/command/cmd_base.h"

namespace bsc {

// (kind, sub-id, bytes) -> a decoded command, or null for a sub-id outside
// the kind's table or bytes that do not decode (nothing is left allocated).
using TransferFactory = bs::CMD_base* (*)(uint16_t kind, uint16_t subid, const std::string& bytes);

bs::CMD_base* CreateClientCmd(uint16_t kind, uint16_t subid, const std::string& bytes);    // 13
bs::CMD_base* CreateMatchCmd(uint16_t kind, uint16_t subid, const std::string& bytes);     // 14
bs::CMD_base* CreateHallCmd(uint16_t kind, uint16_t subid, const std::string& bytes);      // 18
bs::CMD_base* CreateUserInfoCmd(uint16_t kind, uint16_t subid, const std::string& bytes);  // 23

// True when (kind, sub-id) is one of the commands the factories above build.
bool IsWrappable(uint16_t kind, uint16_t subid);

}  // namespace bsc

// Joins gate commands (kind 12, bs.gate) to the network data command that
// carries a gate frame: the factory builds a typed gate command from a
// received frame body, the encoder fills a data command from a typed one.
// Thread safety: both keep no state and may run on any thread.
// Ownership: CreateGateCmd's result belongs to the caller (no route, delay or
// handler set); EncodeGateCmd neither takes nor keeps either argument.
#pragma once

#include <cstdint>
#include <string>

#include "netcore/command/cmd_base.h"
#include "netcore/command/network_commands.h"

namespace bs {

// The gate command of `subid` decoded from `body` (checked parse), or null
// for a sub-id without a gate class (0, 6, above 8) or a body that does not
// decode; nothing is left allocated then.
CMD_base* CreateGateCmd(uint16_t subid, const std::string& body);

// Fills `out` (a freshly constructed data command): frame kind 12 and the
// command's sub-id in its header, the command's whole route, the serialized
// message as body; out's own kind/sub-id stay 9/2. False, with `out`
// untouched, when `cmd` is not one of the seven gate commands.
bool EncodeGateCmd(const CMD_base* cmd, CMDNetwork_DataMessage* out);

}  // namespace bs

// The lobby's user block (NFHallUserInfo, interface/hall/nfhall_interfaces.h)
// decoded into the gate session's login data.
// Thread safety: a pure function.
#pragma once

#include "gateclient/client_frame/login_stat.h"
#include "interface/hall/nfhall_interfaces.h"

namespace nfhall {

// The user block's fields, texts converted to UTF-8 (the digest kept as bytes).
bsc::LoginUser DecodeUserInfo(const NFHallUserInfo& info);

}  // namespace nfhall

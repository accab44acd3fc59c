#include "gateclient/client_frame/transfer_factories.h"

#include "netcore/command/gate_commands.h"

namespace bsc {
namespace {

template <class Cmd>
bs::CMD_base* Build(const std::string& bytes) {
  auto* cmd = new Cmd();
  if (!cmd->Decode(bytes)) {
    delete cmd;
    return nullptr;
  }
  return cmd;
}

#define Q_BUILD_CASE(prefix, ns, name, kind, subid) \
  case subid:                                       \
    return Build<bs::CMD_##prefix##_##name>(bytes);
#define Q_WRAP_CASE(prefix, ns, name, kind, subid) case subid:

}  // namespace

bs::CMD_base* CreateClientCmd(uint16_t, uint16_t subid, const std::string& bytes) {
  switch (subid) {
    Q_CLIENT_COMMANDS(Q_BUILD_CASE)
    default:
      return nullptr;
  }
}

bs::CMD_base* CreateMatchCmd(uint16_t, uint16_t subid, const std::string& bytes) {
  switch (subid) {
    Q_MATCH_COMMANDS(Q_BUILD_CASE)
    default:
      return nullptr;
  }
}

bs::CMD_base* CreateHallCmd(uint16_t, uint16_t subid, const std::string& bytes) {
  switch (subid) {
    Q_HALL_COMMANDS(Q_BUILD_CASE)
    default:
      return nullptr;
  }
}

bs::CMD_base* CreateUserInfoCmd(uint16_t, uint16_t subid, const std::string& bytes) {
  switch (subid) {
    Q_USERINFO_COMMANDS(Q_BUILD_CASE)
    default:
      return nullptr;
  }
}

bool IsWrappable(uint16_t kind, uint16_t subid) {
  switch (kind) {
    case bs::kCmdKindClient:
      switch (subid) {
        Q_CLIENT_COMMANDS(Q_WRAP_CASE)
        return true;
        default:
          return false;
      }
    case bs::kCmdKindMatch:
      switch (subid) {
        Q_MATCH_COMMANDS(Q_WRAP_CASE)
        return true;
        default:
          return false;
      }
    case bs::kCmdKindHall:
      switch (subid) {
        Q_HALL_COMMANDS(Q_WRAP_CASE)
        return true;
        default:
          return false;
      }
    case bs::kCmdKindUserInfo:
      switch (subid) {
        Q_USERINFO_COMMANDS(Q_WRAP_CASE)
        return true;
        default:
          return false;
      }
    default:
      return false;
  }
}

#undef Q_BUILD_CASE
#undef Q_WRAP_CASE

}  // namespace bsc

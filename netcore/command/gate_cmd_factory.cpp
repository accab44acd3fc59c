#include "netcore/command/gate_cmd_factory.h"

#include <cstring>
#include <memory>
#include <new>

#include "netcore/command/gate_commands.h"

namespace bs {

namespace {

template <class Cmd>
CMD_base* MakeDecoded(const std::string& body) {
  // Commands are zero-filled before construction, so even bytes no member
  // covers are zero. CommonDeleteHandler frees them with plain delete, which
  // matches the global operator new used here.
  void* storage = ::operator new(sizeof(Cmd));
  std::memset(storage, 0, sizeof(Cmd));
  std::unique_ptr<Cmd> cmd(new (storage) Cmd());
  if (!cmd->Decode(body)) return nullptr;
  return cmd.release();
}

template <class Cmd>
bool Encode(const CMD_base* cmd, CMDNetwork_DataMessage* out) {
  // Kind and sub-id only say which class the command claims to be; a command
  // of another class carrying them is refused instead of misread.
  const auto* typed = dynamic_cast<const Cmd*>(cmd);
  if (typed == nullptr) return false;
  typed->ToDataMessage(out);  // serializing a supported message cannot fail
  return true;
}

}  // namespace

CMD_base* CreateGateCmd(uint16_t subid, const std::string& body) {
  switch (subid) {
    case CMD_Gate_PulseReq::kSubid:
      return MakeDecoded<CMD_Gate_PulseReq>(body);
    case CMD_Gate_PulseRsp::kSubid:
      return MakeDecoded<CMD_Gate_PulseRsp>(body);
    case CMD_Gate_TransferDataReq::kSubid:
      return MakeDecoded<CMD_Gate_TransferDataReq>(body);
    case CMD_Gate_TransferDataRsp::kSubid:
      return MakeDecoded<CMD_Gate_TransferDataRsp>(body);
    case CMD_Gate_AuthInfo::kSubid:
      return MakeDecoded<CMD_Gate_AuthInfo>(body);
    case CMD_Gate_HelloReq::kSubid:
      return MakeDecoded<CMD_Gate_HelloReq>(body);
    case CMD_Gate_HelloRsp::kSubid:
      return MakeDecoded<CMD_Gate_HelloRsp>(body);
    default:
      return nullptr;
  }
}

bool EncodeGateCmd(const CMD_base* cmd, CMDNetwork_DataMessage* out) {
  if (cmd == nullptr || out == nullptr) return false;
  if (cmd->kind != kCmdKindGate) return false;
  switch (cmd->subid) {
    case CMD_Gate_PulseReq::kSubid:
      return Encode<CMD_Gate_PulseReq>(cmd, out);
    case CMD_Gate_PulseRsp::kSubid:
      return Encode<CMD_Gate_PulseRsp>(cmd, out);
    case CMD_Gate_TransferDataReq::kSubid:
      return Encode<CMD_Gate_TransferDataReq>(cmd, out);
    case CMD_Gate_TransferDataRsp::kSubid:
      return Encode<CMD_Gate_TransferDataRsp>(cmd, out);
    case CMD_Gate_AuthInfo::kSubid:
      return Encode<CMD_Gate_AuthInfo>(cmd, out);
    case CMD_Gate_HelloReq::kSubid:
      return Encode<CMD_Gate_HelloReq>(cmd, out);
    case CMD_Gate_HelloRsp::kSubid:
      return Encode<CMD_Gate_HelloRsp>(cmd, out);
    default:
      return false;
  }
}

}  // namespace bs

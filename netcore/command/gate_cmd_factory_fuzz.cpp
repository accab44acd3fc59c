// libFuzzer target for the gate command factory: any sub-id and body of a
// kind-12 frame gives a typed gate command or null, never a crash; a command
// it builds encodes into a data command of the same kind and sub-id whose
// body builds the same message again. (The commands behind the gate, kinds
// 13, 14, 18 and 23, are built by the gate session's factories and fuzzed
// with the transfer unwrapping in gateclient/client_frame.)
// Input: sub-id (2 bytes, big-endian), then the body.
// Native only; built in the fuzz tree and run by scripts/fuzz.sh.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "netcore/command/gate_cmd_factory.h"
#include "netcore/command/gate_commands.h"

namespace {

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 2) return 0;
  const uint16_t subid = uint16_t(data[0] << 8 | data[1]);
  const std::string body(reinterpret_cast<const char*>(data + 2), size - 2);
  std::unique_ptr<bs::CMD_base> cmd(bs::CreateGateCmd(subid, body));
  if (!cmd) return 0;
  Check(cmd->kind == bs::kCmdKindGate && cmd->subid == subid, "built command's kind or sub-id");
  Check(cmd->handler == nullptr && cmd->delay == 0, "built command carries a handler or delay");

  bs::CMDNetwork_DataMessage wire;
  Check(bs::EncodeGateCmd(cmd.get(), &wire), "a built gate command does not encode");
  Check(wire.header.kind == bs::kCmdKindGate && wire.header.subid == subid,
        "encoded frame's kind or sub-id");
  std::unique_ptr<bs::CMD_base> again(bs::CreateGateCmd(subid, wire.body));
  Check(again != nullptr, "an encoded gate command does not decode");
  bs::CMDNetwork_DataMessage wire2;
  Check(bs::EncodeGateCmd(again.get(), &wire2) && wire2.body == wire.body,
        "decode(encode(command)) is another message");
  return 0;
}

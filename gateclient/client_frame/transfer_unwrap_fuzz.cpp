// libFuzzer target for what the gate session does with a received gate
// command: the gate command factory on the frame's sub-id and body, the
// transfer handler's unwrapping of the carried command by its kind, sub-id
// and bytes, PackedMessage bundles and the handlers they reach. Run on a
// client frame that is not started (no link, no job thread: the fuzzer's
// thread plays the job thread; sends find no link and return false).
// Input: a mode byte; even: kind (u16 BE), sub-id (u16 BE), session (u64 BE)
// and the rest as the carried bytes of a TransferDataReq; odd: sub-id
// (u16 BE) and the rest as a gate frame's body.
// Native only; built in the fuzz tree and run by scripts/fuzz.sh.
#include <cstdint>
#include <memory>
#include <string>

#include "gateclient/client_frame/client_frame.h"
#include "gateclient/settings/gate_log.h"
#include "netcore/command/gate_cmd_factory.h"
#include "netcore/command/gate_commands.h"

namespace {

bsc::ClientFrame* g_frame = nullptr;

uint64_t Be(const uint8_t* p, int n) {
  uint64_t v = 0;
  for (int i = 0; i < n; ++i) v = v << 8 | p[i];
  return v;
}

void Deliver(bs::CMD_base* cmd) {
  cmd->route.conn_id = 1;
  cmd->AttachDeleteHandler();
  g_frame->Session().OnGateCmd(cmd);
  cmd->handler->Release();
}

// Cached match details are kept per plan: drop them so memory stays flat
// over millions of inputs.
void ForgetInput() {
  auto& cache = g_frame->Session().matchDetails;
  for (auto& entry : cache) {
    if (entry.second != nullptr && entry.second->handler != nullptr) {
      entry.second->handler->Release();
    }
  }
  cache.clear();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  g_frame = new bsc::ClientFrame();
  g_frame->Session().Register();
  GetLogSinks().clear();  // no log file: the lines are built, not written
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  if ((data[0] & 1) == 0) {
    if (size < 13) return 0;
    auto* req = new bs::CMD_Gate_TransferDataReq();
    req->msg.set_data_cmd_kind(uint32_t(Be(data + 1, 2)));
    req->msg.set_data_cmd_subid(uint32_t(Be(data + 3, 2)));
    req->msg.set_att_sessionid(Be(data + 5, 8));
    req->msg.set_att_apptype(13);
    req->msg.set_att_appid(1);
    req->msg.set_data(std::string(reinterpret_cast<const char*>(data + 13), size - 13));
    Deliver(req);
  } else {
    const uint16_t subid = uint16_t(Be(data + 1, 2));
    bs::CMD_base* cmd =
        bs::CreateGateCmd(subid, std::string(reinterpret_cast<const char*>(data + 3), size - 3));
    if (cmd != nullptr) Deliver(cmd);
  }
  ForgetInput();
  return 0;
}

// The native tree has no game processes: its process layer opens no channel,
// so no game is started and nothing is ever forwarded. The registry's logic
// above this layer builds the same way in both trees and is tested natively
// against a fake layer (fake_game_env_test_util.h).
#include <unistd.h>

#include "gateclient/game_env.h"

namespace bsc {
namespace {

class NoGameEnv final : public GameEnv {
 public:
  int32_t ProcessId() override { return int32_t(getpid()); }
  std::string ProgramFolder() override { return "./"; }
  std::unique_ptr<GameChannel> OpenChannel(int32_t, uint64_t, IWinIpcCallback*) override {
    return nullptr;
  }
  std::unique_ptr<GameProcess> StartProcess(const std::string&, const std::string&) override {
    return nullptr;
  }
};

}  // namespace

GameEnv* DefaultGameEnv() {
  static NoGameEnv env;
  return &env;
}

}  // namespace bsc

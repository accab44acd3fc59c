#include "nfhall/hall_startup.h"

#include <cstdlib>
#include <ctime>

#include "gateclient/client_frame/client_frame.h"
#include "gateclient/gate_config.h"
#include "gateclient/plan_table.h"
#include "netcore/port/platform.h"
#include "nfhall/nfhall_impl.h"

namespace nfhall {

namespace {
std::atomic<bool> g_dialogShown{false};
}

StartupLinks& GetStartupLinks() {
  // The game registry is always there; the debug dialog joins when it exists.
  static StartupLinks links = [] {
    StartupLinks l;
    l.createGameRegistry = bsc::CreateGameRegistryHook;
    l.killAllGames = bsc::KillAllGames;
    return l;
  }();
  return links;
}

void StartGateClient(NFHallSinkImpl* sink) {
  std::srand(static_cast<unsigned>(std::time(nullptr)) + q_platform::TickCountMs());
  if (g_config == nullptr) {
    auto* config = new QConfig();
    config->Load();  // a missing "gateclient.ini" leaves the defaults
    g_config = config;
  }
  const StartupLinks& links = GetStartupLinks();
  bsc::IGameRegistryHook* registry =
      links.createGameRegistry != nullptr ? links.createGameRegistry() : nullptr;
  bsc::StartClientFrame();
  if (bsc::ClientFrame* frame = bsc::GetClientFrame()) {
    frame->SetHooks(registry, sink->FrameHook(), nullptr);
  }
  if (g_config->show.value == 999 && links.createDebugDialog != nullptr) {
    g_dialogShown.store(links.createDebugDialog(sink));
  }
}

void ShowDialogAccount(const std::string& ansi) {
  const StartupLinks& links = GetStartupLinks();
  if (g_dialogShown.load() && links.setDialogAccount != nullptr) links.setDialogAccount(ansi);
}

void StopGateClient() {
  const StartupLinks& links = GetStartupLinks();
  if (links.killAllGames != nullptr) links.killAllGames();
  if (bsc::ClientFrame* frame = bsc::GetClientFrame()) frame->Stop();
}

}  // namespace nfhall

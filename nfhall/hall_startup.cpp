#include "nfhall/hall_startup.h"

#include <cstdlib>
#include <ctime>

#include "gateclient/client_frame/client_frame.h"
#include "gateclient/debug_dialog.h"
#include "gateclient/plan_table.h"
#include "gateclient/settings/gate_config.h"
#include "netcore/port/platform.h"
#include "nfhall/nfhall_impl.h"

namespace nfhall {

namespace {
std::atomic<bool> g_dialogShown{false};
}

StartupLinks& GetStartupLinks() {
  static StartupLinks links = [] {
    StartupLinks l;
    l.createGameRegistry = bsc::CreateGameRegistryHook;
    l.killAllGames = bsc::KillAllGames;
    l.createDebugDialog = [](NFHallSinkImpl*) { return bsc::ShowDebugDialog(); };
    l.setDialogAccount = bsc::SetDebugDialogAccount;
    l.dialogPane = bsc::DebugDialogPane;
    l.stopDialogLogin = bsc::StopDebugDialogLogin;
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
  // The progress lines reach the dialog's pane only while it is shown.
  const bool show = g_config->show.value == 999 && links.createDebugDialog != nullptr;
  bsc::StartClientFrame();
  if (bsc::ClientFrame* frame = bsc::GetClientFrame()) {
    frame->SetHooks(registry, sink->FrameHook(), show ? links.dialogPane : nullptr);
  }
  if (show) {
    g_dialogShown.store(links.createDebugDialog(sink));
  }
}

void ShowDialogAccount(const std::string& ansi) {
  const StartupLinks& links = GetStartupLinks();
  if (g_dialogShown.load() && links.setDialogAccount != nullptr) links.setDialogAccount(ansi);
}

void StopGateClient() {
  const StartupLinks& links = GetStartupLinks();
  if (links.stopDialogLogin != nullptr) links.stopDialogLogin();
  if (links.killAllGames != nullptr) links.killAllGames();
  if (bsc::ClientFrame* frame = bsc::GetClientFrame()) frame->Stop();
}

}  // namespace nfhall

// The creation points of the pieces the sink's start-up brings up beside the
// client frame: the game registry (PlanManager) and the debug dialog. Each
// is a function pointer, read by SetHallControl; an empty pointer skips that
// piece. They are PlanManager's and the debug dialog's (bsc::ShowDebugDialog
// and its peers; none in the native build) unless a test replaces them.
// Thread safety: fill before SetHallControl, read on the launcher's thread.
// Ownership: the pieces own what they create; nothing here frees anything.
#pragma once

#include <string>

#include "gateclient/client_frame/gate_hooks.h"

namespace nfhall {

class NFHallSinkImpl;

struct StartupLinks {
  // Creates the game registry once and returns the hook the client frame
  // calls with match, hall and client commands (null: none).
  bsc::IGameRegistryHook* (*createGameRegistry)() = nullptr;
  // Ends every launched game (close game, before the frame stops).
  void (*killAllGames)() = nullptr;
  // Creates and shows the debug dialog ([ui] show == 999); true when shown.
  bool (*createDebugDialog)(NFHallSinkImpl* sink) = nullptr;
  // Writes the account (ANSI) into the shown dialog.
  void (*setDialogAccount)(const std::string& ansi) = nullptr;
  // The dialog's log pane for the gate session's progress lines.
  bsc::LogPaneFn dialogPane = nullptr;
  // Ends the dialog's login wait (close game, before the frame stops).
  void (*stopDialogLogin)() = nullptr;
};

StartupLinks& GetStartupLinks();

// The default start-up and close of the gate client, used by the sink
// unless a test replaces them.
void StartGateClient(NFHallSinkImpl* sink);
void StopGateClient();
// Writes the account into the debug dialog when it is shown.
void ShowDialogAccount(const std::string& ansi);

}  // namespace nfhall

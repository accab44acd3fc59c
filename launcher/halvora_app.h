// CHalvoraApp: the launcher's application object on the Korvel frame. The
// frame runs start-up and shut-down; the launcher only makes the lobby
// dialog (the factory hook). Constructing the one static instance installs
// the crash-dump filter with the launcher's file prefix "Halvora_".
// Thread safety: the program's main thread.
// Ownership: the frame owns the dialog the factory hook returns.
#pragma once

#include "platform/korvel/korvel_app.h"

class CHalvoraApp : public CKorvelApp {
 public:
  CHalvoraApp();

  CKorvelDlg* CreateLobbyDialog() override;
};

#include "launcher/halvora_app.h"

#include "launcher/halvora_dlg.h"

CHalvoraApp::CHalvoraApp() {
  // Before the program's entry: from here on a crash leaves a dump.
  // TODO crash-dump filter "Halvora_"
}

CKorvelDlg* CHalvoraApp::CreateLobbyDialog() { return new CHalvoraDlg(); }

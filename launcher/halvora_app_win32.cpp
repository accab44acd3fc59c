#include "launcher/halvora_app.h"

#include "launcher/halvora_dlg.h"
#include "shared/crash_dump/crash_dump_filter.h"

CHalvoraApp::CHalvoraApp() {
  // Before the program's entry: from here on a crash leaves a dump.
  crash_dump::InstallCrashDumpFilter("Halvora_");
}

CKorvelDlg* CHalvoraApp::CreateLobbyDialog() { return new CHalvoraDlg(); }

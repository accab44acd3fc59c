#include "gateclient/quorrel_app.h"

#include "gateclient/quorrel_resource.h"
#include "platform/mfc/message_box.h"
#include "platform/mfc/socket_init.h"
#include "shared/crash_dump/crash_dump_filter.h"

BEGIN_MESSAGE_MAP(CQuorrelApp, CWinApp)
END_MESSAGE_MAP()

CQuorrelApp::CQuorrelApp() : CWinApp("Quorrel") {}

BOOL CQuorrelApp::InitInstance() {
  crash_dump::InstallCrashDumpFilter("Quorrel_");
  CWinApp::InitInstance();
  if (!AfxSocketInit()) {
    AfxMessageBox(IDS_SOCKETS_INIT_FAILED);
    return FALSE;
  }
  return TRUE;
}

int CQuorrelApp::ExitInstance() {
  crash_dump::UninstallCrashDumpFilter();
  return CWinApp::ExitInstance();
}

// The library's one application object: constructed when Quorrel.dll is
// loaded; the framework's DllMain then runs its InitInstance.
CQuorrelApp theApp;

// CQuorrelApp: Quorrel.dll's application object. When the library is
// loaded it installs the crash-dump filter ("Quorrel_"), runs the base
// start-up and starts Windows Sockets; when that fails it shows string
// resource 101 and the load fails. When the library ends, and when its
// start fails (the framework then runs ExitInstance too), it puts back the
// crash filter it replaced: the filter's code goes with the library.
// Thread safety: runs on the thread that loads the library (loader lock).
// Ownership: one static instance (quorrel_app_win32.cpp), destroyed at unload.
#pragma once

#include "platform/mfc/win_app.h"

class CQuorrelApp : public CWinApp {
 public:
  CQuorrelApp();
  BOOL InitInstance() override;
  int ExitInstance() override;

  DECLARE_MESSAGE_MAP()
};

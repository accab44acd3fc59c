// CKorvelApp: the application class of our stand-in of the lobby frame
// library Korvel (Korvel.dll). Its InitInstance runs the whole lobby: it
// asks the program's application object for the lobby dialog (the factory
// hook), shows it, and the dialog calls its hooks (korvel_dlg.h). With
// "/script <file>" on the command line the lobby plays the script instead of
// waiting for a person, prints every block that comes back and ends with the
// script's status as the exit code (0: every wait met).
// Thread safety: the program's main thread (InitInstance and ExitInstance
// abort with a message elsewhere).
// Ownership: the frame deletes the dialog the factory made in ExitInstance.
#pragma once

#include "platform/mfc/win_app.h"

class CKorvelDlg;

class CKorvelApp : public CWinApp {
 public:
  CKorvelApp();
  ~CKorvelApp() override;

  BOOL InitInstance() override;
  int ExitInstance() override;

  // The dialog-factory hook: a new lobby dialog on the heap, or null.
  virtual CKorvelDlg* CreateLobbyDialog();

 private:
  CKorvelDlg* dialog_ = nullptr;
  int status_ = 0;

  DECLARE_MESSAGE_MAP()
};

// The frame's start for the program's WinMain: runs the application object
// that Korvel.dll's framework knows (CKorvelApp registers itself there when
// the program's static application object is constructed).
extern "C" int KorvelAppMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine,
                             int nCmdShow);

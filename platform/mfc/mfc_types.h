// The Win32 header and the few framework-wide declarations every class of
// our MFC stand-in shares (the message-map tables, the module's handles).
// Thread safety: the module state is written once while the module loads.
// Ownership: nothing here owns anything.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// Zintal.dll's exported classes derive from and hold these classes, so their
// layout does not follow the includer's packing (see
// common_services/include/zintal/zintal_api.h).
#pragma pack(push, 8)

class CCmdTarget;
class CWinApp;

// The handlers in a message map, stored as members of CCmdTarget; the
// entry's nSig says which of the two an entry holds.
typedef void (CCmdTarget::*AFX_PMSG)();
typedef LRESULT (CCmdTarget::*AFX_PMSGW)(WPARAM, LPARAM);

enum AfxSig {
  AfxSig_end = 0,  // the end of a table
  AfxSig_vv,       // void (void): commands and button clicks
  AfxSig_lwl,      // LRESULT (WPARAM, LPARAM): ON_MESSAGE
};

struct AFX_MSGMAP_ENTRY {
  UINT nMessage;  // WM_COMMAND for commands
  UINT nCode;     // the notification code (BN_CLICKED) of a command
  UINT nID;       // the control or command id; 0 for ON_MESSAGE
  UINT nLastID;
  UINT_PTR nSig;
  AFX_PMSG pfn;    // AfxSig_vv
  AFX_PMSGW pfnW;  // AfxSig_lwl
};

struct AFX_MSGMAP {
  const AFX_MSGMAP* (*pfnGetBaseMap)();
  const AFX_MSGMAP_ENTRY* lpEntries;
};

// The module this copy of the framework is linked into. Each module (the
// launcher's EXE, each DLL) links its own copy of the library, so each has
// its own application object and handles; nothing is shared between them.
CWinApp* AfxGetApp();
HINSTANCE AfxGetInstanceHandle();
// Where dialog templates and string resources are loaded from: this module.
HINSTANCE AfxGetResourceHandle();

#pragma pack(pop)

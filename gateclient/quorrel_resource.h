// Resource ids of Quorrel.dll (quorrel.rc): the debug dialog and its
// controls, and the string shown when Windows Sockets do not start.
#pragma once

#define IDS_SOCKETS_INIT_FAILED 101

#define IDD_DLGSHOW 1000
#define IDC_DLGSHOW_LOG 1000
#define IDC_DLGSHOW_ACCOUNT 1001
#define IDC_DLGSHOW_LOGIN 1002
#define IDC_DLGSHOW_MATCH_ID 1003
#define IDC_DLGSHOW_SIGN_UP 1004

// Resource ids of Korvel.dll: the lobby window's dialog template and its
// controls (korvel.rc and the dialog's code share them).
#pragma once

#define IDD_KORVEL_LOBBY 100

#define IDC_USER_ID 1001
#define IDC_ACCOUNT 1002
#define IDC_BIND_STATE 1003
#define IDC_GAME_KIND 1004
#define IDC_SERVER_ID 1005
#define IDC_ENTER 1010
#define IDC_LEAVE 1011
#define IDC_SIGNUP 1012
#define IDC_SIGNOUT 1013
#define IDC_CLOSEGAME 1014
#define IDC_BLOCKS 1020
#define IDC_STATUS 1021

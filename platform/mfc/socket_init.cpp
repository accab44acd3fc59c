#include "platform/mfc/socket_init.h"

#include <winsock2.h>

#include "platform/mfc/module_state.h"

BOOL AfxSocketInit(WSAData* data) {
  AfxModuleState& state = AfxGetModuleState();
  WSADATA local;
  WSADATA* answer = data != nullptr ? data : &local;
  if (state.socketsUp) return TRUE;
  if (::WSAStartup(MAKEWORD(2, 2), answer) != 0) return FALSE;
  if (LOBYTE(answer->wVersion) != 2 || HIBYTE(answer->wVersion) != 2) {
    ::WSACleanup();
    return FALSE;
  }
  state.socketsUp = true;
  return TRUE;
}

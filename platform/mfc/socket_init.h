// AfxSocketInit: the framework's Windows Sockets start-up for this module.
// Thread safety: the module's start-up thread (InitInstance).
// Ownership: the module's end (ExitInstance, then the framework) calls
// WSACleanup for a start-up that succeeded.
#pragma once

#include "platform/mfc/mfc_types.h"

struct WSAData;

// Starts Winsock 2.2 once for the module; false when the sockets library is
// missing or does not offer version 2.2. `data` (optional) receives the
// WSAStartup answer.
BOOL AfxSocketInit(WSAData* data = nullptr);

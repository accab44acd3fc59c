// The native build has no windows: no debug dialog.
#include "gateclient/debug_dialog.h"

namespace bsc {

bool ShowDebugDialog() { return false; }
void DebugDialogPane(const std::string&) {}
void SetDebugDialogAccount(const std::string&) {}
void StopDebugDialogLogin() {}

}  // namespace bsc

// The debug dialog's entry points for the rest of the library: DlgShow.
#include "gateclient/debug_dialog.h"

#include "gateclient/dlg_show.h"

namespace bsc {

bool ShowDebugDialog() { return GetDlgShow().Show(); }
void DebugDialogPane(const std::string& utf8) { GetDlgShow().AppendUtf8Line(utf8); }
void SetDebugDialogAccount(const std::string& ansi) { GetDlgShow().SetAccount(ansi); }
void StopDebugDialogLogin() { GetDlgShow().StopLogin(); }

}  // namespace bsc

// The gate client's debug dialog as the rest of the library sees it: shown
// by the hall sink's start-up when [ui] show is 999, fed with progress
// lines by the gate session and with the account by the hall sink, told to
// stop its login wait by close game. On Windows this is DlgShow
// (dlg_show.h); the native build has no dialog and every call does nothing.
// Thread safety: ShowDebugDialog on the launcher's thread (the dialog's
// thread from then on); the others from any thread.
// Ownership: the dialog is the library's static, destroyed at unload.
#pragma once

#include <string>

namespace bsc {

// Creates the dialog (resource 1000, no parent) and shows it; true when shown.
bool ShowDebugDialog();
// A progress line (UTF-8) on top of the log pane; dropped unless show is 999.
// Fits bsc::LogPaneFn.
void DebugDialogPane(const std::string& utf8);
// The account field (ANSI), when the dialog is shown.
void SetDebugDialogAccount(const std::string& ansi);
// Ends the login button's wait (close game): its thread stops asking the
// gate session before the client frame stops.
void StopDebugDialogLogin();

}  // namespace bsc

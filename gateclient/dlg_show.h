// DlgShow: the gate client's debug window (dialog resource 1000). A tester
// logs in with a test account, signs up for a match by id, watches the gate
// session's progress lines (newest on top) and closes everything.
// The log pane keeps the newest kPaneMaxLines lines: a new line goes in on
// top and the oldest fall off the bottom, edited in place, so a line costs
// the same however full the pane is.
// Thread safety: the window belongs to the thread that called Show (the
// launcher's); AppendLine, AppendUtf8Line, AppendWideLine, SetAccount and
// StopLogin may be called from any thread: they queue the change in this
// object and wake the window, whose thread makes it, and do nothing once the
// window is gone. The login thread holds a reference on the library, so the
// dialog outlives it.
// Ownership: one instance (GetDlgShow), destroyed when the library unloads;
// queued changes are members, so they go with it on whichever thread that is
// (the wake messages carry nothing).
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "gateclient/quorrel_resource.h"
#include "platform/mfc/dialog_ex.h"
#include "shared/thread_check/thread_check.h"

class DlgShow : public CDialogEx {
 public:
  enum { IDD = IDD_DLGSHOW };
  // Limits of the texts handed in as UTF-16 (bytes of the ANSI result).
  static constexpr size_t kMaxLineBytes = 1023;
  static constexpr size_t kMaxAccountBytes = 511;
  // How long the login button waits for the gate session's answer.
  static constexpr uint32_t kLoginWaitMs = 30000;
  // Lines the log pane keeps (a gate pulse every 15 s alone fills it in about
  // two hours); also the bound of the lines waiting for the window's thread.
  static constexpr size_t kPaneMaxLines = 500;

  DlgShow();
  ~DlgShow() override;

  // Creates the window from resource 1000 without a parent and shows it.
  bool Show();
  // The ANSI text and "\r\n" in front of the log pane's text.
  void AppendLine(const std::string& ansi);
  // UTF-8 -> UTF-16 -> ANSI, then AppendLine; only when [ui] show is 999.
  void AppendUtf8Line(const std::string& utf8);
  // UTF-16 -> ANSI (at most kMaxLineBytes bytes), then AppendLine.
  void AppendWideLine(const std::wstring& text);
  // The account field (ANSI, at most kMaxAccountBytes bytes).
  void SetAccount(const std::string& ansi);
  // Ends a running login wait; later clicks start no new one.
  void StopLogin();

 protected:
  void DoDataExchange(CDataExchange* pDX) override;
  BOOL OnInitDialog() override;
  void OnClose();
  void OnLogin();
  void OnSignUp();
  // Makes the queued changes (the wake message carries nothing).
  LRESULT OnWake(WPARAM, LPARAM);
  LRESULT OnDestroyWindow(WPARAM, LPARAM);

  DECLARE_MESSAGE_MAP()

 private:
  struct LoginOutcome;
  void RunLogin();
  // Asks the job thread (bounded): false when stopped, refused or late.
  bool QueryLogin(LoginOutcome* out);
  // Hands the account to the gate session, unless it is logged in already:
  // then `loggedIn` receives that login's outcome (answered) instead.
  bool ApplyAccountOnJobThread(const std::string& account, LoginOutcome* loggedIn);
  // Waits `ms` unless stopped; false when stopped.
  bool PauseUnlessStopped(uint32_t ms);

  // A change for a control: its text, or enabled / disabled.
  struct ControlChange {
    int control = 0;
    bool setText = false;
    std::wstring text;
    bool enable = false;
  };
  bool PostText(int control, const std::wstring& text);
  bool PostEnable(int control, bool enable);
  bool PostLine(const std::string& ansi);
  // Under windowLock_: wakes the window unless a wake is on its way.
  bool WakeLocked();
  // Window's thread: the lines (oldest first) on top of the pane.
  void AddToPane(const std::deque<std::string>& lines);
  // Window's thread: paneLines_ and paneChars_ from the pane's own text.
  void RecountPane(HWND pane);

  CWnd logPane_;     // edit 1000
  CWnd account_;     // edit 1001
  int matchId_ = 0;  // edit 1003

  // The window posts go to; null before Show and once it is being destroyed.
  // The changes waiting for the window's thread, guarded by windowLock_.
  std::mutex windowLock_;
  HWND window_ Q_GUARDED_BY(windowLock_) = nullptr;
  // ANSI, oldest first, kPaneMaxLines at most.
  std::deque<std::string> pendingLines_ Q_GUARDED_BY(windowLock_);
  std::vector<ControlChange> pendingChanges_ Q_GUARDED_BY(windowLock_);
  bool wakePosted_ Q_GUARDED_BY(windowLock_) = false;
  // Bound by Show; the window's handlers check it. Freed when the window
  // goes, so a later Show may come from another thread.
  q_platform::ThreadChecker windowThread_;
  // Window's thread only: the length (UTF-16 units, "\r\n" included) of
  // each line in the pane, newest first, and of the whole text; checked
  // against the control before each edit, as a tester may type into it.
  std::deque<size_t> paneLines_;
  size_t paneChars_ = 0;

  // The login thread: one at a time; `loginStop_` ends its wait and, set
  // under `loginLock_`, guarantees it posts nothing more to the job thread.
  std::mutex loginLock_;
  std::condition_variable loginCv_;
  bool loginStop_ Q_GUARDED_BY(loginLock_) = false;
  bool loginRunning_ Q_GUARDED_BY(loginLock_) = false;
  std::string loginAccount_ Q_GUARDED_BY(loginLock_);
  // Bound by each login thread as it begins, freed as it ends.
  q_platform::ThreadChecker loginThread_;
};

// The library's one dialog, created on first use.
DlgShow& GetDlgShow();

// DlgShow: the gate client's debug window (dialog resource 1000). A tester
// logs in with a test account, signs up for a match by id, watches the gate
// session's progress lines (newest on top) and closes everything.
// Thread safety: the window belongs to the thread that called Show (the
// launcher's); AppendLine, AppendUtf8Line, AppendWideLine, SetAccount and
// StopLogin may be called from any thread: they post to the window, whose
// thread makes the change, and do nothing once the window is gone. The login
// thread holds a reference on the library, so the dialog outlives it.
// Ownership: one instance (GetDlgShow), destroyed when the library unloads.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>

#include "gateclient/quorrel_resource.h"
#include "platform/mfc/dialog_ex.h"

class DlgShow : public CDialogEx {
 public:
  enum { IDD = IDD_DLGSHOW };
  // Limits of the texts handed in as UTF-16 (bytes of the ANSI result).
  static constexpr size_t kMaxLineBytes = 1023;
  static constexpr size_t kMaxAccountBytes = 511;
  // How long the login button waits for the gate session's answer.
  static constexpr uint32_t kLoginWaitMs = 30000;

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
  // Changes posted from other threads (a heap text in lParam where one goes).
  LRESULT OnPostedText(WPARAM control, LPARAM text);
  LRESULT OnPostedEnable(WPARAM control, LPARAM enable);
  LRESULT OnPostedLine(WPARAM, LPARAM text);
  LRESULT OnDestroyWindow(WPARAM, LPARAM);

  DECLARE_MESSAGE_MAP()

 private:
  struct LoginOutcome;
  static unsigned long __stdcall LoginThreadProc(void* self);
  void RunLogin();
  // Asks the job thread (bounded): false when stopped, refused or late.
  bool QueryLogin(LoginOutcome* out);
  bool ApplyAccountOnJobThread(const std::string& account);
  // Waits `ms` unless stopped; false when stopped.
  bool PauseUnlessStopped(uint32_t ms);

  bool PostText(int control, const std::wstring& text);
  bool PostEnable(int control, bool enable);
  bool PostLine(const std::string& ansi);
  bool PostOwned(UINT message, WPARAM wParam, void* payload, void (*release)(void*));

  CWnd logPane_;     // edit 1000
  CWnd account_;     // edit 1001
  int matchId_ = 0;  // edit 1003

  // The window posts go to; null before Show and once it is being destroyed.
  std::mutex windowLock_;
  HWND window_ = nullptr;

  // The login thread: one at a time; `loginStop_` ends its wait and, set
  // under `loginLock_`, guarantees it posts nothing more to the job thread.
  std::mutex loginLock_;
  std::condition_variable loginCv_;
  bool loginStop_ = false;
  bool loginRunning_ = false;
  std::string loginAccount_;
};

// The library's one dialog, created on first use.
DlgShow& GetDlgShow();

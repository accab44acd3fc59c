#include "platform/korvel/korvel_app.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/korvel/korvel_dlg.h"
#include "platform/korvel/lobby_script.h"
#include "platform/korvel/lobby_state.h"
#include "shared/thread_check/thread_check.h"

namespace {

// The program's main thread, the one that runs the application object: the
// first of InitInstance and ExitInstance binds it (one object per process).
q_platform::ThreadChecker& MainThread() {
  static q_platform::ThreadChecker checker;
  return checker;
}

void PrintLine(const std::string& line) {
  std::fputs(line.c_str(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

// The file named after "/script" (or "-script") on the command line, or "".
std::string ScriptArgument() {
  for (int i = 1; i + 1 < __argc; ++i) {
    if (std::strcmp(__argv[i], "/script") == 0 || std::strcmp(__argv[i], "-script") == 0) {
      return __argv[i + 1];
    }
  }
  return "";
}

bool ReadScript(const std::string& path, std::string* text) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  char buf[4096];
  size_t n;
  // One byte more than a script may hold, so an overlong one is refused.
  while (text->size() <= korvel::kMaxScriptBytes && (n = std::fread(buf, 1, sizeof(buf), f)) > 0) {
    text->append(buf, n);
  }
  std::fclose(f);
  return true;
}

}  // namespace

BEGIN_MESSAGE_MAP(CKorvelApp, CWinApp)
END_MESSAGE_MAP()

CKorvelApp::CKorvelApp() = default;

CKorvelApp::~CKorvelApp() = default;

CKorvelDlg* CKorvelApp::CreateLobbyDialog() { return nullptr; }

BOOL CKorvelApp::InitInstance() {
  Q_CHECK_BOUND_THREAD(MainThread(), "main thread");
  CWinApp::InitInstance();
  korvel::LobbyScript script{korvel::DefaultUserInfo(), korvel::DefaultUserFund(), {}};
  const std::string path = ScriptArgument();
  const bool scripted = !path.empty();
  if (scripted) {
    std::string text;
    std::string error;
    if (!ReadScript(path, &text)) {
      PrintLine("korvel: cannot read the script " + path);
      status_ = korvel::kScriptUnreadable;
      return FALSE;
    }
    if (!korvel::ParseLobbyScript(text, &script, &error)) {
      PrintLine("korvel: " + path + ": " + error);
      status_ = korvel::kScriptUnreadable;
      return FALSE;
    }
    PrintLine("korvel: script " + path + ", " + std::to_string(script.steps.size()) + " steps");
  }

  dialog_ = CreateLobbyDialog();
  if (dialog_ == nullptr) {
    PrintLine("korvel: the application made no lobby dialog");
    status_ = korvel::kScriptNoDialog;
    return FALSE;
  }
  dialog_->lobby_->Configure(script, scripted);
  m_pMainWnd = dialog_;
  const INT_PTR shown = dialog_->DoModal();
  m_pMainWnd = nullptr;
  if (shown == -1) {
    PrintLine("korvel: the lobby window could not be created (is there a display?)");
    status_ = korvel::kScriptNoWindow;
  } else {
    status_ = dialog_->lobby_->Status();
  }
  // A dialog program: the lobby has ended, no message loop follows.
  return FALSE;
}

int CKorvelApp::ExitInstance() {
  Q_CHECK_BOUND_THREAD(MainThread(), "main thread");
  delete dialog_;
  dialog_ = nullptr;
  CWinApp::ExitInstance();
  return status_;
}

extern "C" int KorvelAppMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpCmdLine,
                             int nCmdShow) {
  return AfxWinMain(hInstance, hPrevInstance, lpCmdLine, nCmdShow);
}

#include "platform/korvel/korvel_dlg.h"

#include "platform/korvel/korvel_resource.h"
#include "platform/korvel/lobby_state.h"

using korvel::Channel;
using korvel::StepKind;

CKorvelDlg::CKorvelDlg(CWnd* pParent)
    : CDialogEx(IDD_KORVEL_LOBBY, pParent), lobby_(new korvel::LobbyState(this)) {}

CKorvelDlg::~CKorvelDlg() { delete lobby_; }

BEGIN_MESSAGE_MAP(CKorvelDlg, CDialogEx)
ON_MESSAGE(korvel::kMsgStartLobby, OnStartLobby)
ON_MESSAGE(korvel::kMsgBlocksArrived, OnBlocksArrived)
ON_MESSAGE(WM_TIMER, OnTimerMessage)
ON_BN_CLICKED(IDC_ENTER, OnEnterClicked)
ON_BN_CLICKED(IDC_LEAVE, OnLeaveClicked)
ON_BN_CLICKED(IDC_SIGNUP, OnSignUpClicked)
ON_BN_CLICKED(IDC_SIGNOUT, OnSignOutClicked)
ON_BN_CLICKED(IDC_CLOSEGAME, OnCloseGameClicked)
END_MESSAGE_MAP()

const korvel::BlockLog& CKorvelDlg::Blocks() const { return lobby_->Log(); }

BOOL CKorvelDlg::OnInitDialog() {
  CDialogEx::OnInitDialog();
  // The bind and the start-up blocks follow once the derived dialog's own
  // OnInitDialog has returned.
  lobby_->Attach(m_hWnd);
  return TRUE;
}

// Enter in a field does not end the lobby.
void CKorvelDlg::OnOK() {}

void CKorvelDlg::OnCancel() { lobby_->Leave(IDCANCEL); }

bool CKorvelDlg::LoadGateClient() { return false; }
void CKorvelDlg::OnUserInfo(const NFHallUserInfo*) {}
bool CKorvelDlg::OnEnterRoom(int32_t, uint16_t, uint16_t) { return false; }
void CKorvelDlg::OnLeaveRoom(int32_t, uint16_t, uint16_t) {}
void CKorvelDlg::OnUserFund(const NFHallUserFund*) {}
void CKorvelDlg::OnSignUp(int32_t, uint16_t, uint16_t) {}
void CKorvelDlg::OnSignOut(int32_t, uint16_t, uint16_t) {}
void CKorvelDlg::OnCloseGame() {}

bool CKorvelDlg::SendSocketData(uint16_t gameKind, uint16_t serverId, uint16_t mainCode,
                                uint16_t subCode, void* data, uint16_t length) {
  return lobby_->Record(Channel::kSocket, gameKind, serverId, mainCode, subCode, true, data,
                        length);
}

bool CKorvelDlg::SendSocketData(uint16_t gameKind, uint16_t serverId, uint16_t mainCode,
                                uint16_t subCode) {
  return lobby_->Record(Channel::kSocket, gameKind, serverId, mainCode, subCode, false, nullptr, 0);
}

bool CKorvelDlg::SendProcessData(uint16_t mainCode, uint16_t subCode, void* data, uint16_t length) {
  return lobby_->Record(Channel::kProcess, 0, 0, mainCode, subCode, true, data, length);
}

bool CKorvelDlg::SendProcessData(uint16_t mainCode, uint16_t subCode) {
  return lobby_->Record(Channel::kProcess, 0, 0, mainCode, subCode, false, nullptr, 0);
}

LRESULT CKorvelDlg::OnStartLobby(WPARAM, LPARAM) {
  lobby_->Start();
  return 0;
}

LRESULT CKorvelDlg::OnBlocksArrived(WPARAM, LPARAM) {
  lobby_->ShowNewBlocks();
  return 0;
}

LRESULT CKorvelDlg::OnTimerMessage(WPARAM wParam, LPARAM) {
  if (wParam == korvel::kScriptTimer) lobby_->Tick();
  return 0;
}

void CKorvelDlg::OnEnterClicked() { lobby_->RoomEventFromWindow(StepKind::kEnter); }
void CKorvelDlg::OnLeaveClicked() { lobby_->RoomEventFromWindow(StepKind::kLeave); }
void CKorvelDlg::OnSignUpClicked() { lobby_->RoomEventFromWindow(StepKind::kSignUp); }
void CKorvelDlg::OnSignOutClicked() { lobby_->RoomEventFromWindow(StepKind::kSignOut); }
void CKorvelDlg::OnCloseGameClicked() { lobby_->CloseGame(); }

#include "launcher/halvora_dlg.h"

#include <cstring>

#include "launcher/startup_requests.h"

CHalvoraDlg::CHalvoraDlg() : CKorvelDlg(nullptr) {}

CHalvoraDlg::~CHalvoraDlg() {
  // The sink is not called here: only the close-game hook stops the gate
  // client's threads.
  if (gateClient_ != nullptr) {
    ::FreeLibrary(gateClient_);
    gateClient_ = nullptr;
  }
}

BEGIN_MESSAGE_MAP(CHalvoraDlg, CKorvelDlg)
END_MESSAGE_MAP()

BOOL CHalvoraDlg::OnInitDialog() {
  CKorvelDlg::OnInitDialog();
  return TRUE;
}

bool CHalvoraDlg::LoadGateClient() {
  Q_CHECK_BOUND_THREAD(lobbyThread_, "lobby thread");
  gateClient_ = ::LoadLibraryA("Quorrel.dll");
  if (gateClient_ == nullptr) return false;
  factory_ = reinterpret_cast<GetHallSinkFn>(
      reinterpret_cast<void*>(::GetProcAddress(gateClient_, "GetHallSink")));
  if (factory_ == nullptr) return false;
  sink_ = factory_();
  if (sink_ == nullptr) return false;
  heldSink_ = sink_;
  heldSink_->SetHallControl(this);
  return true;
}

void CHalvoraDlg::OnUserInfo(const NFHallUserInfo* info) {
  Q_CHECK_BOUND_THREAD(lobbyThread_, "lobby thread");
  if (info == nullptr) return;  // nothing to copy, nothing to tell
  std::memcpy(userBlock_, info, sizeof(userBlock_));
  if (heldSink_ != nullptr) heldSink_->OnEventUserInfo(info);
}

bool CHalvoraDlg::OnEnterRoom(int32_t userId, uint16_t gameKind, uint16_t serverId) {
  Q_CHECK_BOUND_THREAD(lobbyThread_, "lobby thread");
  gameKind_ = gameKind;
  serverId_ = serverId;
  SendStartupRequests();
  if (heldSink_ == nullptr) return false;
  return heldSink_->OnEventEnterRoom(userId, gameKind, serverId);
}

void CHalvoraDlg::OnLeaveRoom(int32_t userId, uint16_t gameKind, uint16_t serverId) {
  Q_CHECK_BOUND_THREAD(lobbyThread_, "lobby thread");
  if (heldSink_ != nullptr) heldSink_->OnEventLeaveRoom(userId, gameKind, serverId);
}

void CHalvoraDlg::OnUserFund(const NFHallUserFund* fund) {
  Q_CHECK_BOUND_THREAD(lobbyThread_, "lobby thread");
  if (fund == nullptr) return;
  const auto* bytes = reinterpret_cast<const uint8_t*>(fund);
  std::memcpy(fundBlock_[0], bytes, 16);
  std::memcpy(fundBlock_[1], bytes + 16, 16);
  if (heldSink_ != nullptr) heldSink_->OnEventUserFund(fund);
}

void CHalvoraDlg::OnSignUp(int32_t userId, uint16_t gameKind, uint16_t serverId) {
  Q_CHECK_BOUND_THREAD(lobbyThread_, "lobby thread");
  if (heldSink_ != nullptr) heldSink_->OnEventSignUp(userId, gameKind, serverId);
}

void CHalvoraDlg::OnSignOut(int32_t userId, uint16_t gameKind, uint16_t serverId) {
  Q_CHECK_BOUND_THREAD(lobbyThread_, "lobby thread");
  if (heldSink_ != nullptr) heldSink_->OnEventSignOut(userId, gameKind, serverId);
}

void CHalvoraDlg::OnCloseGame() {
  Q_CHECK_BOUND_THREAD(lobbyThread_, "lobby thread");
  if (heldSink_ != nullptr) heldSink_->OnEventCloseGame();
}

// The frame's send operations only read the body; they take it as void*.
bool CHalvoraDlg::SendSocketData(uint16_t gameKind, uint16_t serverId, uint16_t mainCode,
                                 uint16_t subCode, const void* data, uint16_t length) {
  return CKorvelDlg::SendSocketData(gameKind, serverId, mainCode, subCode, const_cast<void*>(data),
                                    length);
}

bool CHalvoraDlg::SendSocketData(uint16_t gameKind, uint16_t serverId, uint16_t mainCode,
                                 uint16_t subCode) {
  return CKorvelDlg::SendSocketData(gameKind, serverId, mainCode, subCode);
}

bool CHalvoraDlg::SendProcessData(uint16_t mainCode, uint16_t subCode, const void* data,
                                  uint16_t length) {
  return CKorvelDlg::SendProcessData(mainCode, subCode, const_cast<void*>(data), length);
}

bool CHalvoraDlg::SendProcessData(uint16_t mainCode, uint16_t subCode) {
  return CKorvelDlg::SendProcessData(mainCode, subCode);
}

void CHalvoraDlg::SendStartupRequests() {
  for (halvora::StartupRequest& r : halvora::StartupRequests(userBlock_, fundBlock_)) {
    if (r.hasBody) {
      CKorvelDlg::SendSocketData(gameKind_, serverId_, r.mainCode, r.subCode, r.body.data(),
                                 static_cast<uint16_t>(r.body.size()));
    } else {
      CKorvelDlg::SendSocketData(gameKind_, serverId_, r.mainCode, r.subCode);
    }
  }
}

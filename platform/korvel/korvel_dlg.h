// CKorvelDlg: the lobby's main dialog of our stand-in of the platform's
// lobby frame library Korvel (Korvel.dll). The frame shows it as the lobby
// window and calls its hooks as a lobby would: OnInitDialog, then
// LoadGateClient (the bind hook), OnUserInfo and OnUserFund with the start-up
// blocks, then the person's or the script's events. Blocks that come back
// through the four send operations are listed in the window, newest last.
// The launcher's dialog derives from it and overrides the hooks.
// Thread safety: the hooks run on the lobby's thread (the one that runs the
// dialog); the send operations may be called from any thread.
// Ownership: the frame (CKorvelApp) owns the dialog the factory hook made;
// the send operations copy the caller's block and keep no pointer.
#pragma once

#include <cstdint>

#include "interface/hall/nfhall_interfaces.h"
#include "platform/mfc/dialog_ex.h"

namespace korvel {
class BlockLog;
class LobbyState;
struct LobbyScript;
}  // namespace korvel

class CKorvelDlg : public CDialogEx {
 public:
  explicit CKorvelDlg(CWnd* pParent = nullptr);
  ~CKorvelDlg() override;

  BOOL OnInitDialog() override;

  // The lobby's hooks, in the frame's slot order. The frame's own versions
  // do nothing: bind and enter room answer false.
  virtual bool LoadGateClient();
  virtual void OnUserInfo(const NFHallUserInfo* info);
  virtual bool OnEnterRoom(int32_t userId, uint16_t gameKind, uint16_t serverId);
  virtual void OnLeaveRoom(int32_t userId, uint16_t gameKind, uint16_t serverId);
  virtual void OnUserFund(const NFHallUserFund* fund);
  virtual void OnSignUp(int32_t userId, uint16_t gameKind, uint16_t serverId);
  virtual void OnSignOut(int32_t userId, uint16_t gameKind, uint16_t serverId);
  virtual void OnCloseGame();

  // The lobby's socket channel (kind and server id words, main and sub code)
  // and process channel (main and sub code), with or without a body. The
  // frame only reads the body. False for a length with a null body.
  virtual bool SendSocketData(uint16_t gameKind, uint16_t serverId, uint16_t mainCode,
                              uint16_t subCode, void* data, uint16_t length);
  virtual bool SendSocketData(uint16_t gameKind, uint16_t serverId, uint16_t mainCode,
                              uint16_t subCode);
  virtual bool SendProcessData(uint16_t mainCode, uint16_t subCode, void* data, uint16_t length);
  virtual bool SendProcessData(uint16_t mainCode, uint16_t subCode);
  // Every block the send operations took so far, newest last.
  const korvel::BlockLog& Blocks() const;

 protected:
  void OnOK() override;
  void OnCancel() override;

 private:
  friend class korvel::LobbyState;
  friend class CKorvelApp;
  LRESULT OnStartLobby(WPARAM, LPARAM);
  LRESULT OnBlocksArrived(WPARAM, LPARAM);
  LRESULT OnTimerMessage(WPARAM, LPARAM);
  void OnEnterClicked();
  void OnLeaveClicked();
  void OnSignUpClicked();
  void OnSignOutClicked();
  void OnCloseGameClicked();

  korvel::LobbyState* lobby_;

  DECLARE_MESSAGE_MAP()
};

// CHalvoraDlg: the launcher's lobby dialog, a bridge between the Korvel
// lobby frame and the gate client Quorrel.dll. The bind hook loads the gate
// client and hands its hall sink this dialog's INFHallControl part; the
// lobby hooks forward each event to that sink; the INFHallControl
// operations pass the gate client's blocks to the frame's send operations.
// Thread safety: the hooks run on the lobby's thread; the INFHallControl
// operations are called from the gate client's job thread and go straight to
// the frame's send operations, which take any thread.
// Ownership: the frame owns the dialog; the dialog owns the gate client's
// module handle (freed in the destructor) but never the sink, which is the
// gate client's and is stopped only by the close-game hook.
#pragma once

#include <cstdint>

#include "interface/hall/nfhall_interfaces.h"
#include "shared/thread_check/thread_check.h"
#include "platform/korvel/korvel_dlg.h"

class CHalvoraDlg : public CKorvelDlg, public INFHallControl {
 public:
  CHalvoraDlg();
  ~CHalvoraDlg() override;

  BOOL OnInitDialog() override;

  // The bind hook: loads "Quorrel.dll", binds its hall sink; false when the
  // library, its "GetHallSink" export or the sink is missing.
  bool LoadGateClient() override;
  void OnUserInfo(const NFHallUserInfo* info) override;
  // Stores the room, sends the start-up requests, then tells the sink.
  // Without a sink: false.
  bool OnEnterRoom(int32_t userId, uint16_t gameKind, uint16_t serverId) override;
  void OnLeaveRoom(int32_t userId, uint16_t gameKind, uint16_t serverId) override;
  void OnUserFund(const NFHallUserFund* fund) override;
  void OnSignUp(int32_t userId, uint16_t gameKind, uint16_t serverId) override;
  void OnSignOut(int32_t userId, uint16_t gameKind, uint16_t serverId) override;
  void OnCloseGame() override;

  // INFHallControl: the frame's send operations with the same arguments.
  // The two without a body have the frame's own signatures, so they stand
  // for both bases.
  bool SendSocketData(uint16_t gameKind, uint16_t serverId, uint16_t mainCode, uint16_t subCode,
                      const void* data, uint16_t length) override;
  bool SendSocketData(uint16_t gameKind, uint16_t serverId, uint16_t mainCode,
                      uint16_t subCode) override;
  bool SendProcessData(uint16_t mainCode, uint16_t subCode, const void* data,
                       uint16_t length) override;
  bool SendProcessData(uint16_t mainCode, uint16_t subCode) override;
  void SendStartupRequests() override;

  // The frame's overloads with a body stay visible beside the interface's.
  using CKorvelDlg::SendProcessData;
  using CKorvelDlg::SendSocketData;

  // What the dialog keeps (for its own use and its tests).
  const uint8_t* UserBlock() const { return userBlock_; }
  const uint8_t* FundBlock() const { return &fundBlock_[0][0]; }
  uint16_t GameKind() const { return gameKind_; }
  uint16_t ServerId() const { return serverId_; }
  INFHallSink* HeldSink() const { return heldSink_; }

 private:
  HMODULE gateClient_ = nullptr;
  INFHallSink* sink_ = nullptr;
  GetHallSinkFn factory_ = nullptr;
  INFHallSink* heldSink_ = nullptr;
  uint8_t userBlock_[300] = {};
  uint8_t fundBlock_[2][16] = {};
  uint16_t gameKind_ = 0;
  uint16_t serverId_ = 0;
  // The lobby's thread, bound by the first hook; the blocks above are its.
  q_platform::ThreadChecker lobbyThread_;

  DECLARE_MESSAGE_MAP()
};

// The two interfaces between the gate client library and the launcher, and
// the two lobby blocks they pass: the launcher calls INFHallSink for each
// lobby event; the gate client answers through INFHallControl.
// Both interfaces keep their slot order and have no virtual destructor, so a
// peer built with another compiler can call them; neither side deletes the
// other's object.
// Thread safety: INFHallSink is called on the launcher's thread;
// INFHallControl is called on the gate client's job thread.
// Ownership: the sink is the library's own and lives until the process ends;
// the control belongs to the launcher. Block pointers are valid during the call.
#pragma once

#include <cstddef>
#include <cstdint>

// The lobby's 300-byte user block (little-endian; texts NUL-terminated in the
// system ANSI code page, but a full field may lack its NUL):
//
// | bytes   | field         | content                                |
// |---------|---------------|----------------------------------------|
// | 0-3     | userId        | int32 user id                          |
// | 4-7     | reserved0     | not read                               |
// | 8-11    | channelId     | uint32                                 |
// | 12-15   | siteId        | uint32                                 |
// | 16-19   | barId         | uint32                                 |
// | 20-24   | reserved1     | not read                               |
// | 25-56   | account       | 32 bytes                               |
// | 57-89   | password      | 33 bytes: 32-character digest and NUL  |
// | 90-153  | reserved2     | not read                               |
// | 154-169 | systemSerial  | 16 bytes                               |
// | 170-185 | biosSerial    | 16 bytes                               |
// | 186-201 | cpuSerial     | 16 bytes                               |
// | 202-217 | diskSerial    | 16 bytes                               |
// | 218-233 | macAddress    | 16 bytes                               |
// | 234-297 | guid          | 64 bytes                               |
// | 298-299 | reserved3     | not read                               |
#pragma pack(push, 1)
struct NFHallUserInfo {
  int32_t userId;
  uint8_t reserved0[4];
  uint32_t channelId;
  uint32_t siteId;
  uint32_t barId;
  uint8_t reserved1[5];
  char account[32];
  char password[33];
  uint8_t reserved2[64];
  char systemSerial[16];
  char biosSerial[16];
  char cpuSerial[16];
  char diskSerial[16];
  char macAddress[16];
  char guid[64];
  uint8_t reserved3[2];
};

// The lobby's 32-byte fund block:
//
// | bytes | field     | content                     |
// |-------|-----------|-----------------------------|
// | 0-3   | reserved0 | kept as the lobby gave it   |
// | 4-7   | count11   | uint32 count of fund item 11 |
// | 8-15  | reserved1 | kept                        |
// | 16-23 | count10   | uint64 count of fund item 10 |
// | 24-31 | reserved2 | kept                        |
struct NFHallUserFund {
  uint8_t reserved0[4];
  uint32_t count11;
  uint8_t reserved1[8];
  uint64_t count10;
  uint8_t reserved2[8];
};
#pragma pack(pop)

static_assert(sizeof(NFHallUserInfo) == 300, "user block is 300 bytes");
static_assert(offsetof(NFHallUserInfo, channelId) == 8, "");
static_assert(offsetof(NFHallUserInfo, siteId) == 12, "");
static_assert(offsetof(NFHallUserInfo, barId) == 16, "");
static_assert(offsetof(NFHallUserInfo, account) == 25, "");
static_assert(offsetof(NFHallUserInfo, password) == 57, "");
static_assert(offsetof(NFHallUserInfo, systemSerial) == 154, "");
static_assert(offsetof(NFHallUserInfo, biosSerial) == 170, "");
static_assert(offsetof(NFHallUserInfo, cpuSerial) == 186, "");
static_assert(offsetof(NFHallUserInfo, diskSerial) == 202, "");
static_assert(offsetof(NFHallUserInfo, macAddress) == 218, "");
static_assert(offsetof(NFHallUserInfo, guid) == 234, "");
static_assert(sizeof(NFHallUserFund) == 32, "fund block is 32 bytes");
static_assert(offsetof(NFHallUserFund, count11) == 4, "");
static_assert(offsetof(NFHallUserFund, count10) == 16, "");

// The launcher's side: the lobby's socket and process channels. Results are
// the frame library's; the gate client ignores them.
class INFHallControl {
 public:
  virtual bool SendSocketData(uint16_t gameKind, uint16_t serverId, uint16_t mainCode,
                              uint16_t subCode, const void* data, uint16_t length) = 0;
  virtual bool SendSocketData(uint16_t gameKind, uint16_t serverId, uint16_t mainCode,
                              uint16_t subCode) = 0;
  virtual bool SendProcessData(uint16_t mainCode, uint16_t subCode, const void* data,
                               uint16_t length) = 0;
  virtual bool SendProcessData(uint16_t mainCode, uint16_t subCode) = 0;
  // Called by the launcher itself only.
  virtual void SendStartupRequests() = 0;

 protected:
  ~INFHallControl() = default;
};

// The gate client's side: one operation per lobby event.
class INFHallSink {
 public:
  virtual void SetHallControl(INFHallControl* control) = 0;
  virtual void OnEventUserInfo(const NFHallUserInfo* info) = 0;
  // True while the gate session is not logged in yet.
  virtual bool OnEventEnterRoom(int32_t userId, uint16_t gameKind, uint16_t serverId) = 0;
  virtual void OnEventLeaveRoom(int32_t userId, uint16_t gameKind, uint16_t serverId) = 0;
  virtual void OnEventSignUp(int32_t userId, uint16_t gameKind, uint16_t serverId) = 0;
  virtual void OnEventSignOut(int32_t userId, uint16_t gameKind, uint16_t serverId) = 0;
  virtual void OnEventUserFund(const NFHallUserFund* fund) = 0;
  virtual void OnEventCloseGame() = 0;

 protected:
  ~INFHallSink() = default;
};

// Exported by Quorrel.dll under this plain name: the library's one sink.
extern "C" INFHallSink* GetHallSink();
using GetHallSinkFn = INFHallSink* (*)();

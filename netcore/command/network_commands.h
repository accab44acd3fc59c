// Network commands (kind 9): connection events built by the network agent on
// the loop thread, and the connect / send / kick requests the client frame
// hands to the agent. Plus PacketHeader, the frame-header fields a data
// command carries (wire form in packet_codec.h).
// Thread safety and ownership: as every command (cmd_base.h).
#pragma once

#include <cstdint>
#include <string>

#include "netcore/command/cmd_base.h"

// Frame header fields of one gate frame. kind/subid here are the frame's;
// the data command's own kind/subid stay 9/2.
struct PacketHeader {
  uint8_t mark0 = 0x63;  // 'c'
  uint8_t mark1 = 0x68;  // 'h'
  uint16_t kind = 0;
  uint16_t subid = 0;
  std::string extension;
};

namespace bs {

enum : uint16_t {
  kNetSubidConnectionCome = 0,
  kNetSubidConnectionClose = 1,
  kNetSubidDataMessage = 2,
  kNetSubidConnectTo = 3,
  kNetSubidConnectToRet = 4,
  kNetSubidSetting = 6,  // handled by the agent; has no class of its own
  kNetSubidKickConnection = 7,
};

// An outgoing connection is established; route: origin 1, conn_id, user_data.
class CMDNetwork_OnConnectionCome : public CMD_base {
 public:
  static constexpr uint16_t kKind = kCmdKindNetwork;
  static constexpr uint16_t kSubid = kNetSubidConnectionCome;
  CMDNetwork_OnConnectionCome() : CMD_base(kKind, kSubid) {}
};

// An established connection ended; route: origin 1, conn_id.
class CMDNetwork_OnConnectionClose : public CMD_base {
 public:
  static constexpr uint16_t kKind = kCmdKindNetwork;
  static constexpr uint16_t kSubid = kNetSubidConnectionClose;
  CMDNetwork_OnConnectionClose() : CMD_base(kKind, kSubid) {}
};

// One gate frame: header fields plus `body`.
class CMDNetwork_DataMessage : public CMD_base {
 public:
  static constexpr uint16_t kKind = kCmdKindNetwork;
  static constexpr uint16_t kSubid = kNetSubidDataMessage;
  CMDNetwork_DataMessage() : CMD_base(kKind, kSubid) {}

  PacketHeader header;
};

// Open a connection. `delay` is the connect time-out in ms (0 means 3000);
// after the agent ran it, route.conn_id holds the new connection's id.
class CMDNetwork_ConnectTo : public CMD_base {
 public:
  static constexpr uint16_t kKind = kCmdKindNetwork;
  static constexpr uint16_t kSubid = kNetSubidConnectTo;
  CMDNetwork_ConnectTo() : CMD_base(kKind, kSubid) {}

  std::string host;
  int32_t port = 0;
  int32_t user_data = 0;
};

// Result of a connect; route: origin 1, conn_id, user_data. host, port and
// user_data stay empty/0 (the route carries what matters).
class CMDNetwork_OnConnectToRet : public CMD_base {
 public:
  static constexpr uint16_t kKind = kCmdKindNetwork;
  static constexpr uint16_t kSubid = kNetSubidConnectToRet;
  CMDNetwork_OnConnectToRet() : CMD_base(kKind, kSubid) {}

  std::string host;
  int32_t port = 0;
  int32_t user_data = 0;
  bool ok = false;
};

// Close the connection named by route.conn_id.
class CMDNetwork_KickConnection : public CMD_base {
 public:
  static constexpr uint16_t kKind = kCmdKindNetwork;
  static constexpr uint16_t kSubid = kNetSubidKickConnection;
  CMDNetwork_KickConnection() : CMD_base(kKind, kSubid) {}
};

}  // namespace bs

// Command objects: the unit of work that crosses threads inside the gate
// client (loop thread -> job thread, hall interface -> job thread), with the
// 72-byte routing record and the reference-counted deleter every posted
// command carries.
// Thread safety: a command is used by one thread at a time; only the delete
// handler's reference count is shared, so AddRef/Release are safe from any thread.
// Ownership: a command with a handler is owned by it and destroyed when the last
// reference is released; a command without one belongs to whoever created it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

namespace bs {

// Command kinds (the message family of a command).
enum : uint16_t {
  kCmdKindDelayedJob = 5,
  kCmdKindNetwork = 9,
  kCmdKindGate = 12,
  kCmdKindClient = 13,
  kCmdKindMatch = 14,
  kCmdKindHall = 18,
  kCmdKindUserInfo = 23,
  kCmdKindLocalHall = 257,
};

// Routing record. Byte layout (native x86 order, every field little-endian):
//
// | offset | width | field       | meaning                                         |
// |--------|-------|-------------|-------------------------------------------------|
// | 0      | 1     | origin      | 1 when built by the network agent from an event |
// | 1      | 3     | pad0        | zero                                            |
// | 4      | 12    | reserved0   | three u32, zero                                 |
// | 16     | 8     | conn_id     | u64 connection id                               |
// | 24     | 4     | src_apptype | u32 application type of a message's sender      |
// | 28     | 4     | src_appid   | u32 application id of that sender               |
// | 32     | 4     | reserved1   | u32, zero                                       |
// | 36     | 1     | reserved2   | u8, zero                                        |
// | 37     | 3     | pad1        | zero                                            |
// | 40     | 4     | reserved3   | u32, zero                                       |
// | 44     | 4     | user_data   | i32 tag the connection's opener chose           |
// | 48     | 20    | reserved4   | five u32, zero                                  |
// | 68     | 4     | pad2        | zero (tail of the 8-byte aligned record)        |
//
// The record is forwarded raw to game programs, so it is a cross-process
// format. Every padding byte is a named member: the record has no hidden
// padding (checked below), the constructor zeroes all 72 bytes and the
// implicit copy copies all of them, on any compiler.
struct alignas(8) CmdRouteHeader {
  uint8_t origin;
  uint8_t pad0[3];
  uint32_t reserved0[3];
  uint64_t conn_id;
  uint32_t src_apptype;
  uint32_t src_appid;
  uint32_t reserved1;
  uint8_t reserved2;
  uint8_t pad1[3];
  uint32_t reserved3;
  int32_t user_data;
  uint32_t reserved4[5];
  uint8_t pad2[4];

  CmdRouteHeader();
};

static_assert(sizeof(CmdRouteHeader) == 72, "route record is 72 bytes");
static_assert(alignof(CmdRouteHeader) == 8, "route record is 8-byte aligned");
static_assert(std::is_trivially_copyable<CmdRouteHeader>::value, "copied raw");
static_assert(std::has_unique_object_representations<CmdRouteHeader>::value,
              "no hidden padding: every byte is a named member");
static_assert(offsetof(CmdRouteHeader, origin) == 0, "");
static_assert(offsetof(CmdRouteHeader, pad0) == 1, "");
static_assert(offsetof(CmdRouteHeader, reserved0) == 4, "");
static_assert(offsetof(CmdRouteHeader, conn_id) == 16, "");
static_assert(offsetof(CmdRouteHeader, src_apptype) == 24, "");
static_assert(offsetof(CmdRouteHeader, src_appid) == 28, "");
static_assert(offsetof(CmdRouteHeader, reserved1) == 32, "");
static_assert(offsetof(CmdRouteHeader, reserved2) == 36, "");
static_assert(offsetof(CmdRouteHeader, pad1) == 37, "");
static_assert(offsetof(CmdRouteHeader, reserved3) == 40, "");
static_assert(offsetof(CmdRouteHeader, user_data) == 44, "");
static_assert(offsetof(CmdRouteHeader, reserved4) == 48, "");
static_assert(offsetof(CmdRouteHeader, pad2) == 68, "");

class CMD_base;

// Reference-counted deleter of a command. No virtual destructor: the
// interface keeps the same slots for peers built with another compiler.
class IEventHandler {
 public:
  virtual void Release() = 0;
  virtual void AddRef() = 0;

 protected:
  ~IEventHandler() = default;
};

// The one deleter: the last Release destroys the command, then itself.
class CommonDeleteHandler final : public IEventHandler {
 public:
  explicit CommonDeleteHandler(CMD_base* cmd) : command(cmd), refs(0) {}

  void Release() override;
  void AddRef() override;

  CMD_base* command;
  std::atomic<int32_t> refs;
};

// Polymorphic base of every command.
class CMD_base {
 public:
  CMD_base() = default;
  CMD_base(uint16_t kind_, uint16_t subid_) : kind(kind_), subid(subid_) {}
  CMD_base(const CMD_base&) = delete;
  CMD_base& operator=(const CMD_base&) = delete;

  // Fill the command from an encoded body / write its message; the base
  // command has no message, so both report false.
  virtual bool Decode(const std::string& body);
  virtual bool Encode(std::string* out);
  // Frees the body; never touches `handler` (the handler is the one that
  // calls this destructor).
  virtual ~CMD_base();

  // Gives the command a CommonDeleteHandler with one reference, unless it
  // already has a handler (then nothing changes).
  void AttachDeleteHandler();

  IEventHandler* handler = nullptr;
  uint64_t delay = 0;  // milliseconds, compared unsigned
  uint16_t kind = 0;
  uint16_t subid = 0;
  CmdRouteHeader route;
  std::string body;
};

}  // namespace bs

// The message command: one class template that turns a generated protobuf
// message class into a command carrying that message's fixed kind and sub-id
// (the typedefs of all message commands are in gate_commands.h).
// Thread safety: none of its own; a command is used by one thread at a time.
// Ownership: the command owns its message by value; the command itself is
// owned by its delete handler once one is attached (cmd_base.h).
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include <google/protobuf/message_lite.h>

#include "netcore/command/cmd_base.h"
#include "netcore/command/network_commands.h"

namespace bs {

template <class Msg, uint16_t Kind, uint16_t Subid>
class CMD_Template : public CMD_base {
  static_assert(std::is_base_of<google::protobuf::MessageLite, Msg>::value,
                "a message command holds a generated protobuf message");

 public:
  using Message = Msg;
  static constexpr uint16_t kKind = Kind;
  static constexpr uint16_t kSubid = Subid;

  CMD_Template() : CMD_base(Kind, Subid) {}

  // Checked parse: false when `body` is not a well-formed encoding up to its
  // last byte or a required field is missing. The message keeps whatever was
  // merged before the parser stopped; callers treat that as a failed decode.
  bool Decode(const std::string& body) override {
    return static_cast<google::protobuf::MessageLite&>(msg).ParseFromString(body);
  }

  // Writes the encoding of the fields that are set, required ones or not.
  // The partial serializer gives the same bytes as the checked one, which
  // would abort in a debug runtime when a required field is unset.
  bool Encode(std::string* out) override {
    if (out == nullptr) return false;
    static_cast<const google::protobuf::MessageLite&>(msg).SerializePartialToString(out);
    return true;
  }

  ~CMD_Template() override = default;

  // Copies the whole routing record and the message (fields only this
  // command's message had are cleared); kind, sub-id, delay, body and handler
  // stay this command's own. A copy from itself changes nothing.
  virtual void CopyFrom(const CMD_Template& other) {
    route = other.route;
    if (&other == this) return;
    msg.Clear();
    msg.MergeFrom(other.msg);
  }

  // Gate commands only (kind 12): fills a network data command as the gate
  // encoder does — frame kind and sub-id, the routing record, and the
  // message serialized into the body. Returns the serializer's result.
  template <uint16_t K = Kind, typename = std::enable_if_t<K == kCmdKindGate>>
  bool ToDataMessage(CMDNetwork_DataMessage* out) const {
    out->header.kind = Kind;
    out->header.subid = Subid;
    out->route = route;
    out->body.clear();
    return static_cast<const google::protobuf::MessageLite&>(msg).SerializePartialToString(
        &out->body);
  }

  Msg msg;
};

}  // namespace bs

#include "netcore/net/packet_codec.h"

#include <cstdint>

namespace {

constexpr size_t kFixedBytes = 12;
constexpr size_t kMaxExtension = 254;

inline void PutBE16(unsigned char* p, uint16_t v) {
  p[0] = static_cast<unsigned char>(v >> 8);
  p[1] = static_cast<unsigned char>(v);
}

inline void PutBE32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}

inline uint16_t GetBE16(const unsigned char* p) { return static_cast<uint16_t>(p[0] << 8 | p[1]); }

inline uint32_t GetBE32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
         static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

}  // namespace

int EncodePacket(std::string* out, const bs::CMDNetwork_DataMessage& cmd) {
  // Header and extension go into one stack buffer; the body is appended once.
  unsigned char head[288] = {};
  const PacketHeader& h = cmd.header;
  head[6] = h.mark0;
  head[7] = h.mark1;
  PutBE16(head + 8, h.kind);
  PutBE16(head + 10, h.subid);
  size_t ext = h.extension.size();
  if (ext > kMaxExtension) ext = 0;
  for (size_t i = 0; i < ext; ++i)
    head[kFixedBytes + i] = static_cast<unsigned char>(h.extension[i]);
  const uint16_t hlen = static_cast<uint16_t>(6 + ext);
  const uint32_t length = static_cast<uint32_t>(hlen + 2 + cmd.body.size());
  PutBE16(head + 4, hlen);
  PutBE32(head, length);
  out->assign(reinterpret_cast<const char*>(head), kFixedBytes + ext);
  out->append(cmd.body);
  return static_cast<int>(out->size());
}

bool DecodePacket(const unsigned char* data, int len, bs::CMDNetwork_DataMessage* cmd) {
  if (data == nullptr || cmd == nullptr || len < 0) return false;
  const uint64_t size = static_cast<uint64_t>(len);
  // Every frame must hold the 12 fixed bytes before any is read; shorter
  // frames (L < 8) are rejected even when their length fields agree.
  if (size < kFixedBytes) return false;
  const uint32_t length = GetBE32(data);
  if (static_cast<uint64_t>(length) + 4 != size) return false;
  const uint16_t hlen = GetBE16(data + 4);
  if (static_cast<uint64_t>(hlen) + 2 > length) return false;

  // Now 6 + H <= L + 4 == len, so every read below stays inside the frame.
  PacketHeader& h = cmd->header;
  h.mark0 = data[6];
  h.mark1 = data[7];
  h.kind = GetBE16(data + 8);
  h.subid = GetBE16(data + 10);
  if (hlen >= 7 && hlen <= 6 + kMaxExtension) {
    h.extension.assign(reinterpret_cast<const char*>(data + kFixedBytes), hlen - 6);
  }
  const size_t body_at = 6 + static_cast<size_t>(hlen);
  cmd->body.assign(reinterpret_cast<const char*>(data + body_at),
                   static_cast<size_t>(length) - hlen - 2);
  return true;
}

#include "tools/sample_game/record_log.h"

#include <cstdio>

#include "gate/gate.pb.h"

namespace {

uint32_t Le(const std::string& s, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = 0; i < bytes; ++i) v |= uint32_t(uint8_t(s[at + i])) << (8 * i);
  return v;
}

constexpr size_t kHeader = 80;

}  // namespace

std::string ToHex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

std::string FromHex(const std::string& hex) {
  auto nib = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  std::string out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    const int a = nib(hex[i]), b = nib(hex[i + 1]);
    if (a < 0 || b < 0) break;
    out += char(a * 16 + b);
  }
  return out;
}

std::string DescribeForwardRecord(const std::string& r) {
  if (r.size() < kHeader) return "rec short len=" + std::to_string(r.size());
  char head[96];
  std::snprintf(head, sizeof head, "rec type=%d kind=%u subid=%u route=", int(Le(r, 0, 4)),
                unsigned(Le(r, 76, 2)), unsigned(Le(r, 78, 2)));
  std::string line = head + ToHex(r.substr(4, 72));
  if (Le(r, 0, 4) == 0) {
    bs::gate::TransferDataReq t;
    if (!t.ParseFromString(r.substr(kHeader))) return line + " wrapper=bad";
    char more[160];
    std::snprintf(
        more, sizeof more,
        " data_cmd_kind=%u data_cmd_subid=%u att_apptype=%u att_appid=%u att_sessionid=%llu data=",
        t.data_cmd_kind(), t.data_cmd_subid(), t.att_apptype(), t.att_appid(),
        (unsigned long long)t.att_sessionid());
    line += more + ToHex(t.data());
  } else if (r.size() > kHeader) {
    line += " extra=" + std::to_string(r.size() - kHeader);
  }
  return line;
}

std::string WrappedData(const std::string& r) {
  if (r.size() < kHeader || Le(r, 0, 4) != 0) return std::string();
  bs::gate::TransferDataReq t;
  if (!t.ParseFromString(r.substr(kHeader))) return std::string();
  return t.data();
}

std::string MakeReturnRecord(int32_t type, uint16_t kind, uint16_t subid, const std::string& body) {
  std::string out;
  for (int i = 0; i < 4; ++i) out += char((uint32_t(type) >> (8 * i)) & 0xff);
  out += char(kind & 0xff);
  out += char(kind >> 8);
  out += char(subid & 0xff);
  out += char(subid >> 8);
  return out + body;
}

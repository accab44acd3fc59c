#include "netcore/net/blowfish.h"

#include <cstring>

namespace {

#include "netcore/net/blowfish_tables.inc"

inline uint32_t LoadLE(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

inline void StoreLE(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

}  // namespace

CBlowfish::CBlowfish() { Reset(); }

void CBlowfish::Reset() {
  std::memcpy(P_, kBlowfishInitP, sizeof(P_));
  std::memcpy(S_, kBlowfishInitS, sizeof(S_));
}

void CBlowfish::SetKey(const char* key, unsigned len) {
  Reset();
  if (key != nullptr && len != 0) {
    const auto* k = reinterpret_cast<const unsigned char*>(key);
    unsigned pos = 0;
    for (int i = 0; i < 18; ++i) {
      uint32_t word = 0;
      for (int b = 0; b < 4; ++b) {
        word = word << 8 | k[pos];
        pos = pos + 1 == len ? 0 : pos + 1;
      }
      P_[i] ^= word;
    }
  }
  uint32_t l = 0, r = 0;
  for (int i = 0; i < 18; i += 2) {
    EncryptBlock(l, r);
    P_[i] = l;
    P_[i + 1] = r;
  }
  for (int box = 0; box < 4; ++box) {
    for (int i = 0; i < 256; i += 2) {
      EncryptBlock(l, r);
      S_[box][i] = l;
      S_[box][i + 1] = r;
    }
  }
}

// Two rounds an iteration, so the halves never need swapping; after the
// sixteenth round the swap the textbook form undoes is folded into the
// final whitening.
void CBlowfish::EncryptBlock(uint32_t& l, uint32_t& r) const {
  uint32_t a = l, b = r;
  for (int i = 0; i < 16; i += 2) {
    a ^= P_[i];
    b ^= F(a);
    b ^= P_[i + 1];
    a ^= F(b);
  }
  l = b ^ P_[17];
  r = a ^ P_[16];
}

void CBlowfish::DecryptBlock(uint32_t& l, uint32_t& r) const {
  uint32_t a = l, b = r;
  for (int i = 17; i > 1; i -= 2) {
    a ^= P_[i];
    b ^= F(a);
    b ^= P_[i - 1];
    a ^= F(b);
  }
  l = b ^ P_[0];
  r = a ^ P_[1];
}

std::vector<char> CBlowfish::Encrypt(const std::vector<char>& in) const {
  const size_t pad = 8 - in.size() % 8;
  std::vector<char> out;
  out.reserve(in.size() + pad);
  out.assign(in.begin(), in.end());
  out.insert(out.end(), pad, static_cast<char>(pad));
  auto* p = reinterpret_cast<unsigned char*>(out.data());
  for (size_t off = 0; off < out.size(); off += 8) {
    uint32_t l = LoadLE(p + off), r = LoadLE(p + off + 4);
    EncryptBlock(l, r);
    StoreLE(p + off, l);
    StoreLE(p + off + 4, r);
  }
  return out;
}

std::vector<char> CBlowfish::Decrypt(const std::vector<char>& in) const {
  std::vector<char> out(in);
  auto* p = reinterpret_cast<unsigned char*>(out.data());
  const size_t whole = out.size() / 8 * 8;
  for (size_t off = 0; off < whole; off += 8) {
    uint32_t l = LoadLE(p + off), r = LoadLE(p + off + 4);
    DecryptBlock(l, r);
    StoreLE(p + off, l);
    StoreLE(p + off + 4, r);
  }
  if (out.empty()) return out;
  const int n = static_cast<signed char>(out.back());
  if (n < 1 || n > 8 || static_cast<size_t>(n) > out.size()) return out;
  for (size_t i = out.size() - n; i < out.size(); ++i) {
    if (static_cast<signed char>(out[i]) != n) return out;
  }
  out.resize(out.size() - n);
  return out;
}

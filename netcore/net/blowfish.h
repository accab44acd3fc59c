// Body cipher of the gate link: Blowfish, ECB, with the link's padding
// (n bytes of value n, 1 to 8) and its byte order (each 32-bit half of a
// block is read and written little-endian).
// Thread safety: SetKey must not run beside other calls; the const
// operations may run on any number of threads at once (the client frame
// enciphers from every sending thread).
// Ownership: plain value type; holds no pointers.
#pragma once

#include <cstdint>
#include <vector>

class CBlowfish {
 public:
  // The initial (unkeyed) tables; call SetKey before use.
  CBlowfish();

  // Standard Blowfish key schedule over `len` bytes of `key` (the key bytes
  // are taken cyclically). A null key or len 0 runs the schedule with no key
  // bytes mixed in.
  void SetKey(const char* key, unsigned len);

  // Pads (8 - size % 8 bytes, each of that value) and enciphers every block.
  std::vector<char> Encrypt(const std::vector<char>& in) const;
  // Deciphers every whole block (a trailing partial block is kept as given)
  // and strips the padding only when it is consistent; never fails.
  std::vector<char> Decrypt(const std::vector<char>& in) const;

  // One block, in the standard Blowfish word convention.
  void EncryptBlock(uint32_t& l, uint32_t& r) const;
  void DecryptBlock(uint32_t& l, uint32_t& r) const;

 private:
  uint32_t F(uint32_t x) const {
    return ((S_[0][x >> 24] + S_[1][(x >> 16) & 0xFF]) ^ S_[2][(x >> 8) & 0xFF]) + S_[3][x & 0xFF];
  }
  void Reset();

  uint32_t P_[18];
  uint32_t S_[4][256];
};

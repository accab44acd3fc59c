#include "diagnostics/des_cipher.h"

#include <cstring>

namespace {

// The tables of FIPS 46-3; entries are 1-based bit positions.
const uint8_t kIp[64] = {58, 50, 42, 34, 26, 18, 10, 2, 60, 52, 44, 36, 28, 20, 12, 4,
                         62, 54, 46, 38, 30, 22, 14, 6, 64, 56, 48, 40, 32, 24, 16, 8,
                         57, 49, 41, 33, 25, 17, 9,  1, 59, 51, 43, 35, 27, 19, 11, 3,
                         61, 53, 45, 37, 29, 21, 13, 5, 63, 55, 47, 39, 31, 23, 15, 7};

const uint8_t kFp[64] = {40, 8, 48, 16, 56, 24, 64, 32, 39, 7, 47, 15, 55, 23, 63, 31,
                         38, 6, 46, 14, 54, 22, 62, 30, 37, 5, 45, 13, 53, 21, 61, 29,
                         36, 4, 44, 12, 52, 20, 60, 28, 35, 3, 43, 11, 51, 19, 59, 27,
                         34, 2, 42, 10, 50, 18, 58, 26, 33, 1, 41, 9,  49, 17, 57, 25};

const uint8_t kE[48] = {32, 1,  2,  3,  4,  5,  4,  5,  6,  7,  8,  9,  8,  9,  10, 11,
                        12, 13, 12, 13, 14, 15, 16, 17, 16, 17, 18, 19, 20, 21, 20, 21,
                        22, 23, 24, 25, 24, 25, 26, 27, 28, 29, 28, 29, 30, 31, 32, 1};

const uint8_t kP[32] = {16, 7, 20, 21, 29, 12, 28, 17, 1,  15, 23, 26, 5,  18, 31, 10,
                        2,  8, 24, 14, 32, 27, 3,  9,  19, 13, 30, 6,  22, 11, 4,  25};

const uint8_t kPc1[56] = {57, 49, 41, 33, 25, 17, 9,  1,  58, 50, 42, 34, 26, 18,
                          10, 2,  59, 51, 43, 35, 27, 19, 11, 3,  60, 52, 44, 36,
                          63, 55, 47, 39, 31, 23, 15, 7,  62, 54, 46, 38, 30, 22,
                          14, 6,  61, 53, 45, 37, 29, 21, 13, 5,  28, 20, 12, 4};

const uint8_t kPc2[48] = {14, 17, 11, 24, 1,  5,  3,  28, 15, 6,  21, 10, 23, 19, 12, 4,
                          26, 8,  16, 7,  27, 20, 13, 2,  41, 52, 31, 37, 47, 55, 30, 40,
                          51, 45, 33, 48, 44, 49, 39, 56, 34, 53, 46, 42, 50, 36, 29, 32};

const uint8_t kShifts[16] = {1, 1, 2, 2, 2, 2, 2, 2, 1, 2, 2, 2, 2, 2, 2, 1};

const uint8_t kSbox[8][64] = {
    {14, 4,  13, 1, 2,  15, 11, 8, 3, 10, 6, 12, 5,  9,  0,  7,  0,  15, 7,  4,  14, 2,
     13, 1,  10, 6, 12, 11, 9,  5, 3, 8,  4, 1,  14, 8,  13, 6,  2,  11, 15, 12, 9,  7,
     3,  10, 5,  0, 15, 12, 8,  2, 4, 9,  1, 7,  5,  11, 3,  14, 10, 0,  6,  13},
    {15, 1,  8,  14, 6,  11, 3,  4, 9,  7,  2, 13, 12, 0,  5,  10, 3,  13, 4,  7, 15, 2,
     8,  14, 12, 0,  1,  10, 6,  9, 11, 5,  0, 14, 7,  11, 10, 4,  13, 1,  5,  8, 12, 6,
     9,  3,  2,  15, 13, 8,  10, 1, 3,  15, 4, 2,  11, 6,  7,  12, 0,  5,  14, 9},
    {10, 0,  9,  14, 6, 3,  15, 5,  1,  13, 12, 7, 11, 4,  2,  8,  13, 7, 0,  9, 3, 4,
     6,  10, 2,  8,  5, 14, 12, 11, 15, 1,  13, 6, 4,  9,  8,  15, 3,  0, 11, 1, 2, 12,
     5,  10, 14, 7,  1, 10, 13, 0,  6,  9,  8,  7, 4,  15, 14, 3,  11, 5, 2,  12},
    {7, 13, 14, 3, 0, 6,  9, 10, 1,  2, 8,  5, 11, 12, 4,  15, 13, 8,  11, 5, 6, 15,
     0, 3,  4,  7, 2, 12, 1, 10, 14, 9, 10, 6, 9,  0,  12, 11, 7,  13, 15, 1, 3, 14,
     5, 2,  8,  4, 3, 15, 0, 6,  10, 1, 13, 8, 9,  4,  5,  11, 12, 7,  2,  14},
    {2,  12, 4, 1,  7,  10, 11, 6, 8, 5,  3, 15, 13, 0,  14, 9,  14, 11, 2,  12, 4,  7,
     13, 1,  5, 0,  15, 10, 3,  9, 8, 6,  4, 2,  1,  11, 10, 13, 7,  8,  15, 9,  12, 5,
     6,  3,  0, 14, 11, 8,  12, 7, 1, 14, 2, 13, 6,  15, 0,  9,  10, 4,  5,  3},
    {12, 1,  10, 15, 9,  2,  6, 8,  0, 13, 3,  4,  14, 7,  5, 11, 10, 15, 4, 2, 7, 12,
     9,  5,  6,  1,  13, 14, 0, 11, 3, 8,  9,  14, 15, 5,  2, 8,  12, 3,  7, 0, 4, 10,
     1,  13, 11, 6,  4,  3,  2, 12, 9, 5,  15, 10, 11, 14, 1, 7,  6,  0,  8, 13},
    {4, 11, 2,  14, 15, 0,  8,  13, 3, 12, 9,  7, 5,  10, 6,  1,  13, 0,  11, 7,  4, 9,
     1, 10, 14, 3,  5,  12, 2,  15, 8, 6,  1,  4, 11, 13, 12, 3,  7,  14, 10, 15, 6, 8,
     0, 5,  9,  2,  6,  11, 13, 8,  1, 4,  10, 7, 9,  5,  0,  15, 14, 2,  3,  12},
    {13, 2, 8,  4, 6, 15, 11, 1,  10, 9,  3, 14, 5,  0,  12, 7,  1,  15, 13, 8, 10, 3,
     7,  4, 12, 5, 6, 11, 0,  14, 9,  2,  7, 11, 4,  1,  9,  12, 14, 2,  0,  6, 10, 13,
     15, 3, 5,  8, 2, 1,  14, 7,  4,  10, 8, 13, 15, 12, 9,  0,  3,  5,  6,  11}};

void BytesToBits(const uint8_t* bytes, size_t nbytes, uint8_t* bits) {
  for (size_t i = 0; i < nbytes * 8; ++i) bits[i] = (bytes[i / 8] >> (7 - i % 8)) & 1;
}

void BitsToBytes(const uint8_t* bits, size_t nbytes, uint8_t* bytes) {
  for (size_t i = 0; i < nbytes; ++i) {
    uint8_t b = 0;
    for (size_t j = 0; j < 8; ++j) b = uint8_t((b << 1) | bits[i * 8 + j]);
    bytes[i] = b;
  }
}

void Permute(const uint8_t* in, const uint8_t* table, size_t n, uint8_t* out) {
  for (size_t i = 0; i < n; ++i) out[i] = in[table[i] - 1];
}

void RotateLeft(uint8_t* half, int count) {
  for (int c = 0; c < count; ++c) {
    uint8_t first = half[0];
    std::memmove(half, half + 1, 27);
    half[27] = first;
  }
}

}  // namespace

CDesCipher::CDesCipher() {
  std::memset(subkeys_, 0, sizeof subkeys_);
  std::memset(last_enc_block_, 0, sizeof last_enc_block_);
  std::memset(last_dec_block_, 0, sizeof last_dec_block_);
  std::memset(enc_out_, 0, sizeof enc_out_);
  std::memset(dec_out_, 0, sizeof dec_out_);
}

void CDesCipher::SetKey(const uint8_t key[8]) {
  uint8_t key_bits[64], cd[56];
  BytesToBits(key, 8, key_bits);
  Permute(key_bits, kPc1, 56, cd);
  for (int round = 0; round < 16; ++round) {
    RotateLeft(cd, kShifts[round]);
    RotateLeft(cd + 28, kShifts[round]);
    Permute(cd, kPc2, 48, subkeys_[round]);
  }
}

void CDesCipher::CryptBlock(const uint8_t in[8], uint8_t out[8], bool decipher) {
  uint8_t bits[64], lr[64];
  BytesToBits(in, 8, bits);
  Permute(bits, kIp, 64, lr);
  uint8_t* left = lr;
  uint8_t* right = lr + 32;
  for (int round = 0; round < 16; ++round) {
    const uint8_t* k = subkeys_[decipher ? 15 - round : round];
    uint8_t x[48];
    Permute(right, kE, 48, x);
    for (int i = 0; i < 48; ++i) x[i] ^= k[i];
    uint8_t s_out[32];
    for (int s = 0; s < 8; ++s) {
      const uint8_t* six = x + s * 6;
      int row = (six[0] << 1) | six[5];
      int col = (six[1] << 3) | (six[2] << 2) | (six[3] << 1) | six[4];
      uint8_t v = kSbox[s][row * 16 + col];
      for (int b = 0; b < 4; ++b) s_out[s * 4 + b] = (v >> (3 - b)) & 1;
    }
    uint8_t f[32];
    Permute(s_out, kP, 32, f);
    for (int i = 0; i < 32; ++i) {
      uint8_t new_right = left[i] ^ f[i];
      left[i] = right[i];
      right[i] = new_right;
    }
  }
  // The last round's halves are not swapped: the preoutput block is R16 L16.
  uint8_t preout[64];
  std::memcpy(preout, right, 32);
  std::memcpy(preout + 32, left, 32);
  Permute(preout, kFp, 64, bits);
  BitsToBytes(bits, 8, out);
}

size_t CDesCipher::MaxEncipherInput() {
  // n > 8 with n % 8 == 0 takes one more (all-zero) block: the largest n whose
  // blocks and NUL fit is the last multiple of 8 below the buffer, less one block.
  return kBufferSize - 16;
}

bool CDesCipher::Encipher(const uint8_t* data, size_t n) {
  enc_out_[0] = 0;
  if (n > MaxEncipherInput()) return false;
  size_t whole = n <= 8 ? 0 : n / 8;
  size_t out = 0;
  for (size_t b = 0; b < whole; ++b, out += 8) CryptBlock(data + b * 8, enc_out_ + out, false);
  // The tail (or the whole text when it is at most one block) zero-padded;
  // when n > 8 is a multiple of 8 this is an all-zero block the hex encoder
  // never sends.
  uint8_t tail[8] = {};
  size_t rest = n - whole * 8;
  if (rest) std::memcpy(tail, data + whole * 8, rest);
  CryptBlock(tail, enc_out_ + out, false);
  out += 8;
  std::memcpy(last_enc_block_, enc_out_ + out - 8, 8);
  enc_out_[out] = 0;
  return true;
}

bool CDesCipher::Decipher(const uint8_t* data, size_t n) {
  dec_out_[0] = 0;
  if (n > MaxDecipherInput()) return false;
  size_t whole = n / 8;
  for (size_t b = 0; b < whole; ++b) CryptBlock(data + b * 8, dec_out_ + b * 8, true);
  size_t rest = n % 8;
  if (rest) {
    // Only the n given bytes are read: the tail block is zero-padded here.
    uint8_t tail[8] = {}, plain[8];
    std::memcpy(tail, data + whole * 8, rest);
    CryptBlock(tail, plain, true);
    std::memcpy(dec_out_ + whole * 8, plain, rest);
  }
  if (n >= 8) std::memcpy(last_dec_block_, dec_out_ + (n - 8), 8);
  dec_out_[n] = 0;
  return true;
}

// CXOREncrypt: a reversible text scrambler whose output is lowercase hex text
// carrying a fresh random key in every group of five bytes, exported by
// Zintal.dll. Static operations only.
// Thread safety: any thread; draws from the calling thread's C library
// random generator (rand).
//
// Format, for a text of length L (mod 256) padded to n = ((L + 4) / 5) * 5:
//   key[0] = L, key[1..4] = rand() % 255 each, drawn in that order;
//   for j in 0..n-1: k = key[j % 5], c = text[j] ^ k (j < L) or k ^ (rand() % 255);
//   output: "%02x%02x" of (k, c) for each j, 4 * n characters, then a NUL.
// So the first two characters carry L, and every 20 characters repeat the key.
#pragma once

#include <cstdint>

#include "common_services/include/zintal/zintal_api.h"

// What this header declares has Zintal.dll's layout whatever packing the
// includer has set; the compiler and libstdc++ settings a caller shares:
// zintal_api.h.
#pragma pack(push, 8)

class ZINTAL_API CXOREncrypt {
 public:
  // Encodes the text up to its NUL (its first L = length mod 256 bytes).
  // Returns 4 * n, the characters written without the NUL; when `output_size`
  // is below 4 * n + 1 it returns 4 * n + 1, the size needed, and the output
  // is an empty text (nothing at all when output_size is 0).
  static uint16_t EncryptData(const char* text, char* output, uint16_t output_size);
  // Decodes a text that EncryptData wrote and returns L. 0 (empty output) for
  // a text shorter than 20 characters, of a length its length byte does not
  // give, or with a non-hex digit where a digit is read; L with an empty
  // output when output_size cannot take L characters and a NUL.
  static uint16_t CrevasseData(const char* hex_text, char* output, uint16_t output_size);

  CXOREncrypt& operator=(const CXOREncrypt& other);

 private:
  CXOREncrypt();
};

ZINTAL_ABI_SIZE(CXOREncrypt, 1);

#pragma pack(pop)

// DES (FIPS 46-3) in ECB mode with the fixed result buffers of the report and
// configuration exchanges: the report body is enciphered with it, the web
// service's configuration answer deciphered. Portable; no OS calls.
// Thread safety: one object per exchange, used by one thread.
// Ownership: results live in the object's own buffers until the next call.
//
// Block layout: bit 1 of a block or key is the most significant bit of its
// first byte. Encipher zero-pads a final partial block; decipher deciphers a
// final partial block from its bytes zero-padded to 8 and keeps n mod 8 bytes.
//
// | buffer    | size | holds                                       |
// |-----------|------|---------------------------------------------|
// | encipher  | 8192 | ceil(n/8)*8 result bytes (+1 block when n>8 and n%8==0: all zero), then NUL
// | | decipher  | 8192 | n result bytes, then NUL                    |
#pragma once

#include <cstddef>
#include <cstdint>

class CDesCipher {
 public:
  static constexpr size_t kBufferSize = 8192;

  CDesCipher();

  // Builds the 16 round subkeys from the 8 key bytes (parity bits ignored).
  void SetKey(const uint8_t key[8]);

  // ECB over n bytes into the encipher buffer. False, and an empty buffer,
  // when the result and its NUL would not fit the buffer.
  bool Encipher(const uint8_t* data, size_t n);
  // Inverse into the decipher buffer; false, and an empty buffer, when the n
  // bytes and their NUL would not fit.
  bool Decipher(const uint8_t* data, size_t n);

  const uint8_t* enciphered() const { return enc_out_; }
  const uint8_t* deciphered() const { return dec_out_; }
  // Largest n that Encipher and Decipher take.
  static size_t MaxEncipherInput();
  static size_t MaxDecipherInput() { return kBufferSize - 1; }

 private:
  void CryptBlock(const uint8_t in[8], uint8_t out[8], bool decipher);

  uint8_t subkeys_[16][48];  // one bit per byte
  uint8_t last_enc_block_[8];
  uint8_t last_dec_block_[8];
  uint8_t enc_out_[kBufferSize];
  uint8_t dec_out_[kBufferSize];
};

// MD5 message digest (RFC 1321), this system's own: the diagnostics library
// signs its report queries with it and the common-services library's
// CMD5Encrypt builds on it. Portable; no OS calls.
// Thread safety: a Md5 object is used by one thread at a time; the free
// functions are reentrant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace md5 {

// Incremental digest: Update any number of times, then Final once.
class Md5 {
 public:
  Md5();
  void Update(const void* data, size_t size);
  // Writes the 16-byte digest; the object must not be updated afterwards.
  void Final(uint8_t digest[16]);

 private:
  void Transform(const uint8_t block[64]);

  uint32_t state_[4];
  uint64_t bit_count_ = 0;
  uint8_t buffer_[64];
};

void Digest(const void* data, size_t size, uint8_t digest[16]);
// The 32 hex digits of the digest, lowercase unless `upper`.
std::string HexDigest(const void* data, size_t size, bool upper = false);

}  // namespace md5

// CMD5Checksum: the report query's signature digest, on the shared MD5 core
// (shared/md5). Portable.
// Thread safety: one object per digest, used by one thread.
#pragma once

#include <cstddef>
#include <string>

#include "shared/md5/md5.h"

class CMD5Checksum {
 public:
  virtual ~CMD5Checksum() = default;

  // The 32 lowercase hex digits of the MD5 of n bytes.
  std::string GetMD5(const void* bytes, size_t n);

 private:
  md5::Md5 md5_;
};

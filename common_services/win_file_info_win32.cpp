#include "common_services/include/zintal/win_file_info.h"

#include <cstdio>
#include <cstring>

namespace {

// The query path buffer of QueryValue: "\StringFileInfo\" + 8 hex digits +
// "\" + the name + NUL must fit.
constexpr size_t kQueryPathSize = 128;

// VerQueryValueA takes no buffer size: it walks the block by the lengths the
// block gives and, for a Unicode (32-bit) block, writes each text it answers,
// converted, at the root's length plus 4 bytes further on; that is why
// GetFileVersionInfoSizeA asks for twice the block and 4 bytes more. So the
// root's own length must not pass what was read: for a Unicode block that is
// (size - 4) / 2 bytes, the rest of the size being room for the conversions;
// for a 16-bit block (its ANSI key at offset 4 where a Unicode block has its
// type word, 0 or 1) the whole size.
bool RootFitsWhatWasRead(const BYTE* block, DWORD size) {
  if (size < 6) return false;
  const WORD root_length = static_cast<WORD>(block[0] | (block[1] << 8));
  const bool unicode = block[4] < ' ';
  return root_length <= (unicode ? (size - 4) / 2 : size);
}

}  // namespace

CWinFileInfo::CWinFileInfo() : translation_(0), info_size_(0), fixed_info_(nullptr) {
  std::memset(info_buffer_, 0, sizeof(info_buffer_));
}

CWinFileInfo::CWinFileInfo(const CWinFileInfo& other) : CWinFileInfo() { *this = other; }

CWinFileInfo& CWinFileInfo::operator=(const CWinFileInfo& other) {
  if (this == &other) return *this;
  translation_ = other.translation_;
  info_size_ = other.info_size_;
  std::memcpy(info_buffer_, other.info_buffer_, sizeof(info_buffer_));
  // The source's pointer names a place in the source's buffer: the copy
  // points to the same place in its own.
  fixed_info_ = nullptr;
  if (other.fixed_info_ != nullptr) {
    const size_t offset = reinterpret_cast<const BYTE*>(other.fixed_info_) - other.info_buffer_;
    fixed_info_ = reinterpret_cast<VS_FIXEDFILEINFO*>(info_buffer_ + offset);
  }
  return *this;
}

CWinFileInfo::~CWinFileInfo() {}

void CWinFileInfo::Reset() {
  translation_ = 0;
  info_size_ = 0;
  fixed_info_ = nullptr;
  std::memset(info_buffer_, 0, sizeof(info_buffer_));
}

const BYTE* CWinFileInfo::QueryBlock(LPCSTR sub_block, UINT min_size, UINT* size) {
  void* found = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(info_buffer_, sub_block, &found, &length) || found == nullptr) {
    return nullptr;
  }
  // The block came from a file: whatever it says, nothing outside the bytes
  // read is handed on.
  const BYTE* p = static_cast<const BYTE*>(found);
  const BYTE* end = info_buffer_ + info_size_;
  if (p < info_buffer_ || p >= end || static_cast<size_t>(end - p) < min_size) return nullptr;
  if (size != nullptr) *size = length;
  return p;
}

bool CWinFileInfo::OpenWinFile(LPCSTR file_name) {
  Reset();
  if (file_name == nullptr) return false;
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(file_name, &handle);
  if (size == 0 || size > kBufferSize) return false;
  if (!GetFileVersionInfoA(file_name, 0, size, info_buffer_)) {
    Reset();
    return false;
  }
  if (!RootFitsWhatWasRead(info_buffer_, size)) {
    Reset();
    return false;
  }
  info_size_ = size;

  UINT length = 0;
  const BYTE* table = QueryBlock("\\VarFileInfo\\Translation", 2 * sizeof(WORD), &length);
  if (table != nullptr && length >= 2 * sizeof(WORD)) {
    WORD entry[2];
    std::memcpy(entry, table, sizeof(entry));
    translation_ = (static_cast<DWORD>(entry[0]) << 16) | entry[1];
  }

  length = 0;
  const BYTE* fixed = QueryBlock("\\", sizeof(VS_FIXEDFILEINFO), &length);
  if (fixed == nullptr || length != sizeof(VS_FIXEDFILEINFO)) {
    Reset();  // a failed open keeps nothing of the file
    return false;
  }
  fixed_info_ = reinterpret_cast<VS_FIXEDFILEINFO*>(const_cast<BYTE*>(fixed));
  return true;
}

LPCSTR CWinFileInfo::QueryValue(LPCSTR name) {
  if (name == nullptr || info_size_ == 0) return nullptr;
  char path[kQueryPathSize];
  const int n = std::snprintf(path, sizeof(path), "\\StringFileInfo\\%08lx\\%s",
                              static_cast<unsigned long>(translation_), name);
  // A cut path could name another value: a name that does not fit finds nothing.
  if (n < 0 || static_cast<size_t>(n) >= sizeof(path)) return nullptr;
  const BYTE* text = QueryBlock(path, 1, nullptr);
  if (text == nullptr) return nullptr;
  const BYTE* end = info_buffer_ + info_size_;
  if (std::memchr(text, 0, end - text) == nullptr) return nullptr;  // unterminated
  return reinterpret_cast<LPCSTR>(text);
}

VS_FIXEDFILEINFO* CWinFileInfo::GetFixedFileInfo() { return fixed_info_; }

bool CWinFileInfo::GetFileVersion(DWORD& ms, DWORD& ls) {
  if (fixed_info_ == nullptr) {
    ms = ls = 0;
    return false;
  }
  ms = fixed_info_->dwFileVersionMS;
  ls = fixed_info_->dwFileVersionLS;
  return true;
}

bool CWinFileInfo::GetProductVersion(DWORD& ms, DWORD& ls) {
  if (fixed_info_ == nullptr) {
    ms = ls = 0;
    return false;
  }
  ms = fixed_info_->dwProductVersionMS;
  ls = fixed_info_->dwProductVersionLS;
  return true;
}

LPCSTR CWinFileInfo::GetFileVersion() { return QueryValue("FileVersion"); }
LPCSTR CWinFileInfo::GetProductVersion() { return QueryValue("ProductVersion"); }
LPCSTR CWinFileInfo::GetInternalName() { return QueryValue("InternalName"); }
LPCSTR CWinFileInfo::GetCompanyName() { return QueryValue("CompanyName"); }
LPCSTR CWinFileInfo::GetLegalCopyright() { return QueryValue("LegalCopyright"); }
LPCSTR CWinFileInfo::GetOriginalFilename() { return QueryValue("OriginalFilename"); }
LPCSTR CWinFileInfo::GetProductName() { return QueryValue("ProductName"); }
LPCSTR CWinFileInfo::GetFileDescription() { return QueryValue("FileDescription"); }

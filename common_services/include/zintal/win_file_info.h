// CWinFileInfo: reads the version resource of a module file (a DLL or EXE)
// into a 4096-byte buffer of its own and answers the fixed version numbers
// and the standard strings of the file's first translation.
// Thread safety: one caller at a time per object.
// Ownership: the buffer is part of the object; every pointer it hands out
// (fixed info, value texts) points into that buffer and lives until the next
// OpenWinFile or the object's end. A copy gets its own buffer and its own
// pointers into it, never pointers into the source's buffer.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <winver.h>

#include "common_services/include/zintal/zintal_api.h"

// What this header declares has Zintal.dll's layout whatever packing the
// includer has set; the compiler and libstdc++ settings a caller shares:
// zintal_api.h.
#pragma pack(push, 8)

class ZINTAL_API CWinFileInfo {
 public:
  enum : DWORD { kBufferSize = 4096 };

  CWinFileInfo();
  CWinFileInfo(const CWinFileInfo& other);
  CWinFileInfo& operator=(const CWinFileInfo& other);
  virtual ~CWinFileInfo();

  // Reads the version resource of the file; false (and everything reset)
  // when it has none, when it is larger than the buffer, when the block's
  // own length passes the bytes read, or when it lacks a well-formed fixed
  // info.
  bool OpenWinFile(LPCSTR file_name);
  // The text of the string value `name` of the file's translation
  // ("\StringFileInfo\%08lx\%s"), or null: no open file, no such value, or a
  // name too long for the 128-character query path.
  LPCSTR QueryValue(LPCSTR name);

  VS_FIXEDFILEINFO* GetFixedFileInfo();
  bool GetFileVersion(DWORD& ms, DWORD& ls);
  bool GetProductVersion(DWORD& ms, DWORD& ls);

  LPCSTR GetFileVersion();
  LPCSTR GetProductVersion();
  LPCSTR GetInternalName();
  LPCSTR GetCompanyName();
  LPCSTR GetLegalCopyright();
  LPCSTR GetOriginalFilename();
  LPCSTR GetProductName();
  LPCSTR GetFileDescription();

 private:
  void Reset();
  // The result of VerQueryValueA when it lies wholly inside the block read
  // (at least `min_size` bytes of it), else null.
  const BYTE* QueryBlock(LPCSTR sub_block, UINT min_size, UINT* size);

  DWORD translation_;              // (language << 16) | code page, 0 when none
  DWORD info_size_;                // bytes of the version block read
  BYTE info_buffer_[kBufferSize];  // the version block
  VS_FIXEDFILEINFO* fixed_info_;   // inside info_buffer_, or null
};

ZINTAL_ABI_SIZE(CWinFileInfo, 4112);

#pragma pack(pop)

// CFile: a file opened through the Win32 API, as the framework's callers
// hand it on (CWnd::CreateControl reads a control's saved state from one).
// Thread safety: one caller at a time per object.
// Ownership: a CFile closes the handle it opened; one built on a handle
// given to it leaves that handle open.
#pragma once

#include "platform/mfc/mfc_types.h"

// Zintal.dll's exported classes derive from and hold these classes, so their
// layout does not follow the includer's packing (see
// common_services/include/zintal/zintal_api.h).
#pragma pack(push, 8)

class CFile {
 public:
  enum OpenFlags : UINT {
    modeRead = 0x0000,
    modeWrite = 0x0001,
    modeReadWrite = 0x0002,
    modeCreate = 0x1000,
  };
  enum SeekPosition : UINT { begin = 0, current = 1, end = 2 };

  CFile() = default;
  explicit CFile(HANDLE hFile) : m_hFile(hFile) {}
  virtual ~CFile();
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  BOOL Open(LPCSTR lpszFileName, UINT nOpenFlags);
  void Close();
  // Bytes read (0 at the end or on failure).
  UINT Read(void* lpBuf, UINT nCount);
  BOOL Write(const void* lpBuf, UINT nCount);
  // The new position, or (ULONGLONG)-1 on failure.
  ULONGLONG Seek(LONGLONG lOff, UINT nFrom);
  ULONGLONG GetPosition() const;
  ULONGLONG GetLength() const;

  HANDLE m_hFile = INVALID_HANDLE_VALUE;

 private:
  bool owns_handle_ = false;
};

#pragma pack(pop)

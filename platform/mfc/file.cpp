#include "platform/mfc/file.h"

CFile::~CFile() { Close(); }

BOOL CFile::Open(LPCSTR lpszFileName, UINT nOpenFlags) {
  Close();
  if (lpszFileName == nullptr) return FALSE;
  DWORD access = GENERIC_READ;
  if (nOpenFlags & modeWrite) access = GENERIC_WRITE;
  if (nOpenFlags & modeReadWrite) access = GENERIC_READ | GENERIC_WRITE;
  const DWORD disposition = (nOpenFlags & modeCreate) ? CREATE_ALWAYS : OPEN_EXISTING;
  HANDLE h = ::CreateFileA(lpszFileName, access, FILE_SHARE_READ, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return FALSE;
  m_hFile = h;
  owns_handle_ = true;
  return TRUE;
}

void CFile::Close() {
  if (owns_handle_ && m_hFile != INVALID_HANDLE_VALUE) ::CloseHandle(m_hFile);
  m_hFile = INVALID_HANDLE_VALUE;
  owns_handle_ = false;
}

UINT CFile::Read(void* lpBuf, UINT nCount) {
  DWORD got = 0;
  if (m_hFile == INVALID_HANDLE_VALUE || nCount == 0) return 0;
  if (!::ReadFile(m_hFile, lpBuf, nCount, &got, nullptr)) return 0;
  return got;
}

BOOL CFile::Write(const void* lpBuf, UINT nCount) {
  DWORD put = 0;
  if (m_hFile == INVALID_HANDLE_VALUE) return FALSE;
  return ::WriteFile(m_hFile, lpBuf, nCount, &put, nullptr) && put == nCount;
}

ULONGLONG CFile::Seek(LONGLONG lOff, UINT nFrom) {
  LARGE_INTEGER distance, moved;
  distance.QuadPart = lOff;
  const DWORD method = nFrom == end ? FILE_END : nFrom == current ? FILE_CURRENT : FILE_BEGIN;
  if (!::SetFilePointerEx(m_hFile, distance, &moved, method)) return static_cast<ULONGLONG>(-1);
  return static_cast<ULONGLONG>(moved.QuadPart);
}

ULONGLONG CFile::GetPosition() const {
  LARGE_INTEGER zero, at;
  zero.QuadPart = 0;
  if (!::SetFilePointerEx(m_hFile, zero, &at, FILE_CURRENT)) return 0;
  return static_cast<ULONGLONG>(at.QuadPart);
}

ULONGLONG CFile::GetLength() const {
  LARGE_INTEGER size;
  if (!::GetFileSizeEx(m_hFile, &size)) return 0;
  return static_cast<ULONGLONG>(size.QuadPart);
}

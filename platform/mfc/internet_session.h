// MFC-style HTTP session classes on WinInet, only as much as the diagnostics
// library's HttpRequest calls: CInternetSession (options, OpenURL,
// GetHttpConnection), CHttpConnection (OpenRequest), CInternetFile and
// CHttpFile (ReadString, SendRequestEx, Write, EndRequest,
// QueryInfoStatusCode), CInternetException and AfxParseURL. Texts are
// std::string in the ANSI code page (no CString here).
// Failures throw a CInternetException* allocated with new, as MFC does; the
// catcher calls Delete(). No exception leaves the module that links these.
// Thread safety: one session and its objects per thread.
// Ownership: OpenURL, GetHttpConnection and OpenRequest return objects the
// caller closes and deletes; a file or connection must be deleted before its
// session is destroyed (their handles are children of the session's).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <wininet.h>

#include <string>

class CInternetException {
 public:
  explicit CInternetException(DWORD error) : m_dwError(error) {}
  void Delete() { delete this; }

  DWORD m_dwError;
};

class CInternetFile {
 public:
  explicit CInternetFile(HINTERNET file);
  virtual ~CInternetFile();

  // Reads up to and without the next '\n' into *line; false at the end of
  // the data with nothing read. Throws CInternetException* on a read error.
  bool ReadString(std::string* line);
  // The same, but stops after `max` characters (the rest of the line comes
  // with the next call), as MFC's ReadString(pstr, nMax) does.
  bool ReadString(std::string* line, size_t max);
  // Throws CInternetException* on a write error.
  void Write(const void* data, DWORD size);
  virtual void Close();

 protected:
  HINTERNET file_;

 private:
  bool Fill();

  char buffer_[4096];
  DWORD buffered_ = 0;
  DWORD pos_ = 0;
};

class CHttpFile : public CInternetFile {
 public:
  using CInternetFile::CInternetFile;

  // HttpSendRequestEx announcing `total_length` body bytes.
  void SendRequestEx(DWORD total_length);
  void EndRequest();
  // The HTTP status; false when the answer has none.
  bool QueryInfoStatusCode(DWORD* status);
};

class CHttpConnection {
 public:
  explicit CHttpConnection(HINTERNET connection) : connection_(connection) {}
  virtual ~CHttpConnection();

  // HttpOpenRequest; no referrer and no accept types, the default version.
  CHttpFile* OpenRequest(const char* verb, const std::string& object, DWORD flags);
  void Close();

 private:
  HINTERNET connection_;
};

class CInternetSession {
 public:
  // Agent name, context and access type as MFC takes them (no agent name:
  // the module's; access: the system's preconfigured settings).
  explicit CInternetSession(const char* agent = nullptr, DWORD_PTR context = 1,
                            DWORD access_type = INTERNET_OPEN_TYPE_PRECONFIG);
  virtual ~CInternetSession();

  bool SetOption(DWORD option, DWORD value);
  CInternetFile* OpenURL(const std::string& url, DWORD flags);
  CHttpConnection* GetHttpConnection(const std::string& server, INTERNET_PORT port);
  void Close();

 private:
  HINTERNET session_;
  DWORD_PTR context_;
};

// Splits a URL into its service type, server, object (path and query) and
// port; false when it is no URL WinInet can crack.
bool AfxParseURL(const std::string& url, DWORD* service_type, std::string* server,
                 std::string* object, INTERNET_PORT* port);

#include "platform/mfc/internet_session.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

[[noreturn]] void ThrowLastError() { throw new CInternetException(GetLastError()); }

}  // namespace

CInternetFile::CInternetFile(HINTERNET file) : file_(file) {}

CInternetFile::~CInternetFile() { Close(); }

void CInternetFile::Close() {
  if (file_) InternetCloseHandle(file_);
  file_ = nullptr;
}

bool CInternetFile::Fill() {
  DWORD got = 0;
  if (!InternetReadFile(file_, buffer_, sizeof buffer_, &got)) ThrowLastError();
  buffered_ = got;
  pos_ = 0;
  return got > 0;
}

bool CInternetFile::ReadString(std::string* line) { return ReadString(line, std::string::npos); }

bool CInternetFile::ReadString(std::string* line, size_t max) {
  line->clear();
  bool any = false;
  while (line->size() < max) {
    if (pos_ == buffered_ && !Fill()) return any;
    any = true;
    const char* start = buffer_ + pos_;
    DWORD avail = DWORD(std::min<size_t>(buffered_ - pos_, max - line->size()));
    const void* nl = std::memchr(start, '\n', avail);
    if (nl) {
      DWORD len = DWORD(static_cast<const char*>(nl) - start);
      line->append(start, len);
      pos_ += len + 1;
      return true;
    }
    line->append(start, avail);
    pos_ += avail;
  }
  return true;
}

void CInternetFile::Write(const void* data, DWORD size) {
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD written = 0;
    if (!InternetWriteFile(file_, p, size, &written) || written == 0) ThrowLastError();
    p += written;
    size -= written;
  }
}

void CHttpFile::SendRequestEx(DWORD total_length) {
  INTERNET_BUFFERSA buffers;
  std::memset(&buffers, 0, sizeof buffers);
  buffers.dwStructSize = sizeof buffers;
  buffers.dwBufferTotal = total_length;
  if (!HttpSendRequestExA(file_, &buffers, nullptr, 0, 1)) ThrowLastError();
}

void CHttpFile::EndRequest() {
  if (!HttpEndRequestA(file_, nullptr, 0, 1)) ThrowLastError();
}

bool CHttpFile::QueryInfoStatusCode(DWORD* status) {
  DWORD size = sizeof *status;
  return HttpQueryInfoA(file_, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, status, &size,
                        nullptr) != FALSE;
}

CHttpConnection::~CHttpConnection() { Close(); }

void CHttpConnection::Close() {
  if (connection_) InternetCloseHandle(connection_);
  connection_ = nullptr;
}

CHttpFile* CHttpConnection::OpenRequest(const char* verb, const std::string& object, DWORD flags) {
  HINTERNET file =
      HttpOpenRequestA(connection_, verb, object.c_str(), nullptr, nullptr, nullptr, flags, 1);
  if (!file) ThrowLastError();
  return new CHttpFile(file);
}

CInternetSession::CInternetSession(const char* agent, DWORD_PTR context, DWORD access_type)
    : context_(context) {
  char module[MAX_PATH] = "";
  if (!agent) {
    // MFC names the session after the application when no agent is given.
    GetModuleFileNameA(nullptr, module, sizeof module);
    const char* base = std::strrchr(module, '\\');
    agent = base ? base + 1 : module;
  }
  session_ = InternetOpenA(agent, access_type, nullptr, nullptr, 0);
  if (!session_) ThrowLastError();
}

CInternetSession::~CInternetSession() { Close(); }

void CInternetSession::Close() {
  if (session_) InternetCloseHandle(session_);
  session_ = nullptr;
}

bool CInternetSession::SetOption(DWORD option, DWORD value) {
  return InternetSetOptionA(session_, option, &value, sizeof value) != FALSE;
}

CInternetFile* CInternetSession::OpenURL(const std::string& url, DWORD flags) {
  HINTERNET file = InternetOpenUrlA(session_, url.c_str(), nullptr, 0, flags, context_);
  if (!file) ThrowLastError();
  return new CHttpFile(file);
}

CHttpConnection* CInternetSession::GetHttpConnection(const std::string& server,
                                                     INTERNET_PORT port) {
  HINTERNET connection = InternetConnectA(session_, server.c_str(), port, nullptr, nullptr,
                                          INTERNET_SERVICE_HTTP, 0, context_);
  if (!connection) ThrowLastError();
  return new CHttpConnection(connection);
}

bool AfxParseURL(const std::string& url, DWORD* service_type, std::string* server,
                 std::string* object, INTERNET_PORT* port) {
  std::vector<char> host(url.size() + 1), path(url.size() + 1), extra(url.size() + 1);
  URL_COMPONENTSA parts;
  std::memset(&parts, 0, sizeof parts);
  parts.dwStructSize = sizeof parts;
  parts.lpszHostName = host.data();
  parts.dwHostNameLength = DWORD(host.size());
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = DWORD(path.size());
  parts.lpszExtraInfo = extra.data();
  parts.dwExtraInfoLength = DWORD(extra.size());
  if (url.empty() || !InternetCrackUrlA(url.c_str(), DWORD(url.size()), 0, &parts)) return false;
  *service_type = parts.nScheme == INTERNET_SCHEME_HTTP    ? 3  // AFX_INET_SERVICE_HTTP
                  : parts.nScheme == INTERNET_SCHEME_HTTPS ? 4  // AFX_INET_SERVICE_HTTPS
                                                           : 0;
  server->assign(host.data(), parts.dwHostNameLength);
  object->assign(path.data(), parts.dwUrlPathLength);
  object->append(extra.data(), parts.dwExtraInfoLength);
  if (object->empty()) *object = "/";
  *port = parts.nPort;
  return true;
}

#include "diagnostics/http_request.h"

#include <memory>
#include <stdexcept>

#include "diagnostics/stop_signal.h"
#include "platform/mfc/internet_session.h"

namespace {

// The exchange itself, on the calling thread.
int Exchange(const std::string& url, std::string* response, int type, const std::string& body) {
  response->clear();
  int status = 0;
  std::unique_ptr<CInternetFile> file;
  std::unique_ptr<CHttpConnection> connection;
  try {
    CInternetSession session(nullptr, 1, INTERNET_OPEN_TYPE_PRECONFIG);
    try {
      session.SetOption(INTERNET_OPTION_CONNECT_TIMEOUT, 3000);
      session.SetOption(INTERNET_OPTION_SEND_TIMEOUT, 1000);
      session.SetOption(INTERNET_OPTION_RECEIVE_TIMEOUT, 5000);
      session.SetOption(INTERNET_OPTION_DATA_SEND_TIMEOUT, 1000);
      session.SetOption(INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, 5000);
      session.SetOption(INTERNET_OPTION_CONNECT_RETRIES, 1);
      if (type == 1) {
        file.reset(session.OpenURL(
            url, INTERNET_FLAG_TRANSFER_ASCII | INTERNET_FLAG_DONT_CACHE | INTERNET_FLAG_RELOAD));
      } else if (type == 2) {
        DWORD service = 0;
        std::string server, object;
        INTERNET_PORT port = 0;
        if (!AfxParseURL(url, &service, &server, &object, &port)) {
          throw std::runtime_error("bad url");
        }
        connection.reset(session.GetHttpConnection(server, port));
        CHttpFile* http = connection->OpenRequest("POST", object, INTERNET_FLAG_EXISTING_CONNECT);
        file.reset(http);
        http->SendRequestEx(DWORD(body.size()));
        http->Write(body.data(), DWORD(body.size()));
        http->EndRequest();
        DWORD code = 0;
        http->QueryInfoStatusCode(&code);
        status = int(code);
        if (code != 200) throw std::runtime_error("STATUS Failed");
      } else {
        throw std::runtime_error("unsupport method");
      }
      std::string line;
      while (file->ReadString(&line)) *response += line;
    } catch (CInternetException* e) {
      e->Delete();
    } catch (const std::exception&) {
    }
    // The file and the connection are children of the session's handle:
    // closed before it.
    if (file) file->Close();
    if (connection) connection->Close();
    session.Close();
  } catch (CInternetException* e) {  // the session itself could not be opened
    e->Delete();
  }
  return status;
}

// One exchange handed to a helper thread; shared, so that a worker that
// leaves on Stop does not pull it from under the helper.
struct PendingExchange {
  std::string url;
  std::string body;
  int type = 0;
  std::string response;
  int status = 0;
};

DWORD WINAPI ExchangeThread(void* arg) {
  std::unique_ptr<std::shared_ptr<PendingExchange>> holder(
      static_cast<std::shared_ptr<PendingExchange>*>(arg));
  std::shared_ptr<PendingExchange> ex = *holder;
  holder.reset();
  ex->status = Exchange(ex->url, &ex->response, ex->type, ex->body);
  HMODULE self = nullptr;
  GetModuleHandleExA(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCSTR>(&ExchangeThread), &self);
  ex.reset();
  // Drops the reference HttpRequest took for this thread: the library stays
  // mapped while the thread runs, even after its host freed it.
  FreeLibraryAndExitThread(self, 0);
}

}  // namespace

int HttpRequest(const std::string& url, std::string* response, int type, const std::string& body,
                const StopSignal* stop) {
  if (!stop) return Exchange(url, response, type, body);
  response->clear();
  if (stop->stopping()) return 0;
  // WinInet's blocking calls cannot be woken under Wine (closing a socket
  // does not end a receive in progress), and the receive time-out (5 s) is
  // past Stop's 3 s: the exchange runs on a helper thread, and on Stop the
  // worker leaves it to end by its own time-outs.
  auto ex = std::make_shared<PendingExchange>();
  ex->url = url;
  ex->body = body;
  ex->type = type;
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                          reinterpret_cast<LPCSTR>(&ExchangeThread), &self)) {
    return Exchange(url, response, type, body);
  }
  auto* holder = new std::shared_ptr<PendingExchange>(ex);
  HANDLE thread = CreateThread(nullptr, 0, &ExchangeThread, holder, 0, nullptr);
  if (!thread) {
    delete holder;
    FreeLibrary(self);
    return Exchange(url, response, type, body);
  }
  HANDLE waits[2] = {thread, stop->event()};
  DWORD woke = WaitForMultipleObjects(2, waits, FALSE, INFINITE);
  CloseHandle(thread);
  if (woke != WAIT_OBJECT_0) return 0;
  *response = std::move(ex->response);
  return ex->status;
}

#include "diagnostics/probes/http_request.h"

#include <atomic>
#include <memory>
#include <stdexcept>

#include "diagnostics/probes/pinned_call.h"
#include "diagnostics/probes/stop_signal.h"
#include "diagnostics/answer_read.h"
#include "platform/mfc/internet_session.h"

namespace {

// The exchange itself, on the calling thread. The answer is read up to
// its caps (answer_read.h; a longer one is cut there: its readers see it as
// the over-long case, or search the part read); `abandoned`, when it is set
// between two reads, ends the reading. `answered`, when given, is set once
// the answer and `*status` are final, before the handles close: Wine's
// WinInet reads on through what the server already sent as a request
// closes, which the caller need not wait for.
int Exchange(const std::string& url, std::string* response, int type, const std::string& body,
             const std::atomic<bool>* abandoned, int* status_out = nullptr,
             HANDLE answered = nullptr) {
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
      diag::ReadAnswerLines(
          [&](std::string* line, size_t max) { return file->ReadString(line, max); }, abandoned,
          response);
    } catch (CInternetException* e) {
      e->Delete();
    } catch (const std::exception&) {
    }
    if (status_out) *status_out = status;
    if (answered) SetEvent(answered);
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
  std::atomic<bool> abandoned{false};
  // Manual-reset; set by the helper once response and status are final.
  HANDLE answered = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  PendingExchange() = default;
  PendingExchange(const PendingExchange&) = delete;
  PendingExchange& operator=(const PendingExchange&) = delete;
  ~PendingExchange() {
    if (answered) CloseHandle(answered);
  }
};

}  // namespace

int HttpRequest(const std::string& url, std::string* response, int type, const std::string& body,
                const StopSignal* stop) {
  if (!stop) return Exchange(url, response, type, body, nullptr);
  response->clear();
  // WinInet's blocking calls cannot be woken under Wine (closing a socket
  // does not end a receive in progress), and the receive time-out (5 s) is
  // past Stop's 3 s: the exchange runs on a helper thread, and on Stop the
  // worker leaves it; the helper stops reading at its next read.
  auto ex = std::make_shared<PendingExchange>();
  ex->url = url;
  ex->body = body;
  ex->type = type;
  bool done = RunPinned(
      [ex] { Exchange(ex->url, &ex->response, ex->type, ex->body, &ex->abandoned, &ex->status,
                      ex->answered); },
      stop, ex->answered);
  if (!done) {
    ex->abandoned.store(true);
    return 0;
  }
  *response = std::move(ex->response);
  return ex->status;
}

#include "diagnostics/http_request.h"

#include <memory>
#include <stdexcept>

#include "platform/mfc/internet_session.h"

int HttpRequest(const std::string& url, std::string* response, int type, const std::string& body) {
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

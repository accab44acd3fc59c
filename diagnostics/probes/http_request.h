// HttpRequest: the diagnostics library's HTTP exchanges on the MFC-style
// WinInet classes: type 1 GET (configuration, public-IP page), type 2 POST
// (report). Time-outs: connect 3000 ms (one retry), send 1000 ms, receive
// 5000 ms. No request header is added; the body goes without a content type.
// Thread safety: any thread; each call has its own session.
// Ownership: `stop` only has to outlive the call.
#pragma once

#include <string>

class StopSignal;

// The answer's lines joined without their line feeds into *response
// (cleared first), read up to the caps of answer_read.h and no
// further; the POST's HTTP status as the result, else 0. Failures
// are swallowed: the caller sees only the text and the status. With a
// `stop`, the exchange runs on a helper thread that keeps the library loaded
// while it runs (pinned_call.h): Stop makes the call return at once (empty
// text, status 0), and the helper stops reading at its next read (each
// waits at most the receive time-out); none starts after Stop.
int HttpRequest(const std::string& url, std::string* response, int type, const std::string& body,
                const StopSignal* stop = nullptr);

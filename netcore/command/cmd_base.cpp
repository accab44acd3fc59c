#include "netcore/command/cmd_base.h"

#include <cstring>

namespace bs {

CmdRouteHeader::CmdRouteHeader() {
  // All 72 bytes, the named padding included: the record is written raw into
  // the records sent to game programs.
  std::memset(static_cast<void*>(this), 0, sizeof(*this));
}

void CommonDeleteHandler::Release() {
  // acq_rel: the thread that drops the last reference sees every write the
  // other holders made to the command before their Release.
  if (refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    delete command;
    delete this;
  }
}

void CommonDeleteHandler::AddRef() { refs.fetch_add(1, std::memory_order_relaxed); }

bool CMD_base::Decode(const std::string& /*body*/) { return false; }

bool CMD_base::Encode(std::string* /*out*/) { return false; }

CMD_base::~CMD_base() = default;

void CMD_base::AttachDeleteHandler() {
  if (handler != nullptr) return;
  auto* h = new CommonDeleteHandler(this);
  h->refs.exchange(1, std::memory_order_acq_rel);
  handler = h;
}

}  // namespace bs

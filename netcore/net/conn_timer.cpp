#include "netcore/net/conn_timer.h"

#include "netcore/net/conn_mgr.h"

void QConnTimer::OnFire(evutil_socket_t /*fd*/, short /*what*/, void* arg) {
  auto* timer = static_cast<QConnTimer*>(arg);
  timer->owner->FireTimer(timer);
}

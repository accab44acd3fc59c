// The library's one exported entry towards the launcher.
#include "nfhall/nfhall_impl.h"

namespace {
nfhall::NFHallSinkImpl* g_sink = nullptr;
}

// Called once by the launcher, from the thread that binds the library; the
// sink lives until the process ends.
extern "C" INFHallSink* GetHallSink() {
  if (g_sink == nullptr) g_sink = new nfhall::NFHallSinkImpl();
  return g_sink;
}

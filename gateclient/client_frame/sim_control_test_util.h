// A line client of the gate simulator's control socket (tools/gate_sim):
// one JSON operation out, one JSON answer line back. The line framing is in
// sim_control_test_util.cpp; the socket calls live in
// sim_control_test_util_posix.cpp and sim_control_test_util_win32.cpp.
// Thread safety: one object per thread.
// Ownership: owns its socket.
#pragma once

#include <cstddef>
#include <string>

namespace bsc_test {

class SimControl {
 public:
  SimControl() = default;
  ~SimControl();
  SimControl(const SimControl&) = delete;
  SimControl& operator=(const SimControl&) = delete;

  bool Connect(int port);
  // The answer line, or "" when the socket failed.
  std::string Call(const std::string& json);

 private:
  // The socket seam: bytes sent (all or <= 0 on failure), bytes received
  // (<= 0 at end or failure).
  long long SendSome(const char* data, size_t len);
  long long RecvSome(char* buf, size_t len);

  long long sock_ = -1;
  std::string pending_;
};

// The port in the environment variable, 0 when unset.
int EnvPort(const char* name);

}  // namespace bsc_test

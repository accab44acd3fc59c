// A small host for the demo and the end-to-end check: starts the gate
// client's frame the way the hall sink's start-up does (settings, then
// StartClientFrame), hands it a user, and reports the login and the link
// until its time is up, then prints the gate log. Linked statically with the
// gate client libraries: Quorrel.dll exports no operation that starts the
// frame by itself.
//
// Usage: gate_host [--gate HOST:PORT] [--account NAME] [--seconds N]
// Without --gate the address comes from GATE_SIM_PORT (127.0.0.1), else from
// gateaddress.ini in the current directory. Exit code 0 when logged in.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

#include "gateclient/client_frame/client_frame.h"
#include "gateclient/settings/gate_config.h"
#include "gateclient/settings/gate_log.h"

int main(int argc, char** argv) {
  std::string gate;
  std::string account = "demo";
  int seconds = 20;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--gate") == 0) gate = argv[i + 1];
    if (std::strcmp(argv[i], "--account") == 0) account = argv[i + 1];
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atoi(argv[i + 1]);
  }
  if (gate.empty()) {
    if (const char* port = std::getenv("GATE_SIM_PORT")) gate = std::string("127.0.0.1:") + port;
  }
  if (!gate.empty()) {
    std::ofstream ini("gateaddress.ini", std::ios::trunc);
    ini << "[gate]\naddress_00=" << gate << "\n";
  }

  g_config = new QConfig();
  g_config->Load();  // a missing gateclient.ini leaves the defaults
  if (!bsc::StartClientFrame()) return 2;
  bsc::ClientFrame* frame = bsc::GetClientFrame();
  bsc::LoginUser user;
  user.account = account;
  frame->Session().SubmitLoginUser(user);

  bool loggedIn = false;
  int lastState = -1;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    const int state = frame->Session().LoginState();
    if (state != lastState) {
      std::printf("gate_host: login state %d, connected %d, connid %llu\n", state,
                  frame->IsConnected() ? 1 : 0, static_cast<unsigned long long>(frame->ConnId()));
      std::fflush(stdout);
      lastState = state;
    }
    if (state == bsc::kLoginLoggedIn) loggedIn = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  const bool endedLoggedIn = frame->Session().LoginState() == bsc::kLoginLoggedIn;
  frame->Stop();
  std::printf("gate_host: %s\n",
              endedLoggedIn ? "logged in to the end" : "not logged in at the end");

  CloseGateLog();
  std::ifstream log("log/gateclient.log");
  std::string line;
  std::printf("---- log/gateclient.log ----\n");
  while (std::getline(log, line)) std::printf("%s\n", line.c_str());
  std::fflush(stdout);
  return loggedIn && endedLoggedIn ? 0 : 1;
}

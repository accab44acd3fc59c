// The gate session's login record: who logs in (handed over by the lobby or
// the debug dialog), what the gate said in its hello answer (key, token) and
// what the login service answered.
// Thread safety: owned by the job thread. Other threads read only the atomic
// fields (state, ok, answered) and hand new user data to the job thread
// through GateClientProc::SubmitLoginUser; they never write the record.
// Ownership: the cipher is shared with in-flight senders (immutable once
// published); everything else is held by value.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "netcore/command/gate_commands.h"
#include "netcore/net/blowfish.h"
#include "types/types.pb.h"

namespace bsc {

// Login states of the gate session (3 is never used).
enum LoginState : int32_t {
  kLoginDisconnected = 0,
  kLoginConnected = 1,
  kLoginHelloAnswered = 2,
  kLoginFailed = 4,
  kLoginLoggedIn = 5,
};

// The user's identity, as the lobby's user block or the debug dialog gives it.
struct LoginUser {
  std::string account;
  uint32_t channelId = 0;
  uint32_t siteId = 0;
  uint32_t barId = 0;
  std::string guid;
  std::string systemSerial;
  std::string biosSerial;
  std::string cpuSerial;
  std::string diskSerial;
  std::string macAddress;
  std::string passwordDigest = "3f9a0c27d54be81a6c0d92f7e41b5a88";
  uint32_t gameKind = 502;
};

struct LoginStat {
  std::atomic<bool> loginOk{false};
  std::atomic<bool> loginAnswered{false};
  bs::CMD_Client_LoginRsp lastLoginRsp;
  bs::types::BaseUserInfo baseInfo;
  bs::types::ExtraUserInfo extraInfo;
  bs::types::UserSessionInfo sessionInfo;
  LoginUser user;
  // Session key plus suffix from the hello answer; empty: no encipherment.
  std::string cipherKey;
  uint32_t loginToken = 0;
  // Built from cipherKey; null while the link is in clear. Senders on other
  // threads use the copy the client frame publishes, never this member.
  std::shared_ptr<const CBlowfish> cipher;
  std::atomic<int32_t> loginState{kLoginDisconnected};
  bool autoLogin = false;
  // A login went out on this connection and has no answer yet: a second one
  // would be a duplicate.
  bool loginPending = false;
};

}  // namespace bsc

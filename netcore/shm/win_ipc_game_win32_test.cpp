// The channel between two real processes: this test plays the gate client
// (creator) and starts tools/sample_game as the game (opener).
#include "netcore/shm/win_ipc.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "netcore/shm/sample_game_path_test_util.h"
#include "netcore/shm/win_ipc_test_recorder.h"

namespace {

std::string Pattern(size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char((i * 29 + seed * 11 + (i >> 9)) & 0xff);
  return s;
}

class GameProcess {
 public:
  ~GameProcess() {
    if (pi_.hProcess != nullptr) {
      if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(pi_.hProcess, 99);
        WaitForSingleObject(pi_.hProcess, 10000);
      }
      CloseHandle(pi_.hProcess);
      CloseHandle(pi_.hThread);
    }
  }

  // The command line the gate client gives a launched game.
  bool Start(int32_t owner_pid, int64_t channel_id) {
    std::string line =
        "\"" + q_test::SampleGameExe() + "\"  process_id:" + std::to_string(owner_pid) +
        "|user_id:0|cmd_id:15|app_id:0|app_type:0|plan_id:" + std::to_string(channel_id) + "|";
    std::vector<char> buf(line.begin(), line.end());
    buf.push_back('\0');
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    return CreateProcessA(nullptr, buf.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi_) != 0;
  }

  // True when the game ended within `ms`; its exit code in *code.
  bool WaitExit(DWORD ms, DWORD* code) {
    if (WaitForSingleObject(pi_.hProcess, ms) != WAIT_OBJECT_0) return false;
    return GetExitCodeProcess(pi_.hProcess, code) != 0;
  }

  void Kill() {
    TerminateProcess(pi_.hProcess, 9);
    WaitForSingleObject(pi_.hProcess, 10000);
  }

 private:
  PROCESS_INFORMATION pi_ = {};
};

// Waits for the first message of `queue` without taking it.
bool WaitForStored(CXQueue& queue, DWORD ms) {
  const DWORD start = GetTickCount();
  while (queue.GetMessageLength() == 0) {
    if (GetTickCount() - start > ms) return false;
    Sleep(10);
  }
  return true;
}

class GameChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static int64_t next = (int64_t(GetTickCount()) << 16) + 9000000000LL;
    pid_ = int32_t(GetCurrentProcessId());
    id_ = ++next;
    base_ = bsc::WinIpcImpl::BaseName(pid_, id_);
    ASSERT_TRUE(gate_.Open(pid_, id_, &rx_, false));
    ASSERT_TRUE(game_.Start(pid_, id_)) << q_test::SampleGameExe();
  }

  void SendText(const std::string& text) { gate_.Send(text.data(), int(text.size())); }

  int32_t pid_ = 0;
  int64_t id_ = 0;
  std::string base_;
  IpcRecorder rx_;
  bsc::WinIpcImpl gate_;
  GameProcess game_;
};

TEST_F(GameChannelTest, MessagesCrossBothWaysIntactAndInOrder) {
  const std::vector<std::string> sent = {"x", Pattern(1000, 1), Pattern(1001, 2),
                                         Pattern(500 * 1024, 3)};
  for (const auto& m : sent) gate_.Send(m.data(), int(m.size()));
  ASSERT_TRUE(rx_.WaitFor(sent.size(), 30));
  EXPECT_EQ(rx_.Messages(), sent);  // echoed by the other process

  SendText("sg:exit");
  DWORD code = 1;
  ASSERT_TRUE(game_.WaitExit(20000, &code));
  EXPECT_EQ(code, 0u);
}

TEST_F(GameChannelTest, WriteAfterTheCreatorClosedGives11) {
  SendText("sg:probe-close");
  ASSERT_TRUE(rx_.WaitForText("sg:armed"));
  gate_.Close();  // the game's next write finds no creator
  DWORD code = 0;
  ASSERT_TRUE(game_.WaitExit(30000, &code));
  EXPECT_EQ(code, DWORD(kXqNoCreator));
}

TEST_F(GameChannelTest, CrashedOrHungGameLeavesTheGateSideWorking) {
  SendText("sg:crash");
  DWORD code = 0;
  ASSERT_TRUE(game_.WaitExit(30000, &code));
  EXPECT_EQ(code, DWORD(EXCEPTION_ACCESS_VIOLATION));

  // A second game on the same channel finds its messages waiting, then hangs.
  GameProcess second;
  ASSERT_TRUE(second.Start(pid_, id_));
  SendText("still there");
  ASSERT_TRUE(rx_.WaitForText("still there"));
  SendText("sg:hang");
  for (int i = 0; i < 50; ++i) SendText(Pattern(20000, unsigned(i)));
  second.Kill();
  const DWORD start = GetTickCount();
  gate_.Close();
  EXPECT_LT(GetTickCount() - start, 10000u);
}

TEST_F(GameChannelTest, GameKilledHoldingTheSendingQueueMutex) {
  SendText("sg:hold-mutex:c");
  ASSERT_TRUE(rx_.WaitForText("sg:held"));
  game_.Kill();  // the mutex of _c is abandoned

  SendText("after the kill");
  CXQueue peek;  // stands in for the game's reading side
  ASSERT_EQ(peek.Open((base_ + "_c").c_str()), kXqOk);
  ASSERT_TRUE(WaitForStored(peek, 10000));
  char buf[64];
  uint32_t len = sizeof buf;
  int32_t id = 0;
  ASSERT_EQ(peek.Read(buf, &len, &id, nullptr, 1000), kXqOk);
  EXPECT_EQ(std::string(buf, len), "after the kill");
}

TEST_F(GameChannelTest, GameKilledHoldingTheReceivingQueueMutex) {
  SendText("sg:hold-mutex:s");
  CXQueue peek;  // sees the report stored while the game holds the mutex
  ASSERT_EQ(peek.Open((base_ + "_s").c_str()), kXqOk);
  ASSERT_TRUE(WaitForStored(peek, 10000));
  game_.Kill();

  // Freeing the report needs the abandoned mutex.
  ASSERT_TRUE(rx_.WaitForText("sg:held"));
  ASSERT_EQ(peek.Write("more", 4), kXqOk);
  ASSERT_TRUE(rx_.WaitForText("more"));
}

TEST_F(GameChannelTest, GameKilledHoldingTheWriteTurn) {
  SendText("sg:hold-turn:c");
  ASSERT_TRUE(rx_.WaitForText("sg:held"));
  game_.Kill();  // the turn of _c is never handed back

  // Writes to _c time out, boundedly; the gate side keeps receiving.
  SendText("stuck");
  CXQueue writer;
  ASSERT_EQ(writer.Open((base_ + "_c").c_str()), kXqOk);
  DWORD start = GetTickCount();
  EXPECT_EQ(writer.Write("x", 1), kXqTimeout);
  EXPECT_LT(GetTickCount() - start, 10000u);
  CXQueue peer;
  ASSERT_EQ(peer.Open((base_ + "_s").c_str()), kXqOk);
  ASSERT_EQ(peer.Write("heard", 5), kXqOk);
  ASSERT_TRUE(rx_.WaitForText("heard"));

  start = GetTickCount();
  gate_.Close();
  EXPECT_LT(GetTickCount() - start, 10000u);
}

}  // namespace

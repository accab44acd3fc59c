// CLog under Wine: the line format, the bytes on disk, a file that cannot be
// opened, two threads and two processes logging at once.
#include "common_services/include/zintal/log.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <thread>

namespace {

class LogTest : public testing::Test {
 protected:
  void SetUp() override {
    char base[MAX_PATH];
    GetTempPathA(sizeof base, base);
    dir_ = std::string(base) + "zintal_log_" + std::to_string(GetCurrentProcessId());
    CreateDirectoryA(dir_.c_str(), nullptr);
    DeleteFileA(Path().c_str());
  }
  void TearDown() override {
    DeleteFileA(Path().c_str());
    RemoveDirectoryA(dir_.c_str());
  }
  std::string Path() const { return dir_ + "\\test.log"; }
  std::string Bytes() const {
    std::ifstream in(Path(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::string dir_;
};

// "[YYYY-MM-DD HH:MM:SS] " in front of the text.
bool HasStamp(const std::string& line) {
  const std::string shape = "[dddd-dd-dd dd:dd:dd] ";
  if (line.size() < shape.size()) return false;
  for (size_t i = 0; i < shape.size(); ++i) {
    const bool ok = shape[i] == 'd' ? std::isdigit(static_cast<unsigned char>(line[i])) != 0
                                    : line[i] == shape[i];
    if (!ok) return false;
  }
  return true;
}

TEST_F(LogTest, LinesEndWithCrCrLfOnDisk) {
  CLog log;
  ASSERT_TRUE(log.CreateFileA(dir_.c_str(), "test.log"));
  EXPECT_EQ(Bytes(), "");  // the test open creates the file, writes nothing
  log.Log("first line");
  log.Log(CString("second"));
  const std::string bytes = Bytes();
  const size_t end1 = bytes.find("\r\r\n");
  ASSERT_NE(end1, std::string::npos) << bytes;
  const std::string line1 = bytes.substr(0, end1);
  const std::string line2 = bytes.substr(end1 + 3);
  EXPECT_TRUE(HasStamp(line1)) << line1;
  EXPECT_EQ(line1.substr(22), "first line");
  ASSERT_GE(line2.size(), 3u);
  EXPECT_TRUE(HasStamp(line2)) << line2;
  EXPECT_EQ(line2.substr(22), "second\r\r\n");

  CLog copy(log);  // the same file
  copy.Log("third");
  EXPECT_NE(Bytes().find("] third\r\r\n"), std::string::npos);
}

TEST_F(LogTest, AFileThatCannotBeOpenedLosesTheLineQuietly) {
  CLog never_created;
  never_created.Log("nowhere");  // no directory, no name: nothing happens

  CLog log;
  const std::string missing = dir_ + "\\missing";
  EXPECT_FALSE(log.CreateFileA(missing.c_str(), "test.log"));
  log.Log("lost");
  EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES);  // not created
}

TEST_F(LogTest, ALineBreakInTheTextIsWrittenAsTextModeWritesIt) {
  CLog log;
  ASSERT_TRUE(log.CreateFileA(dir_.c_str(), "test.log"));
  log.Log("top\nbottom");
  const std::string bytes = Bytes();
  ASSERT_TRUE(HasStamp(bytes)) << bytes;
  EXPECT_EQ(bytes.substr(22), "top\r\nbottom\r\r\n");
}

// Another writer holds the writers' lock and does not let go (suspended, or
// terminated between lock and unlock): the line is still written, well
// before the holder lets go after 5 s.
TEST_F(LogTest, AWriterHoldingTheLockDoesNotHoldUpTheLog) {
  CLog log;
  ASSERT_TRUE(log.CreateFileA(dir_.c_str(), "test.log"));
  HANDLE other = CreateFileA(Path().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  OVERLAPPED at = {};
  at.OffsetHigh = 0x40000000;  // the byte the writers lock
  ASSERT_TRUE(LockFileEx(other, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at));
  HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::thread holder([&] {
    WaitForSingleObject(release, 5000);
    CloseHandle(other);  // lets go of the lock
  });
  const DWORD begin = GetTickCount();
  log.Log("past the lock");
  const DWORD took = GetTickCount() - begin;
  SetEvent(release);
  holder.join();
  CloseHandle(release);
  EXPECT_LT(took, 2500u) << "ms in Log";
  EXPECT_NE(Bytes().find("] past the lock\r\r\n"), std::string::npos) << Bytes();
}

// Checks that the file holds whole lines only and returns their texts.
std::multiset<std::string> WholeLines(const std::string& bytes) {
  std::multiset<std::string> seen;
  size_t at = 0;
  while (at < bytes.size()) {
    const size_t end = bytes.find("\r\r\n", at);
    EXPECT_NE(end, std::string::npos) << "torn tail at " << at;
    if (end == std::string::npos) break;
    const std::string line = bytes.substr(at, end - at);
    EXPECT_TRUE(HasStamp(line)) << line;
    seen.insert(line.substr(22));
    at = end + 3;
  }
  return seen;
}

constexpr int kLines = 300;

void WriteLines(CLog& log, char who) {
  for (int i = 0; i < kLines; ++i) {
    log.Log(CString((std::string(1, who) + std::to_string(i) + std::string(40, who)).c_str()));
  }
}

constexpr char kSecondWriter[] = "Q_CLOG_SECOND_WRITER";  // the log's folder
constexpr char kStartEvent[] = "Q_CLOG_START_EVENT";      // set when both may write

// The other process of TwoProcessesLoggingKeepEveryLineWhole: this program
// started again for this test alone. Skipped in an ordinary run.
TEST(LogSecondProcess, Writes) {
  char dir[MAX_PATH] = "";
  char start[64] = "";
  if (GetEnvironmentVariableA(kSecondWriter, dir, sizeof dir) == 0 ||
      GetEnvironmentVariableA(kStartEvent, start, sizeof start) == 0) {
    GTEST_SKIP() << "the second writer of LogTest.TwoProcessesLoggingKeepEveryLineWhole";
  }
  HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, start);
  ASSERT_NE(go, nullptr);
  ASSERT_EQ(WaitForSingleObject(go, 60000), WAIT_OBJECT_0);
  CloseHandle(go);
  CLog log;
  ASSERT_TRUE(log.CreateFileA(dir, "test.log"));
  WriteLines(log, 'p');
}

TEST_F(LogTest, TwoThreadsLoggingKeepEveryLineWhole) {
  CLog log;
  ASSERT_TRUE(log.CreateFileA(dir_.c_str(), "test.log"));
  std::thread a([&log] { WriteLines(log, 'a'); });
  std::thread b([&log] { WriteLines(log, 'b'); });
  a.join();
  b.join();
  const std::multiset<std::string> seen = WholeLines(Bytes());
  EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), 2u * kLines);
}

TEST_F(LogTest, TwoProcessesLoggingKeepEveryLineWhole) {
  const std::string start = "q_clog_start_" + std::to_string(GetCurrentProcessId());
  HANDLE go = CreateEventA(nullptr, TRUE, FALSE, start.c_str());
  ASSERT_NE(go, nullptr);
  char self[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string command = std::string("\"") + self + "\" --gtest_filter=LogSecondProcess.Writes";
  SetEnvironmentVariableA(kSecondWriter, dir_.c_str());
  SetEnvironmentVariableA(kStartEvent, start.c_str());
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION other = {};
  const BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                                      nullptr, &startup, &other);
  SetEnvironmentVariableA(kSecondWriter, nullptr);
  SetEnvironmentVariableA(kStartEvent, nullptr);
  ASSERT_TRUE(started) << GetLastError();
  CloseHandle(other.hThread);

  CLog log;
  ASSERT_TRUE(log.CreateFileA(dir_.c_str(), "test.log"));
  SetEvent(go);  // both write from here on
  WriteLines(log, 'a');
  const bool ended = WaitForSingleObject(other.hProcess, 60000) == WAIT_OBJECT_0;
  if (!ended) TerminateProcess(other.hProcess, 1);
  DWORD code = 1;
  GetExitCodeProcess(other.hProcess, &code);
  CloseHandle(other.hProcess);
  CloseHandle(go);
  ASSERT_TRUE(ended);
  ASSERT_EQ(code, 0u);

  const std::multiset<std::string> seen = WholeLines(Bytes());
  EXPECT_EQ(std::set<std::string>(seen.begin(), seen.end()).size(), 2u * kLines);
  EXPECT_EQ(seen.size(), 2u * kLines);
}

}  // namespace

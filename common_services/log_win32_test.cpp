// CLog under Wine: the line format, the bytes on disk, a file that cannot be
// opened, two threads logging at once.
#include "common_services/include/zintal/log.h"

#include <gtest/gtest.h>

#include <cctype>
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

TEST_F(LogTest, TwoThreadsLoggingKeepEveryLineWhole) {
  CLog log;
  ASSERT_TRUE(log.CreateFileA(dir_.c_str(), "test.log"));
  constexpr int kLines = 300;
  auto write = [&log](char who) {
    for (int i = 0; i < kLines; ++i) {
      log.Log(CString((std::string(1, who) + std::to_string(i) + std::string(40, who)).c_str()));
    }
  };
  std::thread a(write, 'a'), b(write, 'b');
  a.join();
  b.join();

  const std::string bytes = Bytes();
  std::set<std::string> seen;
  size_t at = 0;
  while (at < bytes.size()) {
    const size_t end = bytes.find("\r\r\n", at);
    ASSERT_NE(end, std::string::npos) << "torn tail at " << at;
    const std::string line = bytes.substr(at, end - at);
    ASSERT_TRUE(HasStamp(line)) << line;
    seen.insert(line.substr(22));
    at = end + 3;
  }
  EXPECT_EQ(seen.size(), 2u * kLines);
}

}  // namespace

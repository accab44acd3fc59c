#include "gateclient/settings/gate_log.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Each test logs into a fresh temp folder as its current directory; the log
// file is closed before and after, so no test sees another's file.
class GateLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CloseGateLog();
    old_ = fs::current_path();
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("gatelog_" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  void TearDown() override {
    CloseGateLog();
    SetGateLogClock(nullptr);
    std::error_code ec;
    fs::current_path(old_, ec);
    fs::remove_all(dir_, ec);
  }
  // Read in text mode: the file is written in text mode, CRLF on Windows.
  std::vector<std::string> Lines() const {
    std::ifstream in(dir_ / "log" / "gateclient.log");
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    return lines;
  }
  std::string Content() const {
    std::ifstream in(dir_ / "log" / "gateclient.log");
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  fs::path old_;
  fs::path dir_;
};

std::tm FixedTime() {
  std::tm t{};
  t.tm_year = 2026 - 1900;
  t.tm_mon = 2;
  t.tm_mday = 3;
  t.tm_hour = 9;
  t.tm_min = 5;
  t.tm_sec = 7;
  return t;
}

TEST_F(GateLogTest, WritesTheExactLine) {
  SetGateLogClock(&FixedTime);
  GateLog(2, "abc", __FILE__, __LINE__);
  GateLog(4, std::string("cut\0here", 8), __FILE__, __LINE__);
  EXPECT_EQ("[2026-03-03 09:05:07][2][abc]\n[2026-03-03 09:05:07][4][cut]\n", Content());
}

TEST_F(GateLogTest, LevelOneTouchesNothingLevelTwoMakesFolderAndFile) {
  GateLog(0, "bundle", __FILE__, __LINE__);
  GateLog(1, "traffic", __FILE__, __LINE__);
  EXPECT_FALSE(fs::exists(dir_ / "log"));
  GateLog(2, "life", __FILE__, __LINE__);
  EXPECT_TRUE(fs::is_regular_file(dir_ / "log" / "gateclient.log"));
  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(1u, lines.size());
  EXPECT_NE(std::string::npos, lines[0].find("][2][life]"));
}

TEST_F(GateLogTest, UnopenableFileLosesTheEntryAndRetries) {
  fs::create_directories(dir_ / "log" / "gateclient.log");  // a folder where the file goes
  GateLog(2, "lost", __FILE__, __LINE__);
  fs::remove(dir_ / "log" / "gateclient.log");
  SetGateLogClock(&FixedTime);
  GateLog(2, "kept", __FILE__, __LINE__);
  EXPECT_EQ("[2026-03-03 09:05:07][2][kept]\n", Content());
}

TEST_F(GateLogTest, FourThreadsWriteWholeLines) {
  const int kThreads = 4;
  const int kLines = 400;
  const std::string pad(150, 'p');
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t, &pad] {
      for (int i = 0; i < kLines; ++i)
        GateLog(2, "t" + std::to_string(t) + "-" + std::to_string(i) + "-" + pad, __FILE__,
                __LINE__);
    });
  for (std::thread& th : threads) th.join();

  const std::vector<std::string> lines = Lines();
  ASSERT_EQ(static_cast<size_t>(kThreads * kLines), lines.size());
  std::set<std::string> seen;
  for (const std::string& l : lines) {
    // "[YYYY-MM-DD hh:mm:ss][2][tN-i-ppp...]"
    ASSERT_EQ(']', l.back()) << l;
    ASSERT_EQ("][2][t", l.substr(20, 6)) << l;
    ASSERT_EQ('[', l[0]) << l;
    const std::string text = l.substr(25, l.size() - 26);
    ASSERT_EQ(pad, text.substr(text.size() - pad.size())) << l;
    seen.insert(text);
  }
  EXPECT_EQ(static_cast<size_t>(kThreads * kLines), seen.size());
}

struct Recorded {
  int level;
  std::string text;
  std::string path;
  int line;
};
std::vector<Recorded>* g_recorded = nullptr;
void RecordingSink(int level, const std::string& text, const char* path, int line) {
  g_recorded->push_back({level, text, path, line});
}

TEST_F(GateLogTest, SinkListHoldsTheGateLogOnceAndWriteLogReachesEverySink) {
  LogSinkList saved = GetLogSinks();
  GetLogSinks().clear();
  AddGateLogSink();
  AddGateLogSink();
  ASSERT_EQ(1u, GetLogSinks().size());
  EXPECT_EQ(&GateLog, GetLogSinks()[0]);

  std::vector<Recorded> recorded;
  g_recorded = &recorded;
  GetLogSinks().push_back(&RecordingSink);
  SetGateLogClock(&FixedTime);
  const int line = __LINE__ + 1;
  QLOG(kLogLifeCycle, "through the list");
  GetLogSinks() = saved;
  g_recorded = nullptr;

  ASSERT_EQ(1u, recorded.size());
  EXPECT_EQ(2, recorded[0].level);
  EXPECT_EQ("through the list", recorded[0].text);
  EXPECT_EQ(line, recorded[0].line);
  EXPECT_NE(std::string::npos, recorded[0].path.find("gate_log_test"));
  EXPECT_EQ("[2026-03-03 09:05:07][2][through the list]\n", Content());
}

}  // namespace

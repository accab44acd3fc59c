#include "gateclient/settings/gate_config.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

// Runs the test in a temp folder of its own (the settings files are bare
// names resolved against the current directory) and puts the old current
// directory back afterwards.
class InTempDir {
 public:
  InTempDir() : old_(fs::current_path()) {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("gatecfg_" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  ~InTempDir() {
    std::error_code ec;
    fs::current_path(old_, ec);
    fs::remove_all(dir_, ec);
  }
  void Write(const char* name, const std::string& bytes) const {
    std::ofstream out(dir_ / name, std::ios::binary);
    out << bytes;
  }

 private:
  fs::path old_;
  fs::path dir_;
};

void ExpectDefaults(const QConfig& c) {
  EXPECT_EQ(1, c.pageid.value);
  EXPECT_EQ(30, c.startPointSeconds.value);
  EXPECT_EQ(0, c.show.value);
  EXPECT_EQ("501,502,555", c.exekind.value);
  EXPECT_EQ("pellory,pellory,duovrin", c.exename.value);
  EXPECT_EQ("pellory,pellory,duomesk", c.resfolder.value);
  EXPECT_EQ(25, c.timedisconn.value);
  EXPECT_EQ(1, c.packetMode.value);
  EXPECT_EQ(1, c.sendPulse.value);
  EXPECT_EQ(0, c.quickMatchList.value);
  EXPECT_EQ(1, c.recommendedList.value);
  EXPECT_EQ(0, c.gamekind.value);
  EXPECT_EQ(0, c.robot.value);
  ASSERT_EQ(32u, c.address.values.size());
  for (const std::string& a : c.address.values) EXPECT_EQ("", a);
}

TEST(GateConfig, DefaultsWithoutAFile) {
  InTempDir tmp;
  QConfig config;
  EXPECT_EQ("gateclient.ini", config.FileName());
  EXPECT_FALSE(config.Load());
  ExpectDefaults(config);
}

TEST(GateConfig, ReadsEveryKeyIncludingTheUtf8Ones) {
  InTempDir tmp;
  tmp.Write(
      "gateclient.ini",
      "[main]\r\n"
      "pageid=4\r\n"
      "\xE5\xBC\x80\xE8\xB5\x9B\xE7\x82\xB9\xE8\x8E\xB7\xE5\x8F\x96\xE9\x97\xB4\xE9\x9A\x94"
      "\xE7\xA7\x92\xE6\x95\xB0=45\r\n"                         // 开赛点获取间隔秒数
      "\xE6\x8A\xA5\xE6\x96\x87\xE6\x96\xB9\xE5\xBC\x8F=2\r\n"  // 报文方式
      "\xE5\x8F\x91\xE9\x80\x81\xE5\xBF\x83\xE8\xB7\xB3=0\r\n"  // 发送心跳
      "\xE5\xBF\xAB\xE9\x80\x9F\xE5\xBC\x80\xE8\xB5\x9B\xE5\x88\x97\xE8\xA1\xA8=1\r\n"  // 快速开赛列表
      "\xE6\x8E\xA8\xE8\x8D\x90\xE5\xA4\xA7\xE8\xB5\x9B\xE5\x88\x97\xE8\xA1\xA8=0\r\n"  // 推荐大赛列表
      "exekind=700\r\nexename=alpha\r\nresfolder=res\r\n"
      "timedisconn=60\r\ngamekind=501\r\nrobot=1\r\n"
      "[gate]\r\naddress_02=10.0.0.1:9000\r\n"
      "[ui]\r\nshow=999\r\n");
  QConfig config;
  ASSERT_TRUE(config.Load());
  EXPECT_EQ(4, config.pageid.value);
  EXPECT_EQ(45, config.startPointSeconds.value);
  EXPECT_EQ(2, config.packetMode.value);
  EXPECT_EQ(0, config.sendPulse.value);
  EXPECT_EQ(1, config.quickMatchList.value);
  EXPECT_EQ(0, config.recommendedList.value);
  EXPECT_EQ("700", config.exekind.value);
  EXPECT_EQ("alpha", config.exename.value);
  EXPECT_EQ("res", config.resfolder.value);
  EXPECT_EQ(60, config.timedisconn.value);
  EXPECT_EQ(501, config.gamekind.value);
  EXPECT_EQ(1, config.robot.value);
  EXPECT_EQ(999, config.show.value);
  EXPECT_EQ("10.0.0.1:9000", config.address.values[2]);
  EXPECT_EQ("", config.address.values[3]);
  // The source's own literals are the same bytes as the file's.
  EXPECT_EQ("发送心跳", config.sendPulse.key);
  EXPECT_EQ("开赛点获取间隔秒数", config.startPointSeconds.key);
}

TEST(GateConfig, WithoutUiSectionShowStaysZero) {
  InTempDir tmp;
  tmp.Write("gateclient.ini", "[main]\nrobot=1\nshow=999\n");  // show outside [ui]
  QConfig config;
  ASSERT_TRUE(config.Load());
  EXPECT_EQ(1, config.robot.value);
  EXPECT_EQ(0, config.show.value);
}

TEST(GateAddress, OnlyAddress07) {
  InTempDir tmp;
  tmp.Write("gateaddress.ini", "[gate]\naddress_07=gate.example:8100\n");
  QGateAddress gates;
  ASSERT_TRUE(gates.Load());
  ASSERT_EQ(32u, gates.address.values.size());
  for (int i = 0; i < QGateAddress::kCount; ++i)
    EXPECT_EQ(i == 7 ? "gate.example:8100" : "", gates.address.values[static_cast<size_t>(i)]) << i;
}

}  // namespace

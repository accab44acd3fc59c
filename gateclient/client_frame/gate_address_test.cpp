#include "gateclient/client_frame/gate_address.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>

#include "gateclient/settings/gate_log.h"

namespace {

namespace fs = std::filesystem;

// A temp folder as the current directory ("gateaddress.ini" is a bare name).
class GateAddressTest : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("gateaddr_" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(dir_);
    fs::current_path(dir_);
  }
  void TearDown() override {
    std::error_code ec;
    fs::current_path(old_, ec);
    fs::remove_all(dir_, ec);
  }
  void Write(const std::string& body) {
    std::ofstream out(dir_ / "gateaddress.ini", std::ios::binary);
    out << "[gate]\n" << body;
  }

  fs::path old_;
  fs::path dir_;
};

TEST_F(GateAddressTest, AFailedLoadLeavesHostAndPort) {
  std::string host = "keep";
  int port = 7;
  bsc::LogLines lines;
  EXPECT_FALSE(bsc::ChooseGateAddress(host, port, &lines));
  EXPECT_EQ(host, "keep");
  EXPECT_EQ(port, 7);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], std::make_pair(int(kLogWarning), std::string("载入gateaddress.ini失败\n")));
}

TEST_F(GateAddressTest, NoAddressGivesTheDefaultAndAValueWithoutColonKeepsThePort) {
  Write("address_00=\n");
  std::string host;
  int port = 0;
  bsc::LogLines lines;
  EXPECT_TRUE(bsc::ChooseGateAddress(host, port, &lines));
  EXPECT_EQ(host + ":" + std::to_string(port), bsc::kDefaultGateAddress);
  EXPECT_EQ(port, 10168);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].first, kLogWarning);
  EXPECT_EQ(lines[0].second, "没有从gateaddress.ini获取相关网站地址\n");

  Write("address_00=\naddress_17=gate.only.example\n");
  port = 55;
  lines.clear();
  EXPECT_TRUE(bsc::ChooseGateAddress(host, port, &lines));
  EXPECT_EQ(host, "gate.only.example");
  EXPECT_EQ(port, 55);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0],
            std::make_pair(int(kLogLifeCycle), std::string("连接地址=gate.only.example")));
}

// Repeated connects spread over every configured address (the generator is
// seeded from the tick count on each choice, so choices made in different
// milliseconds differ).
TEST_F(GateAddressTest, ChoicesSpreadOverAllAddresses) {
  Write("address_00=a.example:1\naddress_05=b.example:2\naddress_31=c.example:3\n");
  std::set<std::string> seen;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (seen.size() < 3 && std::chrono::steady_clock::now() < deadline) {
    std::string host;
    int port = 0;
    ASSERT_TRUE(bsc::PickGateAddress(host, port));
    const std::string got = host + ":" + std::to_string(port);
    ASSERT_TRUE(got == "a.example:1" || got == "b.example:2" || got == "c.example:3") << got;
    seen.insert(got);
  }
  EXPECT_EQ(seen.size(), 3u);
}

}  // namespace

#include "netcore/config/config_item.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "netcore/config/ini_file.h"
#include "netcore/config/program_config_load.h"

namespace {

namespace fs = std::filesystem;

class ConfigTempFile {
 public:
  ConfigTempFile() {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("cfg_test_" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(dir_);
    path_ = (dir_ / "settings.ini").string();
  }
  ~ConfigTempFile() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  const std::string& Path() const { return path_; }
  void Write(const std::string& bytes) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << bytes;
  }

 private:
  fs::path dir_;
  std::string path_;
};

struct Settings : ccf::RProgramConfigLoad {
  explicit Settings(const std::string& file) : ccf::RProgramConfigLoad(file.c_str()) {}

  ccf::RConfigItemLong number{&head, "main", "number", 5};
  ccf::RConfigItemString text{&head, "text", "dflt"};
  ccf::RConfigItemStringArr addr{&head, "gate", "address", 32, "none", "_%02d"};
  ccf::RConfigItemLongArr ports{&head, "gate", "port", 3, -1, "%d"};
};

std::string ListKeys(ccf::RConfigItemBase* item) {
  std::string s;
  for (; item; item = item->next) s += item->key + " ";
  return s;
}

TEST(ConfigItems, ConstructionLinksFirstThenReverse) {
  struct Four : ccf::RProgramConfigLoad {
    Four() : ccf::RProgramConfigLoad("x.ini") {}
    ccf::RConfigItemLong a{&head, "s", "A", 0};
    ccf::RConfigItemLong b{&head, "s", "B", 0};
    ccf::RConfigItemString c{&head, "C", ""};
    ccf::RConfigItemLong d{&head, "s", "D", 0};
  } four;
  EXPECT_EQ("A D C B ", ListKeys(four.FirstItem()));
  EXPECT_EQ("main", four.c.section);
  EXPECT_EQ(ccf::RConfigItemBase::kString, four.c.type);

  // AddItem appends at the end, also behind constructor-linked items.
  ccf::RConfigItemLong extra(nullptr, "s", "E", 0);
  four.AddItem(&extra);
  EXPECT_EQ("A D C B E ", ListKeys(four.FirstItem()));
}

TEST(ConfigItems, LoadFillsEveryKindAndKeepsDefaultsOfMissingKeys) {
  ConfigTempFile file;
  file.Write(
      "[main]\nnumber=42x\ntext= hello world \n"
      "[gate]\naddress_00=a:1\naddress_07=h:7\naddress_31=z:31\naddress_32=beyond\n"
      "port0=80\nport2=nope\n");
  Settings s(file.Path());
  ASSERT_TRUE(s.Load());
  EXPECT_EQ(42, s.number.value);
  EXPECT_EQ("hello world", s.text.value);
  for (int i = 0; i < 32; ++i) {
    const std::string want = i == 0 ? "a:1" : i == 7 ? "h:7" : i == 31 ? "z:31" : "none";
    EXPECT_EQ(want, s.addr.values[static_cast<size_t>(i)]) << i;
  }
  EXPECT_EQ(80, s.ports.values[0]);
  EXPECT_EQ(-1, s.ports.values[1]);
  EXPECT_EQ(0, s.ports.values[2]);  // present but not a number
}

TEST(ConfigItems, HeaderOnlyFileLoadsWithDefaults) {
  ConfigTempFile file;
  file.Write("[other]\n");
  Settings s(file.Path());
  EXPECT_TRUE(s.Load());
  EXPECT_EQ(5, s.number.value);
  EXPECT_EQ("none", s.addr.values[7]);
}

TEST(ConfigItems, LoadRunsOnceAndRepeatsItsResult) {
  ConfigTempFile file;
  Settings failed(file.Path());
  EXPECT_FALSE(failed.Load());
  file.Write("[main]\nnumber=9\n");
  // The file exists now, but it is not read again and this is no success.
  EXPECT_FALSE(failed.Load());
  EXPECT_EQ(5, failed.number.value);

  Settings ok(file.Path());
  EXPECT_TRUE(ok.Load());
  file.Write("[main]\nnumber=10\n");
  EXPECT_TRUE(ok.Load());
  EXPECT_EQ(9, ok.number.value);
}

TEST(ConfigItems, OnLoadedSeesTheReaderAndDecidesTheResult) {
  struct Checked : Settings {
    using Settings::Settings;
    bool OnLoaded(CIniFile* ini) override {
      extra = ini->GetValue("main", "extra", "");
      return extra == "yes";
    }
    std::string extra;
  };
  ConfigTempFile file;
  file.Write("[main]\nextra=no\nnumber=3\n");
  Checked c(file.Path());
  EXPECT_FALSE(c.Load());
  EXPECT_EQ("no", c.extra);
  EXPECT_EQ(3, c.number.value);  // items are filled before OnLoaded
}

TEST(ConfigItems, ElementKeySuffixIsBounded) {
  EXPECT_EQ("address_05", ccf::ElementKey("address", "_%02d", 5));
  EXPECT_EQ("k" + std::string(31, '0'), ccf::ElementKey("k", "%040d", 0));
}

}  // namespace

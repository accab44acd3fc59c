#include "netcore/config/ini_file.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <clocale>
#include <filesystem>
#include <fstream>
#include <locale>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;

// A folder of its own under the system's temp folder, removed at the end.
class IniTempDir {
 public:
  IniTempDir() {
    std::random_device rd;
    dir_ = fs::temp_directory_path() / ("ini_test_" + std::to_string(rd()) + std::to_string(rd()));
    fs::create_directories(dir_);
  }
  ~IniTempDir() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::string Write(const std::string& name, const std::string& bytes) const {
    const fs::path p = dir_ / name;
    std::ofstream out(p, std::ios::binary);
    out << bytes;
    return p.string();
  }

 private:
  fs::path dir_;
};

std::string Join(const std::vector<std::string>& v) {
  std::string s;
  for (const std::string& e : v) s += "<" + e + ">";
  return s;
}

// One text for everything the reader holds: H<c> header comments, then per
// section [name], each n=<v>, then its comments as ;<c>.
std::string Dump(const CIniFile& ini) {
  std::string s = "H" + Join(ini.HeaderComments());
  for (size_t k = 0; k < ini.NumKeys(); ++k) {
    const int i = static_cast<int>(k);
    s += " [" + ini.KeyNames()[k] + "]";
    for (size_t v = 0; v < ini.ValueNames(i).size(); ++v)
      s += " " + ini.ValueNames(i)[v] + "=<" + ini.Values(i)[v] + ">";
    if (!ini.KeyComments(i).empty()) s += " ;" + Join(ini.KeyComments(i));
  }
  return s;
}

struct GrammarCase {
  const char* name;
  std::string file;
  bool result;
  std::string dump;
};

TEST(IniFileGrammar, ReadsEachKindOfLine) {
  const std::string longValue(300, 'v');
  const GrammarCase cases[] = {
      {"comments before and after sections", "; head\n#two\n[a]\n;in a\nx=1\n# after\n", true,
       "H< head><two> [a] x=<1> ;<in a>< after>"},
      {"comment markers inside a value stay", "[s]\nk=a;b#c\n", true, "H [s] k=<a;b#c>"},
      {"= before [ makes a value line", "[s]\nk=[v]\nw = x[y]z\n", true, "H [s] k=<[v]> w=<x[y]z>"},
      {"[ before = makes a header", "[n=1]\n", true, "H [n=1]"},
      {"text before the marker is ignored", "[s]\nabc;note\nxy[t] tail\n", true,
       "H [s] ;<note> [t]"},
      {"[ without a later ]", "[s]\n[broken\n]x[\nk=1\n", true, "H [s] k=<1>"},
      {"line without markers", "[s]\njust words\nk=1\n", true, "H [s] k=<1>"},
      {"LF file", "[s]\na=1\nb=2\n", true, "H [s] a=<1> b=<2>"},
      {"CRLF file", "[s]\r\na=1\r\nb=2\r\n", true, "H [s] a=<1> b=<2>"},
      {"blank lines, LF and CRLF", "\n\r\n[s]\n\r\n\na=1\n", true, "H [s] a=<1>"},
      {"last line without a line end", "[s]\nk=v", true, "H [s] k=<v>"},
      {"value before any section", "k=v\n", true, "H [] k=<v>"},
      {"line starting with =", "[s]\n=v\n", true, "H [s] =<v>"},
      {"two sections of one name", "[s]\na=1\n[t]\n[s]\nb=2\na=3\n", true,
       "H [s] a=<3> b=<2> [t] [s]"},
      {"spaces and tabs around names and values", "[ \t s p\t ]\n \t na me \t=\t va l \t\n", true,
       "H [s p] na me=<va l>"},
      {"carriage return inside a value", "[s]\nk=a\rb\r\nm=c\r\r\n", true,
       "H [s] k=<a\rb> m=<c\r>"},
      {"text is cut at a NUL", std::string("[s]\nk=ab\0cd\n", 12), true, "H [s] k=<ab>"},
      {"only comments and blanks", ";one\n\n#two\n", false, "H<one><two>"},
      {"empty file", "", false, "H"},
      {"a 300-character value is kept whole", "[s]\nk= " + longValue + " \n", true,
       "H [s] k=<" + longValue + ">"},
  };

  IniTempDir dir;
  for (const GrammarCase& c : cases) {
    SCOPED_TRACE(c.name);
    CIniFile ini(dir.Write("grammar.ini", c.file));
    EXPECT_EQ(c.result, ini.ReadFile());
    EXPECT_EQ(c.dump, Dump(ini));
  }
}

TEST(IniFileGrammar, TrimTouchesOnlySpacesAndTabs) {
  EXPECT_EQ("a b", CIniFile::Trim(" \t a b \t "));
  EXPECT_EQ("\ra\n", CIniFile::Trim("\ra\n"));
  EXPECT_EQ("", CIniFile::Trim(" \t "));
  const std::string big(5000, 'x');
  EXPECT_EQ(big, CIniFile::Trim("  " + big + "\t"));
  // Blanks before a NUL survive: trailing blanks go first, then the cut.
  EXPECT_EQ("ab ", CIniFile::Trim(std::string(" ab \0cd ", 8)));
}

TEST(IniFileRead, MissingFileKeepsTablesAndRereadAdds) {
  IniTempDir dir;
  const std::string path = dir.Write("a.ini", "[s]\nk=1\n");
  CIniFile ini(path);
  ASSERT_TRUE(ini.ReadFile());
  ASSERT_TRUE(ini.ReadFile());  // adds without clearing
  EXPECT_EQ("H [s] k=<1> [s]", Dump(ini));

  ini.SetPath((path + ".missing").c_str());
  EXPECT_FALSE(ini.ReadFile());
  EXPECT_EQ("H [s] k=<1> [s]", Dump(ini));

  CIniFile none("");
  EXPECT_FALSE(none.ReadFile());
}

TEST(IniFileRead, LeavesTheLocalesAlone) {
  IniTempDir dir;
  const std::string cBefore = std::setlocale(LC_ALL, nullptr);
  const std::string cxxBefore = std::locale().name();
  CIniFile ini(dir.Write("a.ini", "[s]\nk=1\n"));
  ASSERT_TRUE(ini.ReadFile());
  EXPECT_EQ(cBefore, std::setlocale(LC_ALL, nullptr));
  EXPECT_EQ(cxxBefore, std::locale().name());
}

TEST(IniFileGetters, MissingSectionOrNameGivesTheDefault) {
  CIniFile ini;
  ini.SetValue("s", "k", "7", true);
  EXPECT_EQ(7, ini.GetInt("s", "k", 3));
  EXPECT_EQ(3, ini.GetInt("s", "other", 3));
  EXPECT_EQ(3, ini.GetInt("other", "k", 3));
  EXPECT_EQ(-5, ini.GetInt(nullptr, nullptr, -5));
  EXPECT_EQ("d", ini.GetValue("other", "k", "d"));
  EXPECT_EQ("d", ini.GetValue("s", " k", "d"));  // GetValue does not trim
  EXPECT_TRUE(ini.GetBool("s", "other", true));
  EXPECT_FALSE(ini.GetBool("s", "other", false));
  // The default passes through "%f".
  EXPECT_DOUBLE_EQ(1.234568, ini.GetDouble("s", "other", 1.23456789));
}

TEST(IniFileGetters, BoolIsTrueOnlyForALeadingOne) {
  CIniFile ini;
  const struct {
    const char* text;
    bool expected;
  } cases[] = {{"1", true},     {"01", true},   {"1abc", true}, {" +1", true},
               {"true", false}, {"yes", false}, {"0", false},   {"2", false},
               {"-1", false},   {"11", false},  {"", false},    {"1.9", true}};
  for (const auto& c : cases) {
    ini.SetValue("s", "b", c.text, true);
    EXPECT_EQ(c.expected, ini.GetBool("s", "b", !c.expected)) << '"' << c.text << '"';
  }
}

TEST(IniFileGetters, NumbersParseTheirLeadingPartAndClamp) {
  const struct {
    const char* text;
    int expected;
  } ints[] = {{"42abc", 42},
              {"abc", 0},
              {"", 0},
              {" \t-17x", -17},
              {"+8", 8},
              {"+-8", 0},
              {"2147483647", INT_MAX},
              {"2147483648", INT_MAX},
              {"-2147483648", INT_MIN},
              {"-2147483649", INT_MIN},
              {"99999999999999999999999999", INT_MAX},
              {"-99999999999999999999999999", INT_MIN},
              {"0000000000000000000000000012", 12}};
  for (const auto& c : ints) EXPECT_EQ(c.expected, CIniFile::ParseInt(c.text)) << c.text;

  EXPECT_DOUBLE_EQ(2.5, CIniFile::ParseDouble("2.5kg"));
  EXPECT_DOUBLE_EQ(-0.25, CIniFile::ParseDouble("  -0.25"));
  EXPECT_DOUBLE_EQ(0.0, CIniFile::ParseDouble("kg"));
  EXPECT_DOUBLE_EQ(DBL_MAX, CIniFile::ParseDouble("1e999"));
  EXPECT_DOUBLE_EQ(-DBL_MAX, CIniFile::ParseDouble("-1e999"));

  CIniFile ini;
  ini.SetValue("s", "n", "12 apples", true);
  EXPECT_EQ(12, ini.GetInt("s", "n", 0));
  EXPECT_DOUBLE_EQ(12.0, ini.GetDouble("s", "n", 0.0));
  EXPECT_EQ(INT_MIN, ini.GetInt("s", "missing", INT_MIN));
  EXPECT_DOUBLE_EQ(DBL_MAX, ini.GetDouble("s", "missing", DBL_MAX));
}

}  // namespace

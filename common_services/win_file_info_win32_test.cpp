// CWinFileInfo against real files: our own deliverables (their generated
// version resources), a module whose resource has no translation table, files
// without any, and the reset and copy rules.
#include "common_services/include/zintal/win_file_info.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

// The build names files by host path; under Wine the host's root is drive Z:.
std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

#ifndef Q_QUORREL_DLL
#error "Q_QUORREL_DLL names the built Quorrel.dll"
#endif

std::string Quorrel() { return WindowsPath(Q_QUORREL_DLL); }
std::string Zintal() { return WindowsPath(Q_ZINTAL_DLL); }
std::string NoTranslation() { return WindowsPath(Q_VERSION_NO_TRANSLATION_DLL); }

std::string ThisProgram() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return path;
}

// The project's version "a.b.c.d" as the two fixed-info words.
void ProjectVersion(DWORD& ms, DWORD& ls) {
  unsigned a = 0, b = 0, c = 0, d = 0;
  ASSERT_EQ(4, std::sscanf(Q_PROJECT_VERSION, "%u.%u.%u.%u", &a, &b, &c, &d));
  ms = (a << 16) | b;
  ls = (c << 16) | d;
}

void ExpectNothingOpen(CWinFileInfo& info) {
  EXPECT_EQ(nullptr, info.GetFixedFileInfo());
  DWORD ms = 1, ls = 1;
  EXPECT_FALSE(info.GetFileVersion(ms, ls));
  EXPECT_EQ(0u, ms);
  EXPECT_EQ(0u, ls);
  ms = ls = 1;
  EXPECT_FALSE(info.GetProductVersion(ms, ls));
  EXPECT_EQ(0u, ms);
  EXPECT_EQ(0u, ls);
  EXPECT_EQ(nullptr, info.GetFileVersion());
  EXPECT_EQ(nullptr, info.GetProductName());
  EXPECT_EQ(nullptr, info.GetCompanyName());
  EXPECT_EQ(nullptr, info.QueryValue("FileVersion"));
}

TEST(WinFileInfo, ReadsOurDeliverablesVersionResource) {
  CWinFileInfo info;
  ExpectNothingOpen(info);
  ASSERT_TRUE(info.OpenWinFile(Quorrel().c_str()));

  DWORD want_ms = 0, want_ls = 0;
  ProjectVersion(want_ms, want_ls);
  DWORD ms = 0, ls = 0;
  ASSERT_TRUE(info.GetFileVersion(ms, ls));
  EXPECT_EQ(want_ms, ms);
  EXPECT_EQ(want_ls, ls);
  ASSERT_TRUE(info.GetProductVersion(ms, ls));
  EXPECT_EQ(want_ms, ms);
  EXPECT_EQ(want_ls, ls);
  ASSERT_NE(nullptr, info.GetFixedFileInfo());
  EXPECT_EQ(0xFEEF04BDu, info.GetFixedFileInfo()->dwSignature);
  EXPECT_EQ(static_cast<DWORD>(VFT_DLL), info.GetFixedFileInfo()->dwFileType);

  // The strings of the first translation, 0409/1200.
  ASSERT_NE(nullptr, info.GetFileVersion());
  EXPECT_STREQ(Q_PROJECT_VERSION, info.GetFileVersion());
  EXPECT_STREQ(Q_PROJECT_VERSION, info.GetProductVersion());
  EXPECT_STREQ("Quorrel", info.GetInternalName());
  EXPECT_STREQ("Quorrel.dll", info.GetOriginalFilename());
  EXPECT_STREQ("Quorrel client side", info.GetProductName());
  EXPECT_STREQ("Quorrel gate client", info.GetFileDescription());
  EXPECT_EQ(nullptr, info.GetCompanyName());  // a string the file does not carry
  EXPECT_EQ(nullptr, info.GetLegalCopyright());
}

// Every other deliverable carries the project's version under its own names.
TEST(WinFileInfo, EveryDeliverableCarriesItsOwnNames) {
  const struct {
    std::string path;
    const char* name;
    const char* file;
    const char* description;
    DWORD type;
  } deliverables[] = {
      {Zintal(), "Zintal", "Zintal.dll", "Zintal common services", VFT_DLL},
      {WindowsPath(Q_HALVORA_EXE), "Halvora", "Halvora.exe", "Halvora launcher", VFT_APP},
      {WindowsPath(Q_VELMO_DLL), "VelmoPlatform", "VelmoPlatform.dll",
       "VelmoPlatform diagnostics library", VFT_DLL},
  };
  DWORD want_ms = 0, want_ls = 0;
  ProjectVersion(want_ms, want_ls);
  for (const auto& d : deliverables) {
    SCOPED_TRACE(d.file);
    CWinFileInfo info;
    ASSERT_TRUE(info.OpenWinFile(d.path.c_str()));
    DWORD ms = 0, ls = 0;
    ASSERT_TRUE(info.GetFileVersion(ms, ls));
    EXPECT_EQ(want_ms, ms);
    EXPECT_EQ(want_ls, ls);
    EXPECT_EQ(d.type, info.GetFixedFileInfo()->dwFileType);
    EXPECT_STREQ(d.name, info.GetInternalName());
    EXPECT_STREQ(d.file, info.GetOriginalFilename());
    EXPECT_STREQ(d.description, info.GetFileDescription());
  }
}

TEST(WinFileInfo, WithoutTranslationTableUsesBlockZero) {
  CWinFileInfo info;
  ASSERT_TRUE(info.OpenWinFile(NoTranslation().c_str()));
  DWORD ms = 0, ls = 0;
  ASSERT_TRUE(info.GetFileVersion(ms, ls));
  EXPECT_EQ(0x00070006u, ms);
  EXPECT_EQ(0x00050004u, ls);
  ASSERT_TRUE(info.GetProductVersion(ms, ls));
  EXPECT_EQ(0x00030002u, ms);
  EXPECT_EQ(0x00010000u, ls);
  EXPECT_STREQ("No Translation Ltd", info.GetCompanyName());
  EXPECT_STREQ("7.6.5.4", info.GetFileVersion());
  EXPECT_STREQ("none", info.GetLegalCopyright());
  EXPECT_EQ(nullptr, info.GetProductName());

  // The resource carries a value whose name just fits the 128-character
  // query path ("\StringFileInfo\00000000\" + 102 characters + NUL). One
  // character more does not fit: cut short, the path would name that value.
  const std::string longest(102, 'n');
  EXPECT_STREQ("longest name", info.QueryValue(longest.c_str()));
  EXPECT_EQ(nullptr, info.QueryValue((longest + "x").c_str()));
}

TEST(WinFileInfo, FilesWithoutVersionResource) {
  CWinFileInfo info;
  EXPECT_FALSE(info.OpenWinFile(ThisProgram().c_str()));  // a PE without one
  ExpectNothingOpen(info);

  const char* plain = "win_file_info_plain.txt";
  FILE* f = std::fopen(plain, "wb");
  ASSERT_NE(nullptr, f);
  std::fputs("not a module", f);
  std::fclose(f);
  EXPECT_FALSE(info.OpenWinFile(plain));
  ExpectNothingOpen(info);
  std::remove(plain);

  EXPECT_FALSE(info.OpenWinFile("no_such_file_anywhere.dll"));
  ExpectNothingOpen(info);
  EXPECT_FALSE(info.OpenWinFile(nullptr));
  ExpectNothingOpen(info);
}

TEST(WinFileInfo, SecondOpenResetsTheFirst) {
  CWinFileInfo info;
  ASSERT_TRUE(info.OpenWinFile(Quorrel().c_str()));
  ASSERT_TRUE(info.OpenWinFile(NoTranslation().c_str()));
  EXPECT_EQ(nullptr, info.GetProductName());  // Quorrel's translation is gone
  EXPECT_STREQ("7.6.5.4", info.GetFileVersion());

  ASSERT_TRUE(info.OpenWinFile(Quorrel().c_str()));
  // A failed second open leaves no pointer into the first file's data.
  EXPECT_FALSE(info.OpenWinFile(ThisProgram().c_str()));
  ExpectNothingOpen(info);
  EXPECT_EQ(nullptr, info.GetInternalName());
}

TEST(WinFileInfo, NamesTooLongForTheQueryPathFindNothing) {
  CWinFileInfo info;
  ASSERT_TRUE(info.OpenWinFile(Quorrel().c_str()));
  // "\StringFileInfo\040904b0\" is 25 characters: 102 more fit with the NUL.
  const std::string fits(102, 'x');
  EXPECT_EQ(nullptr, info.QueryValue(fits.c_str()));  // fits, but no such value
  // A name that does not fit is never looked up cut short.
  EXPECT_EQ(nullptr,
            info.QueryValue((std::string("InternalName") + std::string(200, 'a')).c_str()));
  EXPECT_EQ(nullptr, info.QueryValue(nullptr));
  EXPECT_STREQ("Quorrel", info.QueryValue("InternalName"));
}

TEST(WinFileInfo, CopyPointsIntoItsOwnBuffer) {
  auto source = std::make_unique<CWinFileInfo>();
  ASSERT_TRUE(source->OpenWinFile(Quorrel().c_str()));
  CWinFileInfo copy(*source);
  CWinFileInfo assigned;
  assigned = *source;

  for (CWinFileInfo* c : {&copy, &assigned}) {
    const BYTE* self = reinterpret_cast<const BYTE*>(c);
    const BYTE* fixed = reinterpret_cast<const BYTE*>(c->GetFixedFileInfo());
    ASSERT_NE(nullptr, fixed);
    EXPECT_TRUE(fixed > self && fixed < self + sizeof(CWinFileInfo));
    EXPECT_NE(source->GetFixedFileInfo(), c->GetFixedFileInfo());
  }
  source->OpenWinFile(NoTranslation().c_str());
  source.reset();  // the copies outlive the source and keep its first file
  DWORD ms = 0, ls = 0;
  DWORD want_ms = 0, want_ls = 0;
  ProjectVersion(want_ms, want_ls);
  ASSERT_TRUE(copy.GetFileVersion(ms, ls));
  EXPECT_EQ(want_ms, ms);
  EXPECT_EQ(want_ls, ls);
  EXPECT_STREQ("Quorrel", copy.GetInternalName());
  EXPECT_STREQ("Quorrel", assigned.GetInternalName());

  CWinFileInfo empty;
  assigned = empty;  // copying a closed one copies no pointer
  ExpectNothingOpen(assigned);
  assigned = assigned;
  ExpectNothingOpen(assigned);
}

// The version block is file input. A module's block garbled on purpose
// gives what each change calls for; garbled at random it gives either false
// or answers that lie wholly inside the reader's own buffer, never a crash.
class GarbledBlock : public testing::Test {
 protected:
  void SetUp() override {
    std::ifstream in(NoTranslation(), std::ios::binary);
    ASSERT_TRUE(in.good());
    image_.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    // The block starts 6 bytes before its key "VS_VERSION_INFO" (UTF-16);
    // the fixed info follows at offset 40, 52 bytes long.
    block_ = Find(L"VS_VERSION_INFO") - 6;
    ASSERT_LT(block_, image_.size());
    block_size_ =
        static_cast<uint8_t>(image_[block_]) | (static_cast<uint8_t>(image_[block_ + 1]) << 8);
    ASSERT_GT(block_size_, 100u);
    DWORD signature = 0;
    std::memcpy(&signature, &image_[block_ + kFixedAt], 4);
    ASSERT_EQ(signature, 0xFEEF04BDu);
  }
  void TearDown() override { std::remove(kGarbled); }

  // Offset of a UTF-16 text in the image (size_t(-1) when absent).
  size_t Find(const wchar_t* text) const {
    const char* t = reinterpret_cast<const char*>(text);
    auto at = std::search(image_.begin(), image_.end(), t, t + 2 * std::wcslen(text));
    return at == image_.end() ? static_cast<size_t>(-1) : static_cast<size_t>(at - image_.begin());
  }
  static void PutWord(std::vector<char>& image, size_t at, WORD value) {
    image[at] = static_cast<char>(value & 0xFF);
    image[at + 1] = static_cast<char>(value >> 8);
  }
  // Writes the module and opens it; the answers must lie inside `info`.
  bool Open(const std::vector<char>& image, CWinFileInfo& info) {
    {
      std::ofstream out(kGarbled, std::ios::binary | std::ios::trunc);
      out.write(image.data(), static_cast<std::streamsize>(image.size()));
    }
    const bool opened = info.OpenWinFile(kGarbled);
    const BYTE* lo = reinterpret_cast<const BYTE*>(&info);
    const BYTE* hi = lo + sizeof(info);
    if (opened) {
      const BYTE* fixed = reinterpret_cast<const BYTE*>(info.GetFixedFileInfo());
      EXPECT_TRUE(fixed > lo && fixed + sizeof(VS_FIXEDFILEINFO) <= hi);
    } else {
      ExpectNothingOpen(info);
    }
    for (const char* name : {"CompanyName", "FileVersion", "LegalCopyright", "ProductName"}) {
      const char* value = info.QueryValue(name);
      if (value == nullptr) continue;
      const BYTE* v = reinterpret_cast<const BYTE*>(value);
      EXPECT_TRUE(v > lo && v + std::strlen(value) < hi) << name;
    }
    return opened;
  }

  static constexpr size_t kFixedAt = 40;
  static constexpr size_t kFixedEnd = kFixedAt + sizeof(VS_FIXEDFILEINFO);
  static constexpr const char* kGarbled = "win_file_info_garbled.dll";
  std::vector<char> image_;
  size_t block_ = 0;
  size_t block_size_ = 0;
};

TEST_F(GarbledBlock, EachChangeGivesWhatItCallsFor) {
  {
    SCOPED_TRACE("unchanged");
    CWinFileInfo info;
    ASSERT_TRUE(Open(image_, info));
    EXPECT_STREQ("No Translation Ltd", info.GetCompanyName());
  }
  for (WORD length : {0, 51, 56}) {
    SCOPED_TRACE("fixed info said to be " + std::to_string(length) + " bytes");
    std::vector<char> image = image_;
    PutWord(image, block_ + 2, length);
    CWinFileInfo info;
    EXPECT_FALSE(Open(image, info));
  }
  {
    SCOPED_TRACE("version words rewritten");
    std::vector<char> image = image_;
    const DWORD words[2] = {0x00010002, 0x00030004};
    std::memcpy(&image[block_ + kFixedAt + 8], words, sizeof words);
    CWinFileInfo info;
    ASSERT_TRUE(Open(image, info));
    DWORD ms = 0, ls = 0;
    ASSERT_TRUE(info.GetFileVersion(ms, ls));
    EXPECT_EQ(0x00010002u, ms);
    EXPECT_EQ(0x00030004u, ls);
    ASSERT_TRUE(info.GetProductVersion(ms, ls));
    EXPECT_EQ(0x00030002u, ms);  // untouched
  }
  {
    SCOPED_TRACE("a value's key garbled");
    std::vector<char> image = image_;
    PutWord(image, Find(L"CompanyName") + 2 * 10, L'x');  // "CompanyNamx"
    CWinFileInfo info;
    ASSERT_TRUE(Open(image, info));
    EXPECT_EQ(nullptr, info.GetCompanyName());
    EXPECT_STREQ("7.6.5.4", info.GetFileVersion());
  }
  {
    SCOPED_TRACE("a value's text garbled");
    std::vector<char> image = image_;
    PutWord(image, Find(L"No Translation Ltd"), L'M');
    CWinFileInfo info;
    ASSERT_TRUE(Open(image, info));
    EXPECT_STREQ("Mo Translation Ltd", info.GetCompanyName());
  }
  {
    SCOPED_TRACE("the string table's language garbled");
    std::vector<char> image = image_;
    PutWord(image, Find(L"00000000") + 2 * 7, L'1');  // "00000001"
    CWinFileInfo info;
    ASSERT_TRUE(Open(image, info));
    EXPECT_EQ(nullptr, info.GetCompanyName());
    EXPECT_EQ(nullptr, info.GetFileVersion());
    DWORD ms = 0, ls = 0;
    EXPECT_TRUE(info.GetFileVersion(ms, ls));
    EXPECT_EQ(0x00070006u, ms);
  }
  {
    SCOPED_TRACE("the block cut short after its fixed info");
    std::vector<char> image = image_;
    PutWord(image, block_, static_cast<WORD>(kFixedEnd));
    CWinFileInfo info;
    ASSERT_TRUE(Open(image, info));
    EXPECT_EQ(nullptr, info.GetCompanyName());
    DWORD ms = 0, ls = 0;
    EXPECT_TRUE(info.GetFileVersion(ms, ls));
    EXPECT_EQ(0x00050004u, ls);
  }
}

// The root block's length is what VerQueryValueA walks (and converts texts
// behind): one that passes the bytes read is refused before any query, even
// where the queries would still find what they look for.
TEST_F(GarbledBlock, ARootLongerThanWhatWasReadIsRefused) {
  {
    std::ofstream out(kGarbled, std::ios::binary | std::ios::trunc);
    out.write(image_.data(), static_cast<std::streamsize>(image_.size()));
  }
  DWORD handle = 0;
  const DWORD size = GetFileVersionInfoSizeA(kGarbled, &handle);
  const DWORD read = (size - 4) / 2;  // a Unicode block: the rest is room for conversions
  ASSERT_GE(read, block_size_);
  for (DWORD length : {read, read + 1, 2 * read, DWORD{0xFFFF}}) {
    SCOPED_TRACE("root length " + std::to_string(length) + " of " + std::to_string(read) +
                 " bytes read");
    std::vector<char> image = image_;
    PutWord(image, block_, static_cast<WORD>(length));
    CWinFileInfo info;
    EXPECT_EQ(Open(image, info), length <= read);
  }
}

TEST_F(GarbledBlock, RandomChangesGiveFalseOrAnswersInsideTheBuffer) {
  std::mt19937 rng(20261209);
  int untouched_fixed_info = 0;
  int refused_length = 0;
  for (int round = 0; round < 300; ++round) {
    SCOPED_TRACE(round);
    std::vector<char> image = image_;
    const int hits = 1 + static_cast<int>(rng() % 12);
    size_t first_hit = block_size_;
    for (int h = 0; h < hits; ++h) {
      const size_t pos = rng() % block_size_;
      first_hit = std::min(first_hit, pos);
      image[block_ + pos] = static_cast<char>(rng() % 3 == 0 ? 0xFF : rng());
    }
    CWinFileInfo info;
    const bool opened = Open(image, info);
    const WORD value_length =
        static_cast<uint8_t>(image[block_ + 2]) | (static_cast<uint8_t>(image[block_ + 3]) << 8);
    if (first_hit >= kFixedEnd) {
      // Only the string tables changed: the fixed info reads as it was.
      ++untouched_fixed_info;
      ASSERT_TRUE(opened);
      DWORD ms = 0, ls = 0;
      ASSERT_TRUE(info.GetFileVersion(ms, ls));
      EXPECT_EQ(0x00070006u, ms);
      EXPECT_EQ(0x00050004u, ls);
    } else if (value_length != sizeof(VS_FIXEDFILEINFO)) {
      ++refused_length;
      EXPECT_FALSE(opened);
    }
  }
  // Both kinds of round came up.
  EXPECT_GT(untouched_fixed_info, 50);
  EXPECT_GT(refused_length, 0);
}

// A version block larger than the reader's 4096-byte buffer is refused, and
// what an earlier open read is gone.
TEST(WinFileInfo, ABlockLargerThanTheBufferIsRefused) {
  const std::string oversized = WindowsPath(Q_VERSION_OVERSIZED_DLL);
  DWORD handle = 0;
  ASSERT_GT(GetFileVersionInfoSizeA(oversized.c_str(), &handle), 4096u);
  CWinFileInfo info;
  ASSERT_TRUE(info.OpenWinFile(Quorrel().c_str()));
  EXPECT_FALSE(info.OpenWinFile(oversized.c_str()));
  ExpectNothingOpen(info);
  EXPECT_EQ(nullptr, info.GetInternalName());
}

}  // namespace

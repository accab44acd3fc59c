// libFuzzer target for the INI reader and the configuration loader on top of
// it: any bytes as a file must give a defined outcome (no crash, hang or
// sanitizer report), and a few properties of the result must hold.
// Native only; built in the fuzz tree and run by scripts/fuzz.sh.
#include <unistd.h>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "netcore/config/config_item.h"
#include "netcore/config/ini_file.h"
#include "netcore/config/program_config_load.h"

namespace {

std::string g_path;

// The reader takes a path, so each input goes through one scratch file.
bool WriteInput(const uint8_t* data, size_t size) {
  std::FILE* f = std::fopen(g_path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

void Check(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "property broken: %s\n", what);
    std::abort();
  }
}

// atoi's grammar through strtoll, clamped: what ParseInt must agree with.
int ReferenceInt(const std::string& text) {
  errno = 0;
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

void CheckTrimmed(const std::string& s) {
  Check(s.find('\0') == std::string::npos, "trimmed text holds a NUL");
  Check(s.empty() || (s.front() != ' ' && s.front() != '\t'), "trimmed text starts with a blank");
}

struct FuzzSettings : ccf::RProgramConfigLoad {
  explicit FuzzSettings(const char* file) : ccf::RProgramConfigLoad(file) {}
  ccf::RConfigItemLong number{&head, "main", "n", 7};
  ccf::RConfigItemString text{&head, "s", "d"};
  ccf::RConfigItemStringArr addr{&head, "gate", "address", 32, "", "_%02d"};
  ccf::RConfigItemLongArr ports{&head, "gate", "p", 4, 1, "%d"};
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = std::getenv("TMPDIR");
  std::string tmpl = std::string(tmp && *tmp ? tmp : "/tmp") + "/ini_fuzz_XXXXXX";
  const int fd = mkstemp(&tmpl[0]);
  if (fd < 0) {
    std::perror("mkstemp");
    std::abort();
  }
  close(fd);
  g_path = tmpl;
  std::atexit([] { std::remove(g_path.c_str()); });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);

  Check(CIniFile::ParseInt(bytes) == ReferenceInt(bytes), "ParseInt differs from strtoll");
  (void)CIniFile::ParseDouble(bytes);
  CheckTrimmed(CIniFile::Trim(bytes));

  if (!WriteInput(data, size)) return 0;

  CIniFile* ini = new CIniFile(g_path);
  const bool read = ini->ReadFile();
  Check(read == (ini->NumKeys() > 0), "ReadFile's result does not match its sections");
  for (size_t k = 0; k < ini->NumKeys(); ++k) {
    const std::string& section = ini->KeyNames()[k];
    CheckTrimmed(section);
    const int first = ini->FindKey(section);
    Check(first >= 0 && static_cast<size_t>(first) <= k, "FindKey misses a section");
    const std::vector<std::string>& names = ini->ValueNames(static_cast<int>(k));
    Check(names.size() == ini->Values(static_cast<int>(k)).size(),
          "names and values differ in count");
    for (size_t v = 0; v < names.size(); ++v) {
      CheckTrimmed(names[v]);
      const std::string value = ini->GetValue(section, names[v], "");
      Check(ini->GetValueI(section, names[v], 0) == ReferenceInt(value), "GetValueI differs");
      (void)ini->GetDouble(section.c_str(), names[v].c_str(), 0.5);
      (void)ini->GetBool(section.c_str(), names[v].c_str(), true);
    }
  }
  ini->Release();

  FuzzSettings settings(g_path.c_str());
  const bool loaded = settings.Load();
  Check(loaded == read, "Load and ReadFile disagree");
  Check(settings.Load() == loaded, "a second Load changed its answer");
  Check(settings.addr.values.size() == 32 && settings.ports.values.size() == 4,
        "array sizes changed");
  return 0;
}

#include "diagnostics/probes/machine_probes.h"

#include <cstdlib>
#include <cstring>

void SampleOs(const CWmiSession& wmi, SamplerReport* report) {
  static const char* const kProps[] = {"Caption", "OSArchitecture", "Version"};
  std::vector<WmiRow> rows;
  WmiQueryRows(wmi, "Win32_OperatingSystem", kProps, 3, &rows);
  if (rows.empty()) return;
  auto text = [&](const char* name) {
    auto it = rows[0].find(name);
    return it == rows[0].end() ? std::string() : VariantToText(it->second);
  };
  report->os = text("Caption") + " " + text("OSArchitecture") + " (" + text("Version") + ")";
}

void SampleVideoAdapters(const CWmiSession& wmi, SamplerReport* report) {
  static const char* const kProps[] = {"Caption", "DriverVersion"};
  report->video_adapters.clear();
  std::vector<WmiRow> rows;
  WmiQueryRows(wmi, "Win32_VideoController", kProps, 2, &rows);
  for (const WmiRow& row : rows) {
    VideoAdapter a;
    auto caption = row.find("Caption");
    if (caption != row.end()) a.name = VariantToText(caption->second);
    auto driver = row.find("DriverVersion");
    if (driver != row.end()) a.driver_version = VariantToText(driver->second);
    report->video_adapters.push_back(a);
  }
}

int DirectXMajor(const std::string& text, DWORD os_major, DWORD os_minor) {
  if (os_major > 5) return os_minor != 0 ? 11 : 10;
  size_t first = text.find('.');
  if (first == std::string::npos) return 0;
  size_t second = text.find('.', first + 1);
  if (second == std::string::npos) return 0;
  return std::atoi(text.substr(first + 1, second - first - 1).c_str());
}

int GetDirectXVersion(std::string* text) {
  text->clear();
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\DirectX", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return 0;
  }
  char value[1024];
  DWORD type = 0, size = sizeof value;
  LONG r = RegQueryValueExA(key, "Version", nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || size == 0 ||
      !std::memchr(value, 0, size)) {
    return 0;
  }
  *text = value;
  OSVERSIONINFOA os;
  std::memset(&os, 0, sizeof os);
  os.dwOSVersionInfoSize = sizeof os;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  GetVersionExA(&os);
#pragma GCC diagnostic pop
  return DirectXMajor(*text, os.dwMajorVersion, os.dwMinorVersion);
}

void SampleProcessorLoad(const CWmiSession& wmi, SamplerReport* report) {
  WmiColumn idle;
  WmiQueryColumn(wmi, "Win32_PerfFormattedData_PerfOS_Processor", "PercentIdleTime", &idle);
  if (idle.empty()) return;  // Wine's WMI has no performance rows: the last value stays
  uint32_t sum = 0;
  for (const _variant_t& v : idle) sum += VariantToUInt32(v);
  report->cpu_percent = int32_t(100u - sum / uint32_t(idle.size()));
}

void SampleMemory(const CWmiSession& wmi, SamplerReport* report) {
  WmiColumn total;
  WmiQueryColumn(wmi, "Win32_ComputerSystem", "TotalPhysicalMemory", &total);
  if (!total.empty()) {
    report->mem_total =
        int32_t(std::strtoll(VariantToText(total[0]).c_str(), nullptr, 10) / 1048576);
  }
  WmiColumn available;
  WmiQueryColumn(wmi, "Win32_PerfFormattedData_PerfOS_Memory", "AvailableMBytes", &available);
  if (!available.empty()) {
    report->mem_use = report->mem_total - int32_t(VariantToUInt32(available[0]));
  }
}

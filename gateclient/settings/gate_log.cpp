#include "gateclient/settings/gate_log.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "gateclient/settings/local_time.h"

namespace {

const char kLogFolder[] = "log";
const char kLogFile[] = "log/gateclient.log";

std::tm SystemClock() {
  std::tm tm{};
  ToLocalTime(std::time(nullptr), &tm);
  return tm;
}

std::atomic<GateLogClock> g_clock{&SystemClock};

// The job thread, the launcher's thread and the game threads all log: one
// lock keeps each line whole and the file opened once.
std::mutex g_fileMutex;
std::FILE* g_file = nullptr;

}  // namespace

LogSinkList& GetLogSinks() {
  static LogSinkList sinks;
  return sinks;
}

void AddGateLogSink() {
  LogSinkList& sinks = GetLogSinks();
  if (std::find(sinks.begin(), sinks.end(), &GateLog) == sinks.end()) sinks.push_back(&GateLog);
}

void WriteLog(int level, const std::string& text, const char* sourcePath, int line) {
  for (LogSink sink : GetLogSinks()) sink(level, text, sourcePath, line);
}

void GateLog(int level, const std::string& text, const char* /*sourcePath*/, int /*line*/) {
  if (level < 2) return;

  std::lock_guard<std::mutex> lock(g_fileMutex);
  std::error_code ignored;  // an existing folder or a failure: the open below decides
  std::filesystem::create_directory(kLogFolder, ignored);
  if (!g_file) {
    g_file = std::fopen(kLogFile, "a+");
    if (!g_file) return;
  }
  const std::tm t = g_clock.load()();
  std::fprintf(g_file, "[%d-%02d-%02d %02d:%02d:%02d][%d][%s]\n", t.tm_year + 1900, t.tm_mon + 1,
               t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, level, text.c_str());
  std::fflush(g_file);
}

GateLogClock SetGateLogClock(GateLogClock clock) {
  return g_clock.exchange(clock ? clock : &SystemClock);
}

void CloseGateLog() {
  std::lock_guard<std::mutex> lock(g_fileMutex);
  if (g_file) std::fclose(g_file);
  g_file = nullptr;
}

// The gate client's log: every component writes its lines through one
// process-wide list of sinks (QLOG / WriteLog), each sink called with the
// level (0 bundle details, 1 traffic, 2 life cycle, 3 address problems,
// 4 command-building failures), the text, the source path and the line.
// The gate log is the one sink: it appends entries of level 2 and above to
// "log/gateclient.log" under the current directory.
//
// Thread safety: fill the sink list (AddGateLogSink) before other threads
// log; afterwards it is only read, from any thread. GateLog may be called
// from any thread: one mutex guards the file, so lines never interleave.
// Ownership: the list and the log file live until the process ends.
#pragma once

#include <ctime>
#include <string>
#include <vector>

// The levels the gate client logs at; the file keeps kLogLifeCycle and above.
enum LogLevel : int {
  kLogDetail = 0,     // bundle details
  kLogTraffic = 1,    // each command in and out
  kLogLifeCycle = 2,  // connect, hello, login, launch, exit
  kLogWarning = 3,    // address problems
  kLogError = 4,      // a command that could not be built or a game not started
};

using LogSink = void (*)(int level, const std::string& text, const char* sourcePath, int line);
using LogSinkList = std::vector<LogSink>;

// The process-wide list, created empty on the first call.
LogSinkList& GetLogSinks();

// Appends GateLog to the list unless it already holds it.
void AddGateLogSink();

// The gate log sink. Entries below level 2 are dropped before anything is
// touched; the folder "log" is made for every entry, the file opened by the
// first entry and kept open. An entry that cannot be written is lost and the
// open tried again with the next one.
void GateLog(int level, const std::string& text, const char* sourcePath, int line);

// Hands one log line to every sink of the list, in list order.
void WriteLog(int level, const std::string& text, const char* sourcePath, int line);

#define QLOG(level, text) ::WriteLog((level), (text), __FILE__, __LINE__)

// Seams for tests. The clock gives the local time stamped on each line
// (null puts the system clock back); it returns the clock it replaced.
// CloseGateLog closes the file so the next entry opens it afresh, e.g. in
// another current directory.
using GateLogClock = std::tm (*)();
GateLogClock SetGateLogClock(GateLogClock clock);
void CloseGateLog();

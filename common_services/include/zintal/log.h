// CLog: an append-only text log of Zintal.dll that opens its file for every
// line ("[YYYY-MM-DD HH:MM:SS] text", written in text mode, so the line ends
// on disk with CR, CR, LF). Failures never reach the caller.
// Thread safety: any thread; two threads (or processes) logging at once each
// open the file for their own line, and each line is one append under a
// short writers' lock on the file, so lines never overwrite or cut into each
// other. Log never waits for that lock beyond about 200 ms (its holder may be
// suspended or terminated): past that the line is written without it.
// Ownership: holds its directory and file name by value; copies copy them.
#pragma once

#include "common_services/include/zintal/zintal_api.h"
#include "platform/mfc/c_string.h"

// What this header declares has Zintal.dll's layout whatever packing the
// includer has set; the compiler and libstdc++ settings a caller shares:
// zintal_api.h.
#pragma pack(push, 8)

class ZINTAL_API CLog {
 public:
  CLog();
  CLog(const CLog& other);
  CLog& operator=(const CLog& other);

  // Keeps both and checks that directory\file_name can be opened for
  // appending (creating the file, never the directory).
  BOOL CreateFileA(CString directory, CString file_name);
  // Appends one line; a file that cannot be opened loses it quietly.
  void Log(CString text);

 private:
  CString directory_;
  CString file_name_;
};

ZINTAL_ABI_SIZE(CLog, 48);

#pragma pack(pop)

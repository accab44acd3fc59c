// CLog: one line per open of the log file (see its header).
//
// Each line is one append under a lock: two writers that each position a
// stream at the end and then write can land on the same offset, and one line
// overwrites the other (seen under Wine, where even an append-only handle
// does not keep them apart). So a writer takes an exclusive lock on one byte
// far past any real end of the file (readers are not blocked), moves to the
// end, writes the line in one WriteFile, turned into the bytes a text-mode
// stream would write ("\n" as "\r\n"), and unlocks. The lock works across
// threads and processes alike; it is never waited for long (see
// TakeWriterLock).
#include "common_services/include/zintal/log.h"

#include <ctime>
#include <string>

static_assert(sizeof(CLog) == 2 * sizeof(CString), "CLog layout: directory, file name");

namespace {

// Opens (creating, never a directory) for appending; INVALID_HANDLE_VALUE
// when it cannot be opened.
HANDLE OpenForAppend(const CString& directory, const CString& file_name) {
  const CString path = directory + "\\" + file_name;
  return ::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The byte that writers lock: at 2^62, beyond any log file.
OVERLAPPED WriterLockByte() {
  OVERLAPPED at = {};
  at.OffsetHigh = 0x40000000;
  return at;
}

// The writers' lock is asked for without waiting, a few times over at most
// about 200 ms. A writer that holds it longer is suspended, stuck on a slow
// share or was terminated between lock and unlock (its handle, and so its
// lock, lives on); then the line is written without the lock: the log never
// waits on another writer, and it keeps its lines (a writer that only runs
// late can then, rarely, land on the same offset).
bool TakeWriterLock(HANDLE file) {
  DWORD pause = 1;
  for (DWORD waited = 0;; waited += pause, pause *= 2) {
    OVERLAPPED at = WriterLockByte();
    if (LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
      return true;
    }
    // A file system without locks says so at once: no use asking again.
    if (GetLastError() != ERROR_LOCK_VIOLATION || waited + pause > 200) return false;
    Sleep(pause);
  }
}

void AppendLocked(HANDLE file, const std::string& bytes) {
  const bool locked = TakeWriterLock(file);
  LARGE_INTEGER end = {};
  SetFilePointerEx(file, end, nullptr, FILE_END);
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  if (locked) {
    OVERLAPPED at = WriterLockByte();
    UnlockFileEx(file, 0, 1, 0, &at);
  }
}

// "[%s] %s\r\n" of (stamp, text) as a text-mode stream puts it on disk.
std::string LineBytes(const char* stamp, const char* text) {
  std::string line = std::string("[") + stamp + "] " + text + "\r\n";
  std::string bytes;
  bytes.reserve(line.size() + 2);
  for (char c : line) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  return bytes;
}

}  // namespace

CLog::CLog() = default;

CLog::CLog(const CLog& other) = default;

CLog& CLog::operator=(const CLog& other) = default;

BOOL CLog::CreateFileA(CString directory, CString file_name) {
  try {
    directory_ = directory;
    file_name_ = file_name;
    HANDLE file = OpenForAppend(directory_, file_name_);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    CloseHandle(file);
    return TRUE;
  } catch (...) {
    return TRUE;  // only a file that cannot be opened counts as a failure
  }
}

void CLog::Log(CString text) {
  try {
    HANDLE file = OpenForAppend(directory_, file_name_);
    if (file == INVALID_HANDLE_VALUE) return;
    const std::time_t now = std::time(nullptr);
    char stamp[32] = "";
    if (const std::tm* local = std::localtime(&now)) {
      std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", local);
    }
    AppendLocked(file, LineBytes(stamp, text.GetString()));
    CloseHandle(file);
  } catch (...) {
  }
}

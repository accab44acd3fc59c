// Every block that reaches the lobby through the dialog's send operations,
// newest last, with the thread it came on: the lobby window's list, the
// script mode's printout and its waits all read this one record.
//
// A block's line, as the window shows it and the script mode prints it:
//   #<n> tid=<thread> socket kind=<k> server=<s> main=<m> sub=<u> len=<l> hex=<body>
//   #<n> tid=<thread> process main=<m> sub=<u> len=<l> hex=<body>
// with "body=none" in place of "len=.. hex=.." for the overloads without a
// body, and "hex=(null)" for a length given with a null pointer.
// Thread safety: any thread (one mutex); waiters and the window poll.
// Ownership: bodies are copied in; the caller's pointer is not kept.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "shared/thread_check/thread_check.h"

namespace korvel {

enum class Channel { kSocket, kProcess };

struct BlockRecord {
  uint32_t seq = 0;  // 1-based, in arrival order
  uint32_t threadId = 0;
  Channel channel = Channel::kSocket;
  uint16_t gameKind = 0;  // socket channel only
  uint16_t serverId = 0;  // socket channel only
  uint16_t mainCode = 0;
  uint16_t subCode = 0;
  bool hasBody = false;   // false: the overload without a body
  bool nullData = false;  // a length came with a null pointer
  uint16_t length = 0;
  std::vector<uint8_t> body;
};

std::string FormatBlock(const BlockRecord& block);

class BlockLog {
 public:
  // Copies `length` bytes from `data` (none when `data` is null) and returns
  // the record's sequence number.
  uint32_t Add(uint32_t threadId, Channel channel, uint16_t gameKind, uint16_t serverId,
               uint16_t mainCode, uint16_t subCode, bool hasBody, const void* data,
               uint16_t length);

  size_t Size() const;
  // Blocks with these codes so far.
  uint32_t Count(uint16_t mainCode, uint16_t subCode) const;
  // The records from index `from` (0-based) on.
  std::vector<BlockRecord> Since(size_t from) const;
  // How many blocks came on each thread.
  std::map<uint32_t, uint32_t> Threads() const;
  // Waits until the log holds more than `known` blocks or `most` has passed:
  // a script driver without a window sleeps here between its steps.
  void WaitForMore(size_t known, std::chrono::milliseconds most) const;

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable added_;
  std::vector<BlockRecord> blocks_ Q_GUARDED_BY(mutex_);
  std::map<std::pair<uint16_t, uint16_t>, uint32_t> counts_ Q_GUARDED_BY(mutex_);
};

}  // namespace korvel

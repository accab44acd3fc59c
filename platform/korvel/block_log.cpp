#include "platform/korvel/block_log.h"

namespace korvel {

std::string FormatBlock(const BlockRecord& block) {
  std::string line = "#" + std::to_string(block.seq) + " tid=" + std::to_string(block.threadId);
  if (block.channel == Channel::kSocket) {
    line += " socket kind=" + std::to_string(block.gameKind) +
            " server=" + std::to_string(block.serverId);
  } else {
    line += " process";
  }
  line += " main=" + std::to_string(block.mainCode) + " sub=" + std::to_string(block.subCode);
  if (!block.hasBody) return line + " body=none";
  line += " len=" + std::to_string(block.length) + " hex=";
  if (block.nullData) return line + "(null)";
  static const char kDigits[] = "0123456789abcdef";
  for (uint8_t b : block.body) {
    line += kDigits[b >> 4];
    line += kDigits[b & 15];
  }
  return line;
}

uint32_t BlockLog::Add(uint32_t threadId, Channel channel, uint16_t gameKind, uint16_t serverId,
                       uint16_t mainCode, uint16_t subCode, bool hasBody, const void* data,
                       uint16_t length) {
  BlockRecord block;
  block.threadId = threadId;
  block.channel = channel;
  block.gameKind = gameKind;
  block.serverId = serverId;
  block.mainCode = mainCode;
  block.subCode = subCode;
  block.hasBody = hasBody;
  if (hasBody) {
    block.length = length;
    block.nullData = data == nullptr && length != 0;
    if (data != nullptr) {
      const auto* bytes = static_cast<const uint8_t*>(data);
      block.body.assign(bytes, bytes + length);
    }
  }
  std::lock_guard<std::mutex> lock(mutex_);
  block.seq = static_cast<uint32_t>(blocks_.size() + 1);
  ++counts_[{mainCode, subCode}];
  blocks_.push_back(std::move(block));
  added_.notify_all();
  return blocks_.back().seq;
}

void BlockLog::WaitForMore(size_t known, std::chrono::milliseconds most) const {
  std::unique_lock<std::mutex> lock(mutex_);
  added_.wait_for(lock, most, [&] { return blocks_.size() > known; });
}

size_t BlockLog::Size() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return blocks_.size();
}

uint32_t BlockLog::Count(uint16_t mainCode, uint16_t subCode) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = counts_.find({mainCode, subCode});
  return it == counts_.end() ? 0 : it->second;
}

std::vector<BlockRecord> BlockLog::Since(size_t from) const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (from >= blocks_.size()) return {};
  return std::vector<BlockRecord>(blocks_.begin() + static_cast<std::ptrdiff_t>(from),
                                  blocks_.end());
}

std::map<uint32_t, uint32_t> BlockLog::Threads() const {
  std::lock_guard<std::mutex> lock(mutex_);
  std::map<uint32_t, uint32_t> threads;
  for (const BlockRecord& b : blocks_) ++threads[b.threadId];
  return threads;
}

}  // namespace korvel

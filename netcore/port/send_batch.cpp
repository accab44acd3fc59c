#include "netcore/port/send_batch.h"

#include <utility>

namespace q_platform {

namespace {

// The open batch of this thread. A plain pointer: nothing to destroy when a
// thread ends, even one that outlives this library.
thread_local SendBatch* t_open = nullptr;

}  // namespace

void SendBatchTarget::Close() {
  std::lock_guard<std::mutex> lock(mutex_);
  outlet_ = nullptr;
}

void SendBatchTarget::Write(uint64_t key, const char* data, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (outlet_ != nullptr) outlet_->SendHeld(key, data, size);
}

SendBatch::SendBatch() {
  if (t_open == nullptr) {
    t_open = this;
    open_ = true;
  }
}

SendBatch::~SendBatch() {
  if (!open_) return;
  // Closed first: the writes below go straight out.
  t_open = nullptr;
  WriteOut();
}

bool SendBatch::IsOpen() { return t_open != nullptr; }

bool SendBatch::Hold(const std::shared_ptr<SendBatchTarget>& target, uint64_t key, const char* data,
                     size_t size) {
  SendBatch* batch = t_open;
  if (batch == nullptr || !target) return false;
  // Consecutive frames to one connection share one write; a frame for
  // another connection starts a new entry, so the order of each
  // connection's frames, and of the writes, is the order of the sends.
  if (batch->held_.empty() || batch->held_.back().target != target ||
      batch->held_.back().key != key) {
    batch->held_.push_back(Held{target, key, std::string()});
  }
  batch->held_.back().bytes.append(data, size);
  batch->held_bytes_ += size;
  if (batch->held_bytes_ >= kMaxHeldBytes) batch->WriteOut();
  return true;
}

void SendBatch::WriteOut() {
  std::vector<Held> held;
  held.swap(held_);
  held_bytes_ = 0;
  for (Held& h : held) h.target->Write(h.key, h.bytes.data(), h.bytes.size());
}

}  // namespace q_platform

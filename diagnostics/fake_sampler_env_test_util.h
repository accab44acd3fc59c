// A recording fake of the report cycle's outside world (sampler_env.h) for
// the cycle's tests: scripted HTTP answers, probes that fill fixed values,
// a virtual clock whose waits return at once (and record what was asked),
// and stalls of real time for the Stop tests (a configuration request, a
// resolver, a WMI query that hang until Stop or for a while).
// Thread safety: the cycle calls it on its thread; RequestStop and the
// record's readers on any thread (the record has its own mutex).
// Ownership: the record is shared, so a test reads it after the env is gone.
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "diagnostics/des_cipher.h"
#include "diagnostics/hex_codec.h"
#include "diagnostics/report_codec.h"
#include "diagnostics/sampler_env.h"

namespace diag_test {

// A configuration answer as the web service sends it: the JSON zero-padded
// to whole blocks, DES-enciphered with the configuration key, in hex.
inline std::string ConfigAnswer(const std::string& json) {
  std::string padded = json;
  padded.resize((json.size() + 7) / 8 * 8, '\0');
  CDesCipher des;
  des.SetKey(reinterpret_cast<const uint8_t*>(diag::kConfigKey));
  std::string hex;
  for (size_t i = 0; i < padded.size(); i += 8) {
    des.Encipher(reinterpret_cast<const uint8_t*>(padded.data() + i), 8);
    hex += diag::HexEncode(des.enciphered(), 8);
  }
  return hex;
}

struct Request {
  std::string url;
  int type = 0;
  std::string body;
};

// What the cycle did, shared between the env and the test.
struct SamplerRecord {
  std::mutex mutex;
  std::condition_variable changed;
  bool stop = false;
  std::vector<Request> requests;
  std::vector<uint32_t> waits;  // every Wait's ms, in order
  std::vector<std::string> traces;
  int resolves = 0;
  int pings = 0;
  int loads = 0;  // stalled SampleLoad calls
  bool env_destroyed = false;

  void RequestStop() {
    std::lock_guard<std::mutex> lock(mutex);
    stop = true;
    changed.notify_all();
  }
  size_t Count(int type) {
    std::lock_guard<std::mutex> lock(mutex);
    size_t n = 0;
    for (const Request& r : requests) n += r.type == type ? 1 : 0;
    return n;
  }
  // Waits until pred (called under the lock) holds; false after `ms`.
  bool WaitFor(const std::function<bool()>& pred, int ms = 10000) {
    std::unique_lock<std::mutex> lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(ms), pred);
  }
};

class FakeSamplerEnv : public SamplerEnv {
 public:
  explicit FakeSamplerEnv(std::shared_ptr<SamplerRecord> record = std::make_shared<SamplerRecord>())
      : record_(std::move(record)) {}
  ~FakeSamplerEnv() override {
    std::lock_guard<std::mutex> lock(record_->mutex);
    record_->env_destroyed = true;
    record_->changed.notify_all();
  }

  // --- the script --------------------------------------------------------
  std::string config_answer;  // the hex the configuration GET gets
  std::string ip_page;        // what every public-IP GET gets
  int report_status = 200;
  int64_t now = 1700000000;
  int random = 1234;
  bool open_fails = false;
  // Stop once this many reports were posted, or at the Wait after this many
  // (0: never by itself).
  size_t stop_after_reports = 0;
  size_t stop_after_waits = 0;
  // Stalls of real time: the configuration GET and SampleLoad hang until
  // Stop (as the Windows layer's cancellable calls do); each Resolve takes
  // resolve_ms whatever happens (a blocking resolver).
  bool stall_config = false;
  bool stall_load = false;
  int resolve_ms = 0;
  // Waits sleep for real up to this many ms (0: the virtual clock).
  uint32_t real_wait_cap_ms = 0;

  std::shared_ptr<SamplerRecord> record() { return record_; }

  // --- SamplerEnv ----------------------------------------------------------
  bool Stopping() override {
    std::lock_guard<std::mutex> lock(record_->mutex);
    return record_->stop;
  }
  bool Wait(uint32_t ms) override {
    std::unique_lock<std::mutex> lock(record_->mutex);
    record_->waits.push_back(ms);
    if (stop_after_waits && record_->waits.size() >= stop_after_waits) record_->stop = true;
    record_->changed.notify_all();
    if (real_wait_cap_ms == 0 || ms == 0) return record_->stop;
    return record_->changed.wait_for(lock,
                                     std::chrono::milliseconds(std::min(ms, real_wait_cap_ms)),
                                     [&] { return record_->stop; });
  }
  int64_t Now() override { return now; }
  int Random() override { return random; }

  int Exchange(const std::string& url, int type, const std::string& body,
               std::string* response) override {
    response->clear();
    bool config = url.find("/Verify/UserBasicsConfig.aspx") != std::string::npos;
    std::unique_lock<std::mutex> lock(record_->mutex);
    record_->requests.push_back({url, type, body});
    record_->changed.notify_all();
    if (config && stall_config) {
      record_->changed.wait(lock, [&] { return record_->stop; });
      return 0;
    }
    if (record_->stop) return 0;
    if (type == 2) {
      if (stop_after_reports && CountLocked(2) >= stop_after_reports) record_->stop = true;
      return report_status;
    }
    *response = (config ? config_answer : ip_page).substr(0, kMaxAnswerBytes);
    return 0;
  }

  bool OpenMachine() override { return !open_fails; }
  void SampleOnce(SamplerReport* report) override {
    report->os = "Test OS";
    report->video_adapters = {{"Test Adapter", "1.0"}};
    report->dx_major = 9;
    report->dx_version = "4.09.00.0904";
  }
  void SampleLoad(SamplerReport* report) override {
    if (stall_load) {
      std::unique_lock<std::mutex> lock(record_->mutex);
      ++record_->loads;
      record_->changed.notify_all();
      record_->changed.wait(lock, [&] { return record_->stop; });
      return;
    }
    report->cpu_percent = 7;
    report->mem_total = 2048;
    report->mem_use = 1024;
  }
  void DnsServers(std::vector<std::string>* list) override { list->push_back("10.0.0.53"); }
  void Resolve(NameResolutionEntry* entry) override {
    if (resolve_ms) std::this_thread::sleep_for(std::chrono::milliseconds(resolve_ms));
    std::lock_guard<std::mutex> lock(record_->mutex);
    ++record_->resolves;
    record_->changed.notify_all();
    entry->host_name = entry->target;
    entry->ip = "127.0.0.1";
  }
  bool Ping(const std::string& host, PingStats* stats, int packets, int interval_ms,
            int timeout_ms) override {
    std::lock_guard<std::mutex> lock(record_->mutex);
    ++record_->pings;
    *stats = PingStats{0.0f, 2, 1, 3};
    return true;
  }
  void Trace(const std::string& line) override {
    std::lock_guard<std::mutex> lock(record_->mutex);
    record_->traces.push_back(line);
  }

 private:
  size_t CountLocked(int type) const {
    size_t n = 0;
    for (const Request& r : record_->requests) n += r.type == type ? 1 : 0;
    return n;
  }

  std::shared_ptr<SamplerRecord> record_;
};

}  // namespace diag_test

#include "diagnostics/config_answer.h"

#include <cstring>
#include <memory>
#include <stdexcept>
#include <vector>

#include <json/reader.h>
#include <json/value.h>

#include "diagnostics/des_cipher.h"
#include "diagnostics/hex_codec.h"
#include "diagnostics/report_codec.h"

namespace diag {

namespace {

// The answer's nesting is three deep; a deeper one is refused long before
// the reader's recursion could threaten a worker thread's stack.
constexpr int kJsonDepthLimit = 64;

int32_t ReadInt(const Json::Value& root, const char* key, int32_t def) {
  return root.isMember(key) ? root[key].asInt() : def;
}

std::string ReadText(const Json::Value& root, const char* key, const std::string& def) {
  return root.isMember(key) ? root[key].asString() : def;
}

void ReadConfig(const Json::Value& root, SamplerConfig* c) {
  // Reading a key of a root that is not an object raises jsoncpp's logic error.
  c->version = ReadText(root, "Ver", c->version);
  c->period = ReadInt(root, "Period", c->period);
  c->period_rand = ReadInt(root, "PeriodRand", c->period_rand);
  c->ip_api_url = ReadText(root, "IPAPI-URL", c->ip_api_url);
  c->ip_api_pattern = ReadText(root, "IPAPI-Pattern", c->ip_api_pattern);
  const Json::Value& dns = root["DNSTarget"];
  if (dns.isArray()) {
    for (const Json::Value& e : dns) {
      if (e.isString()) c->dns_targets.push_back(e.asString());
    }
  }
  const Json::Value& pings = root["Ping-Target"];
  if (pings.isArray()) {
    for (const Json::Value& e : pings) {
      if (!e.isObject()) continue;
      std::string name = e.get("Name", "").asString();
      std::string host = e.get("Host", "").asString();
      if (!name.empty() && !host.empty()) c->ping_targets[name] = host;
    }
  }
  c->ping_packets = ReadInt(root, "Ping-Packets", c->ping_packets);
  c->ping_interval = ReadInt(root, "Ping-Interval", c->ping_interval);
  c->ping_timeout = ReadInt(root, "Ping-Timeout", c->ping_timeout);
  c->submit_url = ReadText(root, "SubmitURL", c->submit_url);
}

}  // namespace

bool DecipherConfigAnswer(const std::string& hex, std::string* text) {
  text->clear();
  size_t n = hex.size() / 2;
  if (n > CDesCipher::MaxDecipherInput()) return false;
  std::vector<uint8_t> bytes(n, 0);
  HexDecode(hex.size(), hex.data(), bytes.data());
  CDesCipher cipher;
  cipher.SetKey(reinterpret_cast<const uint8_t*>(kConfigKey));
  if (!cipher.Decipher(bytes.data(), n)) return false;
  const char* plain = reinterpret_cast<const char*>(cipher.deciphered());
  const void* nul = std::memchr(plain, 0, n);
  text->assign(plain, nul ? static_cast<const char*>(nul) - plain : n);
  return true;
}

bool ParseConfigJson(const std::string& text, const SamplerConfig& defaults, SamplerConfig* config,
                     std::string* trace) {
  trace->clear();
  SamplerConfig c = defaults;
  c.dns_targets.clear();
  c.ping_targets.clear();
  try {
    Json::CharReaderBuilder builder;
    builder["collectComments"] = false;
    builder["stackLimit"] = kJsonDepthLimit;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value root;
    std::string errors;
    if (!reader->parse(text.data(), text.data() + text.size(), &root, &errors)) {
      *trace = errors;
      return false;
    }
    ReadConfig(root, &c);
  } catch (const std::invalid_argument&) {
    *trace = "parse json failed";
    return false;
  } catch (const std::exception& e) {
    *trace = e.what();
    return false;
  }
  *config = std::move(c);
  return true;
}

bool ParseConfigAnswer(const std::string& hex, const SamplerConfig& defaults, SamplerConfig* config,
                       std::string* trace) {
  trace->clear();
  if (hex.empty()) return false;
  std::string text;
  if (!DecipherConfigAnswer(hex, &text)) {
    *trace = "config answer too long: " + std::to_string(hex.size()) + " hex digits";
    return false;
  }
  return ParseConfigJson(text, defaults, config, trace);
}

}  // namespace diag

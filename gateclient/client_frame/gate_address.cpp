#include "gateclient/client_frame/gate_address.h"

#include <cstdlib>

#include "gateclient/settings/gate_config.h"
#include "gateclient/settings/gate_log.h"
#include "netcore/port/platform.h"

namespace bsc {

const char kDefaultGateAddress[] = "gate.pellory.com:10168";

bool ChooseGateAddress(std::string& host, int& port, LogLines* lines) {
  std::srand(q_platform::TickCountMs());
  QGateAddress file;
  if (!file.Load()) {
    lines->emplace_back(kLogWarning, "载入gateaddress.ini失败\n");
    return false;
  }
  std::vector<std::string> values;
  for (const std::string& v : file.address.values) {
    if (!v.empty()) values.push_back(v);
  }
  std::string address;
  if (!values.empty()) {
    address = values[static_cast<size_t>(std::rand()) % values.size()];
    lines->emplace_back(kLogLifeCycle, "连接地址=" + address);
  } else {
    lines->emplace_back(kLogWarning, "没有从gateaddress.ini获取相关网站地址\n");
    address = kDefaultGateAddress;
  }
  const size_t colon = address.find(':');
  if (colon == std::string::npos) {
    host = address;
  } else {
    port = static_cast<int>(std::atol(address.c_str() + colon + 1));
    host = address.substr(0, colon);
  }
  return true;
}

bool PickGateAddress(std::string& host, int& port) {
  LogLines lines;
  const bool ok = ChooseGateAddress(host, port, &lines);
  for (const auto& line : lines) QLOG(line.first, line.second);
  return ok;
}

}  // namespace bsc

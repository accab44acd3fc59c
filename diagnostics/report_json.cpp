#include "diagnostics/report_json.h"

#include <cmath>
#include <cstdio>

namespace diag {

namespace {

void WriteString(const std::string& s, std::string& out) {
  out += '"';
  for (unsigned char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\b':
        out += "\\b";
        break;
      case '\f':
        out += "\\f";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (c < 0x20) {
          char esc[8];
          std::snprintf(esc, sizeof esc, "\\u%04X", unsigned(c));
          out += esc;
        } else {
          out += char(c);
        }
    }
  }
  out += '"';
}

void WriteReal(double v, std::string& out) {
  if (!std::isfinite(v)) {
    out += "null";  // JSON has no spelling for these; the report never holds one
    return;
  }
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.16g", v);
  for (char* p = buf; *p; ++p) {
    if (*p == ',') *p = '.';
  }
  out += buf;
}

void WriteValue(const Json::Value& v, std::string& out) {
  switch (v.type()) {
    case Json::nullValue:
      out += "null";
      break;
    case Json::intValue:
      out += std::to_string(v.asLargestInt());
      break;
    case Json::uintValue:
      out += std::to_string(v.asLargestUInt());
      break;
    case Json::realValue:
      WriteReal(v.asDouble(), out);
      break;
    case Json::stringValue: {
      const char* begin = nullptr;
      const char* end = nullptr;
      v.getString(&begin, &end);
      WriteString(std::string(begin ? begin : "", begin ? size_t(end - begin) : 0), out);
      break;
    }
    case Json::booleanValue:
      out += v.asBool() ? "true" : "false";
      break;
    case Json::arrayValue: {
      out += '[';
      for (Json::ArrayIndex i = 0; i < v.size(); ++i) {
        if (i) out += ',';
        WriteValue(v[i], out);
      }
      out += ']';
      break;
    }
    case Json::objectValue: {
      // Json::Value keeps members in a map ordered by memcmp of the keys:
      // byte-wise ascending.
      out += '{';
      bool first = true;
      for (auto it = v.begin(); it != v.end(); ++it) {
        if (!first) out += ',';
        first = false;
        WriteString(it.name(), out);
        out += ':';
        WriteValue(*it, out);
      }
      out += '}';
      break;
    }
  }
}

}  // namespace

Json::Value BuildReportJson(const SamplerReport& report, int type) {
  Json::Value root(Json::objectValue);
  root["Ver"] = report.version;
  root["UserID"] = Json::Int64(report.user_id);
  if (type == 0) {
    root["OS"] = report.os;
    root["DXVerMajor"] = report.dx_major;
    root["DXVer"] = report.dx_version;
    Json::Value& adapters = root["VideoAdapter"];  // stays null without an entry
    for (const VideoAdapter& a : report.video_adapters) {
      Json::Value item(Json::objectValue);
      item["Name"] = a.name;
      item["DriverVer"] = a.driver_version;
      adapters.append(item);
    }
  }
  root["CPUPercent"] = report.cpu_percent;
  root["Mem-Total"] = report.mem_total;
  root["Mem-Use"] = report.mem_use;
  root["IP"] = report.ip;
  root["ISP"] = report.isp;
  Json::Value& dns = root["DNS"];
  for (const std::string& d : report.dns) dns.append(d);
  Json::Value& names = root["NameResolution"];
  for (const NameResolutionEntry& e : report.name_resolution) {
    names.append(e.target + "," + e.host_name + "," + e.ip);
  }
  Json::Value& pings = root["Ping"];
  for (const auto& [name, stats] : report.ping) {
    Json::Value item(Json::objectValue);
    item["Target"] = name;
    item["LossRate"] = double(stats.loss_ratio);
    item["ElapseAvg"] = stats.average;
    item["ElapseMin"] = stats.minimum;
    item["ElapseMax"] = stats.maximum;
    pings.append(item);
  }
  return root;
}

std::string WriteCompactJson(const Json::Value& value) {
  std::string out;
  WriteValue(value, out);
  out += '\n';
  return out;
}

}  // namespace diag

// The gate client's two settings files: QConfig ("gateclient.ini"), loaded
// once at start-up and kept for the whole run, and QGateAddress
// ("gateaddress.ini"), the list of gate addresses read afresh before each
// connect.
//
// Thread safety: a settings object is loaded by the thread that made it,
// before other threads read it; afterwards its values are only read.
// Ownership: the hall sink's start-up creates the one QConfig and publishes
// it in g_config; it is never freed. A QGateAddress belongs to its caller.
#pragma once

#include "netcore/config/config_item.h"
#include "netcore/config/program_config_load.h"

// "gateclient.ini". Items are declared in the order in which they are
// created; the keys in Chinese are UTF-8 bytes, as the file holds them.
class QConfig : public ccf::RProgramConfigLoad {
 public:
  QConfig();

  ccf::RConfigItemLong pageid;
  ccf::RConfigItemStringArr address;       // [gate] address_00 .. address_31
  ccf::RConfigItemLong startPointSeconds;  // "开赛点获取间隔秒数"
  ccf::RConfigItemLong show;               // [ui]; 999 shows the debug dialog
  ccf::RConfigItemString exekind;          // game table: kinds
  ccf::RConfigItemString exename;          // game table: program names
  ccf::RConfigItemString resfolder;        // game table: resource folders
  ccf::RConfigItemLong timedisconn;        // dead-link limit, seconds
  ccf::RConfigItemLong packetMode;         // "报文方式"
  ccf::RConfigItemLong sendPulse;          // "发送心跳"; 0: no pulses, no dead-link check
  ccf::RConfigItemLong quickMatchList;     // "快速开赛列表"
  ccf::RConfigItemLong recommendedList;    // "推荐大赛列表"
  ccf::RConfigItemLong gamekind;
  ccf::RConfigItemLong robot;  // 1: the login is a robot login
};

// "gateaddress.ini": [gate] address_00 .. address_31, each "host:port";
// empty entries are unused.
class QGateAddress : public ccf::RProgramConfigLoad {
 public:
  static const int kCount = 32;

  QGateAddress();

  ccf::RConfigItemStringArr address;
};

// The one QConfig of the process, set by the hall sink's start-up before the
// client frame starts; null until then.
extern QConfig* g_config;

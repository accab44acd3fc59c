#include "gateclient/settings/gate_config.h"

QConfig* g_config = nullptr;

QConfig::QConfig()
    : ccf::RProgramConfigLoad("gateclient.ini"),
      pageid(&head, "main", "pageid", 1),
      address(&head, "gate", "address", 32, "", "_%02d"),
      startPointSeconds(&head, "main", "开赛点获取间隔秒数", 30),
      show(&head, "ui", "show", 0),
      exekind(&head, "exekind", "501,502,555"),
      exename(&head, "exename", "pellory,pellory,duovrin"),
      resfolder(&head, "resfolder", "pellory,pellory,duomesk"),
      timedisconn(&head, "main", "timedisconn", 25),
      packetMode(&head, "main", "报文方式", 1),
      sendPulse(&head, "main", "发送心跳", 1),
      quickMatchList(&head, "main", "快速开赛列表", 0),
      recommendedList(&head, "main", "推荐大赛列表", 1),
      gamekind(&head, "main", "gamekind", 0),
      robot(&head, "main", "robot", 0) {}

QGateAddress::QGateAddress()
    : ccf::RProgramConfigLoad("gateaddress.ini"),
      address(&head, "gate", "address", kCount, "", "_%02d") {}

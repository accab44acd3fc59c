#include "nfhall/user_block.h"

#include <cstring>
#include <string>

#include "interface/hall/ansi_text.h"

namespace nfhall {

bsc::LoginUser DecodeUserInfo(const NFHallUserInfo& info) {
  bsc::LoginUser user;
  user.channelId = info.channelId;
  user.siteId = info.siteId;
  user.barId = info.barId;
  user.account = AnsiFieldToUtf8(info.account, sizeof(info.account));
  {
    // The digest's bytes as they are, up to its NUL or the field's end.
    char buf[sizeof(info.password) + 1] = {};
    std::memcpy(buf, info.password, sizeof(info.password));
    user.passwordDigest = std::string(buf, std::strlen(buf));
  }
  user.systemSerial = AnsiFieldToUtf8(info.systemSerial, sizeof(info.systemSerial));
  user.biosSerial = AnsiFieldToUtf8(info.biosSerial, sizeof(info.biosSerial));
  user.cpuSerial = AnsiFieldToUtf8(info.cpuSerial, sizeof(info.cpuSerial));
  user.diskSerial = AnsiFieldToUtf8(info.diskSerial, sizeof(info.diskSerial));
  user.macAddress = AnsiFieldToUtf8(info.macAddress, sizeof(info.macAddress));
  user.guid = AnsiFieldToUtf8(info.guid, sizeof(info.guid));
  return user;
}

}  // namespace nfhall

// The launched game's view of the gate client's records: one text line per
// game-forward record (type, route, kind, sub-id and the decoded wrapper)
// that tests read back, the control words a test hides in a wrapper's data,
// and the game-return record.
// Thread safety: stateless functions.
#pragma once

#include <cstdint>
#include <string>

// "rec type=0 kind=12 subid=3 route=<144 hex> data_cmd_kind=.. data_cmd_subid=..
//  att_apptype=.. att_appid=.. att_sessionid=.. data=<hex>"; a record too
// short for its header gives "rec short len=<n>".
std::string DescribeForwardRecord(const std::string& record);

// The wrapper's data of a type-0 record ("" when there is none).
std::string WrappedData(const std::string& record);

// {type, kind, subid, body} as the gate client reads it.
std::string MakeReturnRecord(int32_t type, uint16_t kind, uint16_t subid, const std::string& body);

std::string ToHex(const std::string& bytes);
std::string FromHex(const std::string& hex);

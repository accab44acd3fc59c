// The choice of the gate address before each connect: one of the values of
// "gateaddress.ini" at random, or the built-in default address when the file
// lists none; "host:port" split at the first colon.
// Thread safety: any thread (reads the file afresh; seeds the C random
// generator, as the address choice always has).
// Ownership: plain values.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace bsc {

// Chooses the address from "gateaddress.ini" in the current directory and
// logs what it did. False, host and port untouched, when the file cannot be
// loaded.
bool PickGateAddress(std::string& host, int& port);

// The same choice, with its log lines (level, text) handed back instead of
// written, so the client frame can leave a repeated try's lines out.
using LogLines = std::vector<std::pair<int, std::string>>;
bool ChooseGateAddress(std::string& host, int& port, LogLines* lines);

// The built-in address used when the file lists none.
extern const char kDefaultGateAddress[];

}  // namespace bsc

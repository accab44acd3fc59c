// Where the tests that start tools/sample_game find it: the build passes the
// program's host path as Q_SAMPLE_GAME_EXE; under Wine the host's root is
// drive Z:, so the path is turned into a Windows one.
// Thread safety: any thread. Ownership: returns a value.
#pragma once

#include <string>

#ifndef Q_SAMPLE_GAME_EXE
#error "Q_SAMPLE_GAME_EXE names the sample game program (tools/sample_game)"
#endif

namespace q_test {

inline std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

inline std::string SampleGameExe() { return WindowsPath(Q_SAMPLE_GAME_EXE); }

}  // namespace q_test

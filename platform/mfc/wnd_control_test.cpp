// CWnd's control hosting loads atl.dll from the system folder only: the probe
// (testdata/atl_probe.cpp) runs beside a planted atl.dll, in that folder as
// its current directory, and says through its exit code which one it got.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// The build names files by host path; under Wine the host's root is drive Z:.
std::string WindowsPath(std::string path) {
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

TEST(WndControl, APlantedAtlDllBesideTheProgramIsNotLoaded) {
  const std::string probe = WindowsPath(Q_ATL_PROBE_EXE);
  const std::string folder = probe.substr(0, probe.find_last_of('\\'));
  ASSERT_NE(GetFileAttributesA((folder + "\\atl.dll").c_str()), INVALID_FILE_ATTRIBUTES);

  std::string command = "\"" + probe + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr,
                             folder.c_str(), &startup, &process))
      << GetLastError();
  CloseHandle(process.hThread);
  const bool ended = WaitForSingleObject(process.hProcess, 60000) == WAIT_OBJECT_0;
  DWORD code = 1;
  if (!ended) TerminateProcess(process.hProcess, 1);
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  ASSERT_TRUE(ended);
  EXPECT_EQ(code, 0u) << "2: an atl.dll outside the system folder (the planted one), 3: none";
}

}  // namespace

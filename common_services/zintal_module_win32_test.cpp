// Zintal.dll's registration as an extension library: the attach and detach
// steps of its DllMain, and the real DLL loading and unloading.
#include "common_services/zintal_module.h"

#include <gtest/gtest.h>

#include <string>

#include "common_services/include/zintal/web_browser.h"

namespace {

int ChainEntriesFor(HMODULE module) {
  int n = 0;
  for (CDynLinkLibrary* lib = AfxFirstDynLinkLibrary(); lib != nullptr; lib = lib->m_pNextDLL) {
    if (lib->m_hModule == module) ++n;
  }
  return n;
}

TEST(ZintalModule, RegistersAndUnregistersItsClasses) {
  HMODULE self = GetModuleHandleA(nullptr);
  AFX_EXTENSION_MODULE state = {FALSE, nullptr, nullptr, nullptr};

  // No module: the registration fails, and so would the load.
  EXPECT_FALSE(zintal::ZintalModuleAttach(state, nullptr));
  EXPECT_FALSE(state.bInitialized);
  EXPECT_EQ(0, ChainEntriesFor(nullptr));

  ASSERT_TRUE(zintal::ZintalModuleAttach(state, self));
  EXPECT_TRUE(state.bInitialized);
  EXPECT_EQ(self, state.hModule);
  EXPECT_EQ(self, state.hResource);
  ASSERT_EQ(1, ChainEntriesFor(self));
  // The entry lists the module's run-time classes, the web browser among them.
  bool found = false;
  for (CRuntimeClass* c = AfxFirstDynLinkLibrary()->m_classList; c != nullptr;
       c = c->m_pNextClass) {
    found = found || c == RUNTIME_CLASS(CWebBrowser);
  }
  EXPECT_TRUE(found);

  zintal::ZintalModuleDetach(state);
  EXPECT_FALSE(state.bInitialized);
  EXPECT_EQ(0, ChainEntriesFor(self));
  zintal::ZintalModuleDetach(state);  // a second unload changes nothing
  EXPECT_EQ(0, ChainEntriesFor(self));
}

TEST(ZintalModule, TheDllLoadsAndUnloads) {
  std::string path = Q_ZINTAL_DLL;
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  // Its C++ runtime DLLs lie beside it.
  HMODULE dll = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  ASSERT_NE(nullptr, dll) << GetLastError();
  // A class-level export: the run-time class of the web browser is there.
  EXPECT_NE(nullptr, GetProcAddress(dll, "_ZN11CWebBrowser16classCWebBrowserE"));
  EXPECT_TRUE(FreeLibrary(dll));
}

}  // namespace

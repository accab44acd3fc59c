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

bool Readable(const void* at, size_t size) {
  MEMORY_BASIC_INFORMATION region;
  if (at == nullptr || VirtualQuery(at, &region, sizeof region) != sizeof region) return false;
  const DWORD readable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                         PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
  if (region.State != MEM_COMMIT || (region.Protect & PAGE_GUARD) || !(region.Protect & readable)) {
    return false;
  }
  const BYTE* end = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
  return static_cast<const BYTE*>(at) + size <= end;
}

// The loaded DLL's registration entry. Zintal.dll links its own copy of the
// framework, so its chain of registered libraries is not this program's:
// the entry is looked for in the DLL's own memory, as a pointer in its
// writable sections to an object whose table lies in the DLL, whose module
// and resource handles are the DLL and whose class list holds `listed`.
const CDynLinkLibrary* RegistrationOf(HMODULE dll, const CRuntimeClass* listed) {
  const BYTE* base = reinterpret_cast<const BYTE*>(dll);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const BYTE* image_end = base + nt->OptionalHeader.SizeOfImage;
  const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(nt);
  for (int i = 0; i < nt->FileHeader.NumberOfSections; ++i, ++section) {
    if (!(section->Characteristics & IMAGE_SCN_MEM_WRITE)) continue;
    const auto* words = reinterpret_cast<const void* const*>(base + section->VirtualAddress);
    for (size_t w = 0; w < section->Misc.VirtualSize / sizeof(void*); ++w) {
      const auto* lib = static_cast<const CDynLinkLibrary*>(words[w]);
      if (!Readable(lib, sizeof(*lib))) continue;
      const BYTE* table = *reinterpret_cast<const BYTE* const*>(lib);
      if (table < base || table >= image_end) continue;
      if (lib->m_hModule != dll || lib->m_hResource != dll) continue;
      int steps = 0;
      for (const CRuntimeClass* c = lib->m_classList; Readable(c, sizeof(*c)) && steps < 1000;
           c = c->m_pNextClass, ++steps) {
        if (c == listed) return lib;
      }
    }
  }
  return nullptr;
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
  const auto* web_browser = reinterpret_cast<const CRuntimeClass*>(
      GetProcAddress(dll, "_ZN11CWebBrowser16classCWebBrowserE"));
  EXPECT_NE(nullptr, web_browser);
  // Loading registered the library as an extension module, its classes listed.
  EXPECT_NE(nullptr, RegistrationOf(dll, web_browser));
  EXPECT_TRUE(FreeLibrary(dll));
}

}  // namespace

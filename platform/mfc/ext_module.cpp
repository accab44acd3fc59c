#include "platform/mfc/ext_module.h"

namespace {

CDynLinkLibrary*& ChainHead() {
  static CDynLinkLibrary* head = nullptr;
  return head;
}

}  // namespace

BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE hModule) {
  if (state.bInitialized) return TRUE;
  if (hModule == nullptr) return FALSE;
  state.hModule = hModule;
  state.hResource = hModule;
  state.pFirstSharedClass = AfxModuleClassList();
  state.bInitialized = TRUE;
  return TRUE;
}

CDynLinkLibrary::CDynLinkLibrary(AFX_EXTENSION_MODULE& state)
    : m_hModule(state.hModule),
      m_hResource(state.hResource),
      m_classList(state.pFirstSharedClass),
      m_pNextDLL(ChainHead()) {
  ChainHead() = this;
}

CDynLinkLibrary::~CDynLinkLibrary() {
  for (CDynLinkLibrary** link = &ChainHead(); *link != nullptr; link = &(*link)->m_pNextDLL) {
    if (*link == this) {
      *link = m_pNextDLL;
      break;
    }
  }
}

void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL bAll) {
  if (!state.bInitialized) return;
  CDynLinkLibrary* lib = ChainHead();
  while (lib != nullptr) {
    CDynLinkLibrary* next = lib->m_pNextDLL;
    if (bAll || lib->m_hModule == state.hModule) delete lib;  // unlinks itself
    lib = next;
  }
  state.bInitialized = FALSE;
}

CDynLinkLibrary* AfxFirstDynLinkLibrary() { return ChainHead(); }

// Extension-library registration: a DLL written the MFC way registers itself
// with the framework when it loads (AfxInitExtensionModule, then a new
// CDynLinkLibrary) and unregisters when it unloads (AfxTermExtensionModule).
// The registration lists the library's module handle, its resource handle
// and its run-time classes, which CRuntimeClass::FromName then searches.
// Each module links its own copy of the framework, so the chain of
// registered libraries belongs to the copy that the registering code links.
// Thread safety: register and unregister while the module loads and unloads
// (DllMain); lookups afterwards.
// Ownership: the chain owns the CDynLinkLibrary objects made for a module
// until AfxTermExtensionModule deletes them.
#pragma once

#include "platform/mfc/object.h"

struct AFX_EXTENSION_MODULE {
  BOOL bInitialized;
  HMODULE hModule;
  HMODULE hResource;
  CRuntimeClass* pFirstSharedClass;
};

class CDynLinkLibrary : public CObject {
 public:
  // Registers the initialised module (AfxInitExtensionModule) in the chain.
  explicit CDynLinkLibrary(AFX_EXTENSION_MODULE& state);
  ~CDynLinkLibrary() override;
  CDynLinkLibrary(const CDynLinkLibrary&) = delete;
  CDynLinkLibrary& operator=(const CDynLinkLibrary&) = delete;

  HMODULE m_hModule;
  HMODULE m_hResource;
  CRuntimeClass* m_classList;
  CDynLinkLibrary* m_pNextDLL;
};

// Records the module and its classes; false when there is no module handle.
// A second call for an initialised state changes nothing and returns true.
BOOL AfxInitExtensionModule(AFX_EXTENSION_MODULE& state, HMODULE hModule);
// Deletes the chain entries of the module and marks the state uninitialised.
void AfxTermExtensionModule(AFX_EXTENSION_MODULE& state, BOOL bAll = FALSE);
// The first registered library (newest first), or null.
CDynLinkLibrary* AfxFirstDynLinkLibrary();

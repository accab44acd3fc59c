#include "common_services/zintal_module.h"

#include <new>

namespace zintal {

bool ZintalModuleAttach(AFX_EXTENSION_MODULE& state, HMODULE module) {
  if (!AfxInitExtensionModule(state, module)) return false;
  // The chain owns the entry; AfxTermExtensionModule deletes it.
  if (new (std::nothrow) CDynLinkLibrary(state) == nullptr) {
    AfxTermExtensionModule(state);
    return false;
  }
  return true;
}

void ZintalModuleDetach(AFX_EXTENSION_MODULE& state) { AfxTermExtensionModule(state); }

}  // namespace zintal

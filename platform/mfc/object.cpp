#include "platform/mfc/object.h"

#include <cstring>

#include "platform/mfc/cmd_target.h"
#include "platform/mfc/ext_module.h"

namespace {

CRuntimeClass*& ClassListHead() {
  static CRuntimeClass* head = nullptr;
  return head;
}

CRuntimeClass* FindIn(CRuntimeClass* list, LPCSTR name) {
  for (CRuntimeClass* c = list; c != nullptr; c = c->m_pNextClass) {
    if (std::strcmp(c->m_lpszClassName, name) == 0) return c;
  }
  return nullptr;
}

}  // namespace

CRuntimeClass CObject::classCObject = {
    "CObject", static_cast<int>(sizeof(CObject)), 0xFFFF, nullptr, nullptr, nullptr};
static const AFX_CLASSINIT afx_init_CObject(&CObject::classCObject);

CRuntimeClass* CObject::GetThisClass() { return &classCObject; }
CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }

BOOL CObject::IsKindOf(const CRuntimeClass* pClass) const {
  return GetRuntimeClass()->IsDerivedFrom(pClass);
}

AFX_CLASSINIT::AFX_CLASSINIT(CRuntimeClass* pNewClass) {
  pNewClass->m_pNextClass = ClassListHead();
  ClassListHead() = pNewClass;
}

CRuntimeClass* AfxModuleClassList() { return ClassListHead(); }

CObject* CRuntimeClass::CreateObject() {
  if (m_pfnCreateObject == nullptr) return nullptr;
  return m_pfnCreateObject();
}

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* pBaseClass) const {
  if (pBaseClass == nullptr) return FALSE;
  for (const CRuntimeClass* c = this; c != nullptr;
       c = c->m_pfnGetBaseClass != nullptr ? c->m_pfnGetBaseClass() : nullptr) {
    // Another module's copy of a class is the same class.
    if (c == pBaseClass || std::strcmp(c->m_lpszClassName, pBaseClass->m_lpszClassName) == 0) {
      return TRUE;
    }
  }
  return FALSE;
}

CRuntimeClass* CRuntimeClass::FromName(LPCSTR lpszClassName) {
  if (lpszClassName == nullptr) return nullptr;
  if (CRuntimeClass* c = FindIn(ClassListHead(), lpszClassName)) return c;
  for (CDynLinkLibrary* lib = AfxFirstDynLinkLibrary(); lib != nullptr; lib = lib->m_pNextDLL) {
    if (CRuntimeClass* c = FindIn(lib->m_classList, lpszClassName)) return c;
  }
  return nullptr;
}

IMPLEMENT_DYNAMIC(CCmdTarget, CObject)

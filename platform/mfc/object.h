// CObject and CRuntimeClass: run-time class information for the framework's
// classes (their name, size, schema, base, and a factory for the classes
// declared dynamically creatable), with the DECLARE_/IMPLEMENT_ macros.
// Each module links its own copy of this library, so a class's descriptor
// exists once per module that declares it; IsDerivedFrom also accepts a
// base of the same name from another module's copy.
// Thread safety: descriptors are constant after the module's statics ran;
// the module's class list is built while the module loads.
// Ownership: CreateObject returns a new object the caller deletes.
#pragma once

#include <new>

#include "platform/mfc/mfc_types.h"

// Zintal.dll's exported classes derive from and hold these classes, so their
// layout does not follow the includer's packing (see
// common_services/include/zintal/zintal_api.h).
#pragma pack(push, 8)

class CObject;

struct CRuntimeClass {
  LPCSTR m_lpszClassName;
  int m_nObjectSize;
  UINT m_wSchema;                         // 0xFFFF: not serialisable
  CObject* (*m_pfnCreateObject)();        // null: not dynamically creatable
  CRuntimeClass* (*m_pfnGetBaseClass)();  // null for CObject
  CRuntimeClass* m_pNextClass;            // the module's list of classes

  // A new object of the class, or null (not creatable, or no memory).
  CObject* CreateObject();
  BOOL IsDerivedFrom(const CRuntimeClass* pBaseClass) const;
  // The class of that name among this module's classes and those of the
  // extension libraries registered with it (CDynLinkLibrary), or null.
  static CRuntimeClass* FromName(LPCSTR lpszClassName);
};

// Puts a class into its module's class list while the module's statics are
// constructed (IMPLEMENT_DYNAMIC and IMPLEMENT_DYNCREATE place one).
struct AFX_CLASSINIT {
  explicit AFX_CLASSINIT(CRuntimeClass* pNewClass);
};
// The head of this module's class list.
CRuntimeClass* AfxModuleClassList();

class CObject {
 public:
  virtual CRuntimeClass* GetRuntimeClass() const;
  virtual ~CObject() = default;

  BOOL IsKindOf(const CRuntimeClass* pClass) const;
  static CRuntimeClass* GetThisClass();
  static CRuntimeClass classCObject;

 protected:
  CObject() = default;
};

#define RUNTIME_CLASS(class_name) (class_name::GetThisClass())

#define DECLARE_DYNAMIC(class_name)       \
 public:                                  \
  static CRuntimeClass class##class_name; \
  static CRuntimeClass* GetThisClass();   \
  CRuntimeClass* GetRuntimeClass() const override;

#define DECLARE_DYNCREATE(class_name) \
  DECLARE_DYNAMIC(class_name)         \
  static CObject* CreateObject();

#define AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, wSchema, pfnNew)             \
  CRuntimeClass class_name::class##class_name = {#class_name,                                \
                                                 static_cast<int>(sizeof(class class_name)), \
                                                 wSchema,                                    \
                                                 pfnNew,                                     \
                                                 &base_class_name::GetThisClass,             \
                                                 nullptr};                                   \
  static const AFX_CLASSINIT afx_init_##class_name(&class_name::class##class_name);          \
  CRuntimeClass* class_name::GetThisClass() { return &class_name::class##class_name; }       \
  CRuntimeClass* class_name::GetRuntimeClass() const { return &class_name::class##class_name; }

#define IMPLEMENT_DYNAMIC(class_name, base_class_name) \
  AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, nullptr)

// CreateObject never throws: no memory gives null.
#define IMPLEMENT_DYNCREATE(class_name, base_class_name)                        \
  CObject* class_name::CreateObject() { return new (std::nothrow) class_name; } \
  AFX_IMPLEMENT_RUNTIMECLASS(class_name, base_class_name, 0xFFFF, &class_name::CreateObject)

#pragma pack(pop)

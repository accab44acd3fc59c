// CCmdTarget: the root of the classes that take commands through a message
// map, and the macros that declare and fill such maps. A map lists handlers
// by message, notification code and id; lookups walk from the class's own
// map to its bases'.
// Thread safety: maps are constant tables; dispatch runs on the thread that
// owns the window.
// Ownership: nothing here owns anything.
#pragma once

#include "platform/mfc/mfc_types.h"
#include "platform/mfc/object.h"

// Zintal.dll's exported classes derive from and hold these classes, so their
// layout does not follow the includer's packing (see
// common_services/include/zintal/zintal_api.h).
#pragma pack(push, 8)

class CCmdTarget : public CObject {
  DECLARE_DYNAMIC(CCmdTarget)

 public:
  CCmdTarget() = default;
  ~CCmdTarget() override = default;

  // Runs the handler of command `nID` with notification `nCode`; false when
  // no map along the class chain lists one.
  virtual BOOL OnCmdMsg(UINT nID, int nCode);

  static const AFX_MSGMAP* GetThisMessageMap();
  virtual const AFX_MSGMAP* GetMessageMap() const;

 protected:
  // The entry for (message, code, id), searched along the class chain.
  const AFX_MSGMAP_ENTRY* FindMessageEntry(UINT message, UINT code, UINT id) const;
};

#define DECLARE_MESSAGE_MAP()                   \
 protected:                                     \
  static const AFX_MSGMAP* GetThisMessageMap(); \
  const AFX_MSGMAP* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                      \
  const AFX_MSGMAP* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const AFX_MSGMAP* theClass::GetThisMessageMap() {                                 \
    using ThisClass [[maybe_unused]] = theClass;                                    \
    typedef baseClass TheBaseClass;                                                 \
    static const AFX_MSGMAP_ENTRY entries_[] = {
#define END_MESSAGE_MAP()                                                          \
  { 0, 0, 0, 0, AfxSig_end, nullptr, nullptr }                                     \
  }                                                                                \
  ;                                                                                \
  static const AFX_MSGMAP map_ = {&TheBaseClass::GetThisMessageMap, &entries_[0]}; \
  return &map_;                                                                    \
  }

// A click on button `id` (and a command `id` from a menu or accelerator):
// void memberFxn().
#define ON_BN_CLICKED(id, memberFxn)             \
  {WM_COMMAND,                                   \
   BN_CLICKED,                                   \
   static_cast<UINT>(id),                        \
   static_cast<UINT>(id),                        \
   AfxSig_vv,                                    \
   static_cast<AFX_PMSG>(&ThisClass::memberFxn), \
   nullptr},
#define ON_COMMAND(id, memberFxn) ON_BN_CLICKED(id, memberFxn)

// Any window message: LRESULT memberFxn(WPARAM, LPARAM).
#define ON_MESSAGE(message, memberFxn) \
  {static_cast<UINT>(message),         \
   0,                                  \
   0,                                  \
   0,                                  \
   AfxSig_lwl,                         \
   nullptr,                            \
   static_cast<AFX_PMSGW>(&ThisClass::memberFxn)},

#pragma pack(pop)

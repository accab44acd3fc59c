// CDialogEx: the dialog base class the system's dialogs derive from. It is
// CDialog as it stands: the look beyond the template (background colours
// and images) is not used by any of them.
// Thread safety and ownership: as CDialog.
#pragma once

#include "platform/mfc/dialog.h"

class CDialogEx : public CDialog {
 public:
  explicit CDialogEx(UINT nIDTemplate = 0, CWnd* pParentWnd = nullptr)
      : CDialog(nIDTemplate, pParentWnd) {}
};

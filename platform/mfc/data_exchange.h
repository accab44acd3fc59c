// CDataExchange and the DDX_ functions: the data exchange between a
// dialog's controls and its members that UpdateData runs through the
// dialog's DoDataExchange.
// Thread safety: the dialog's thread.
// Ownership: a CDataExchange lives for one UpdateData call.
#pragma once

#include "platform/mfc/c_string.h"
#include "platform/mfc/mfc_types.h"

class CWnd;

class CDataExchange {
 public:
  CDataExchange(CWnd* dlgWnd, BOOL bSaveAndValidate)
      : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(dlgWnd) {}

  // The control `nIDC` of the dialog (null when it has none).
  HWND PrepareCtrl(int nIDC);
  // Marks the exchange failed (once) after telling the user, focus on the control.
  void Fail(HWND control, const char* message);
  bool Ok() const { return !failed_; }

  BOOL m_bSaveAndValidate;  // TRUE: controls -> members
  CWnd* m_pDlgWnd;

 private:
  bool failed_ = false;
};

// Binds `control` to the dialog's child `nIDC` (the first exchange attaches it).
void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& control);
// Integer value of an edit control: decimal, optional sign, blanks around;
// anything else fails the exchange with "Please enter an integer.".
void DDX_Text(CDataExchange* pDX, int nIDC, int& value);
void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);

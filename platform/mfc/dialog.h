// CDialog: a dialog made from a dialog resource of this module, modeless
// (Create) or modal (DoModal). WM_INITDIALOG runs OnInitDialog (which fills
// the controls through DoDataExchange); commands go through the message map,
// and IDOK / IDCANCEL without an entry run OnOK / OnCancel.
// Thread safety: the thread that created the dialog owns it.
// Ownership: the dialog object outlives its window; destroying the object
// destroys a window it still has.
#pragma once

#include "platform/mfc/wnd.h"

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT nIDTemplate = 0, CWnd* pParentWnd = nullptr)
      : m_nIDHelp(nIDTemplate), parent_(pParentWnd) {}
  ~CDialog() override;

  // Modeless: creates the window from dialog resource `nIDTemplate` of this
  // module (0: the one given to the constructor). False when it fails.
  BOOL Create(UINT nIDTemplate = 0, CWnd* pParentWnd = nullptr);
  // Modal: runs the dialog until EndDialog; its result, or -1 on failure.
  INT_PTR DoModal();
  void EndDialog(int nResult);

  virtual BOOL OnInitDialog();

  UINT m_nIDHelp;  // the template id

 protected:
  virtual void OnOK();
  virtual void OnCancel();
  BOOL OnCmdMsg(UINT nID, int nCode) override;

 private:
  static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);

  CWnd* parent_;
};

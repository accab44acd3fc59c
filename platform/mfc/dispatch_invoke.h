// Late-bound calls through IDispatch::Invoke with C arguments, as
// CWnd::InvokeHelper makes them for a hosted ActiveX control: a string of
// parameter types (one byte a parameter, VTS_ below, concatenated) says how
// to read the variable arguments, and the result is converted to the C type
// that `vtRet` names.
//
// | VTS_         | byte | C argument       | passed to the control as              |
// |--------------|------|------------------|---------------------------------------|
// | VTS_I4       | 0x03 | long             | VT_I4                                 |
// | VTS_BSTR     | 0x08 | LPCSTR (ANSI)    | VT_BSTR (a null text: a null BSTR)    |
// | VTS_BOOL     | 0x0B | BOOL             | VT_BOOL (VARIANT_TRUE / VARIANT_FALSE)|
// | VTS_VARIANT  | 0x0C | const VARIANT*   | a copy of the VARIANT                 |
// | VTS_PI4      | 0x43 | long*            | VT_I4 | VT_BYREF                      |
// | VTS_PVARIANT | 0x4C | VARIANT*         | VT_VARIANT | VT_BYREF                 |
//
// A null VARIANT pointer (VTS_VARIANT, VTS_PVARIANT) is passed as a missing
// optional argument (VT_ERROR, DISP_E_PARAMNOTFOUND), never as a null
// reference. A property put names its value DISPID_PROPERTYPUT.
//
// | vtRet       | pvRet points to | result                                  |
// |-------------|-----------------|-----------------------------------------|
// | VT_EMPTY    | nothing (null)  | none asked for                          |
// | VT_I4       | long            | the value                               |
// | VT_BOOL     | BOOL            | TRUE when the VARIANT_BOOL is non-zero  |
// | VT_BSTR     | CString         | the text in the ANSI code page          |
// | VT_DISPATCH | IDispatch*      | the pointer; the caller releases it     |
// | VT_VARIANT  | VARIANT         | the VARIANT; the caller clears it       |
// A result of another type is converted (VariantChangeType). Before the call
// the result is set to the empty value of its type (0, FALSE, "", null,
// VT_EMPTY), and stays so when the call fails.
// Thread safety: the thread of the control's apartment.
// Ownership: the arguments stay the caller's; see the result table.
#pragma once

#include <cstdarg>

#include <ole2.h>

#include "platform/mfc/mfc_types.h"

#define VTS_I4 "\x03"
#define VTS_BSTR "\x08"
#define VTS_BOOL "\x0B"
#define VTS_VARIANT "\x0C"
#define VTS_PI4 "\x43"
#define VTS_PVARIANT "\x4C"
#define VTS_NONE ""

// The call; S_OK, the control's failure, or E_INVALIDARG for a parameter or
// result type not in the tables (then the control is not called).
HRESULT AfxDispatchInvokeV(IDispatch* dispatch, DISPID dwDispID, WORD wFlags, VARTYPE vtRet,
                           void* pvRet, const BYTE* pbParamInfo, va_list args);

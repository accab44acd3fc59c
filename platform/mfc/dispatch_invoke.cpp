#include "platform/mfc/dispatch_invoke.h"

#include <cstring>
#include <vector>

#include <oleauto.h>

#include "platform/mfc/c_string.h"

namespace {

constexpr BYTE kByRef = 0x40;

void Missing(VARIANTARG& arg) {
  arg.vt = VT_ERROR;
  arg.scode = DISP_E_PARAMNOTFOUND;
}

BSTR AnsiToBstr(const char* text) {
  if (text == nullptr) return nullptr;
  const int n = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
  if (n <= 0) return SysAllocString(L"");
  BSTR b = SysAllocStringLen(nullptr, static_cast<UINT>(n - 1));
  if (b != nullptr) MultiByteToWideChar(CP_ACP, 0, text, -1, b, n);
  return b;
}

// Sets the caller's result to the empty value of its type.
bool ResetResult(VARTYPE vtRet, void* pvRet) {
  if (vtRet == VT_EMPTY) return true;
  if (pvRet == nullptr) return false;
  switch (vtRet) {
    case VT_I4:
      *static_cast<long*>(pvRet) = 0;
      return true;
    case VT_BOOL:
      *static_cast<BOOL*>(pvRet) = FALSE;
      return true;
    case VT_BSTR:
      static_cast<CString*>(pvRet)->Empty();
      return true;
    case VT_DISPATCH:
      *static_cast<IDispatch**>(pvRet) = nullptr;
      return true;
    case VT_VARIANT:
      VariantInit(static_cast<VARIANT*>(pvRet));
      return true;
    default:
      return false;
  }
}

// Reads the arguments into `out` in call order; false for an unknown type.
bool ReadArguments(const BYTE* types, va_list args, std::vector<VARIANTARG>& out) {
  for (size_t i = 0; i < out.size(); ++i) {
    VARIANTARG& arg = out[i];
    switch (types[i]) {
      case 0x03:
        arg.vt = VT_I4;
        arg.lVal = va_arg(args, long);
        break;
      case 0x08:
        arg.vt = VT_BSTR;
        arg.bstrVal = AnsiToBstr(va_arg(args, const char*));
        break;
      case 0x0B:
        arg.vt = VT_BOOL;
        arg.boolVal = va_arg(args, BOOL) ? VARIANT_TRUE : VARIANT_FALSE;
        break;
      case 0x0C: {
        const VARIANT* v = va_arg(args, const VARIANT*);
        if (v == nullptr || FAILED(VariantCopy(&arg, const_cast<VARIANT*>(v)))) Missing(arg);
        break;
      }
      case kByRef | 0x03:
        arg.vt = VT_I4 | VT_BYREF;
        arg.plVal = va_arg(args, long*);
        if (arg.plVal == nullptr) Missing(arg);
        break;
      case kByRef | 0x0C:
        arg.vt = VT_VARIANT | VT_BYREF;
        arg.pvarVal = va_arg(args, VARIANT*);
        if (arg.pvarVal == nullptr) Missing(arg);
        break;
      default:
        return false;
    }
  }
  return true;
}

}  // namespace

HRESULT AfxDispatchInvokeV(IDispatch* dispatch, DISPID dwDispID, WORD wFlags, VARTYPE vtRet,
                           void* pvRet, const BYTE* pbParamInfo, va_list args) {
  if (!ResetResult(vtRet, pvRet)) return E_INVALIDARG;
  if (dispatch == nullptr) return E_POINTER;

  const size_t count =
      pbParamInfo != nullptr ? std::strlen(reinterpret_cast<const char*>(pbParamInfo)) : 0;
  std::vector<VARIANTARG> in_order(count);
  for (VARIANTARG& a : in_order) VariantInit(&a);
  if (!ReadArguments(pbParamInfo, args, in_order)) {
    for (VARIANTARG& a : in_order) VariantClear(&a);
    return E_INVALIDARG;
  }
  // IDispatch takes the arguments last first.
  std::vector<VARIANTARG> reversed(in_order.rbegin(), in_order.rend());
  DISPPARAMS params = {};
  params.cArgs = static_cast<UINT>(reversed.size());
  params.rgvarg = reversed.empty() ? nullptr : reversed.data();
  DISPID named = DISPID_PROPERTYPUT;
  if (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.cNamedArgs = 1;
    params.rgdispidNamedArgs = &named;
  }

  VARIANT result;
  VariantInit(&result);
  EXCEPINFO excep = {};
  UINT arg_err = 0;
  HRESULT hr = dispatch->Invoke(dwDispID, IID_NULL, LOCALE_USER_DEFAULT, wFlags, &params,
                                vtRet == VT_EMPTY ? nullptr : &result, &excep, &arg_err);
  // Byref arguments are the caller's; copies and texts made here are ours.
  for (VARIANTARG& a : reversed) {
    if ((a.vt & VT_BYREF) == 0) VariantClear(&a);
  }
  SysFreeString(excep.bstrSource);
  SysFreeString(excep.bstrDescription);
  SysFreeString(excep.bstrHelpFile);
  if (FAILED(hr)) {
    VariantClear(&result);
    return hr;
  }
  if (vtRet == VT_EMPTY) {
    VariantClear(&result);
    return S_OK;
  }
  if (vtRet != VT_VARIANT && result.vt != vtRet) {
    hr = VariantChangeType(&result, &result, 0, vtRet);
    if (FAILED(hr)) {
      VariantClear(&result);
      return hr;
    }
  }
  switch (vtRet) {
    case VT_I4:
      *static_cast<long*>(pvRet) = result.lVal;
      break;
    case VT_BOOL:
      *static_cast<BOOL*>(pvRet) = result.boolVal != 0 ? TRUE : FALSE;
      break;
    case VT_BSTR:
      *static_cast<CString*>(pvRet) = CString(result.bstrVal != nullptr ? result.bstrVal : L"");
      break;
    case VT_DISPATCH:
      *static_cast<IDispatch**>(pvRet) = result.pdispVal;  // the caller's reference now
      return S_OK;
    case VT_VARIANT:
      *static_cast<VARIANT*>(pvRet) = result;  // the caller's now
      return S_OK;
  }
  VariantClear(&result);
  return S_OK;
}

// CWnd's window creation and ActiveX control hosting. The container side of
// a control (client site, in-place site, frame) is ATL's control-hosting
// window in the system's atl.dll ("AtlAxWin", present on Windows and in
// Wine; loaded from the system folder only): this file creates the control
// itself (so that a licence key and saved state can be applied first) and
// attaches it to such a window.
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

#include <objbase.h>
#include <ocidl.h>
#include <oleauto.h>

#include "platform/mfc/file.h"
#include "platform/mfc/wnd.h"

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

namespace {

using AtlAxWinInitFn = BOOL(WINAPI*)();
using AtlAxAttachControlFn = HRESULT(WINAPI*)(IUnknown*, HWND, IUnknown**);

constexpr char kAtlHostClass[] = "AtlAxWin";
constexpr char kOwnClass[] = "QMfcWnd";
// A saved control state larger than this is refused rather than read.
constexpr ULONGLONG kMaxPersistBytes = 64ull << 20;

struct AtlHost {
  AtlAxAttachControlFn attach = nullptr;
  bool ready = false;
};

// The system's atl.dll, by its full path: a DLL of that name planted in the
// program's folder or the current directory, which a search by bare name
// finds first, is never loaded. Its own imports are searched from the system
// folder too (LOAD_WITH_ALTERED_SEARCH_PATH).
HMODULE LoadSystemAtl() {
  static const char kName[] = "\\atl.dll";
  char path[MAX_PATH];
  const UINT n = ::GetSystemDirectoryA(path, MAX_PATH);
  if (n == 0 || n + sizeof(kName) > MAX_PATH) return nullptr;
  std::memcpy(path + n, kName, sizeof(kName));
  return ::LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// atl.dll stays loaded for the process: its window class lives in it.
const AtlHost& Atl() {
  static AtlHost host;
  static std::once_flag once;
  std::call_once(once, [] {
    HMODULE atl = LoadSystemAtl();
    if (atl == nullptr) return;
    auto init = reinterpret_cast<AtlAxWinInitFn>(
        reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxWinInit")));
    host.attach = reinterpret_cast<AtlAxAttachControlFn>(
        reinterpret_cast<void*>(::GetProcAddress(atl, "AtlAxAttachControl")));
    // Every module links its own copy of this file: when another module's
    // copy registered the (process-wide) host class first, AtlAxWinInit
    // reports the second registration as a failure, but the class is there.
    WNDCLASSEXA registered = {};
    registered.cbSize = sizeof(registered);
    host.ready = init != nullptr && host.attach != nullptr &&
                 (init() || ::GetClassInfoExA(nullptr, kAtlHostClass, &registered));
  });
  return host;
}

// A control needs OLE on its thread (single-threaded apartment).
bool OleReadyOnThisThread() {
  static thread_local bool ready = false;
  if (!ready) ready = SUCCEEDED(::OleInitialize(nullptr));
  return ready;
}

void DebugLine(const char* format, long a, unsigned long b) {
  char line[160];
  std::snprintf(line, sizeof(line), format, a, b);
  ::OutputDebugStringA(line);
}

HRESULT CreateInstance(REFCLSID clsid, BSTR license, IUnknown** out) {
  IClassFactory* factory = nullptr;
  HRESULT hr = ::CoGetClassObject(clsid, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, nullptr,
                                  IID_IClassFactory, reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  if (license != nullptr) {
    IClassFactory2* licensed = nullptr;
    hr = factory->QueryInterface(IID_IClassFactory2, reinterpret_cast<void**>(&licensed));
    if (SUCCEEDED(hr)) {
      hr = licensed->CreateInstanceLic(nullptr, nullptr, IID_IUnknown, license,
                                       reinterpret_cast<void**>(out));
      licensed->Release();
    }
  } else {
    hr = factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(out));
  }
  factory->Release();
  return hr;
}

// The rest of `file` from its position, in a global memory block.
HGLOBAL ReadRest(CFile* file) {
  const ULONGLONG length = file->GetLength();
  const ULONGLONG at = file->GetPosition();
  if (at > length || length - at > kMaxPersistBytes) return nullptr;
  const UINT size = static_cast<UINT>(length - at);
  HGLOBAL block = ::GlobalAlloc(GMEM_MOVEABLE, size > 0 ? size : 1);
  if (block == nullptr) return nullptr;
  void* bytes = ::GlobalLock(block);
  const UINT got = size > 0 ? file->Read(bytes, size) : 0;
  ::GlobalUnlock(block);
  if (got != size) {
    ::GlobalFree(block);
    return nullptr;
  }
  return block;
}

HRESULT LoadState(IUnknown* control, CFile* persist, BOOL storage) {
  HGLOBAL block = ReadRest(persist);
  if (block == nullptr) return E_FAIL;
  HRESULT hr;
  if (!storage) {
    IStream* stream = nullptr;
    hr = ::CreateStreamOnHGlobal(block, TRUE, &stream);
    if (FAILED(hr)) {
      ::GlobalFree(block);
      return hr;
    }
    IPersistStreamInit* init = nullptr;
    IPersistStream* plain = nullptr;
    if (SUCCEEDED(
            control->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&init)))) {
      hr = init->Load(stream);
      init->Release();
    } else if (SUCCEEDED(
                   control->QueryInterface(IID_IPersistStream, reinterpret_cast<void**>(&plain)))) {
      hr = plain->Load(stream);
      plain->Release();
    } else {
      hr = E_NOINTERFACE;
    }
    stream->Release();
    return hr;
  }
  ILockBytes* bytes = nullptr;
  hr = ::CreateILockBytesOnHGlobal(block, TRUE, &bytes);
  if (FAILED(hr)) {
    ::GlobalFree(block);
    return hr;
  }
  IStorage* store = nullptr;
  hr = ::StgOpenStorageOnILockBytes(bytes, nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, nullptr, 0,
                                    &store);
  if (SUCCEEDED(hr)) {
    IPersistStorage* ps = nullptr;
    hr = control->QueryInterface(IID_IPersistStorage, reinterpret_cast<void**>(&ps));
    if (SUCCEEDED(hr)) {
      hr = ps->Load(store);
      ps->Release();
    }
    store->Release();
  }
  bytes->Release();
  return hr;
}

void InitNew(IUnknown* control) {
  IPersistStreamInit* init = nullptr;
  if (SUCCEEDED(control->QueryInterface(IID_IPersistStreamInit, reinterpret_cast<void**>(&init)))) {
    init->InitNew();
    init->Release();
  }
}

}  // namespace

BOOL CWnd::Create(LPCSTR lpszClassName, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                  CWnd* pParentWnd, UINT nID, CCreateContext* pContext) {
  if (m_hWnd != nullptr) return FALSE;
  HINSTANCE instance = AfxGetInstanceHandle();
  const char* cls = lpszClassName;
  if (cls == nullptr) {
    WNDCLASSA wc = {};
    if (!::GetClassInfoA(instance, kOwnClass, &wc)) {
      wc.style = CS_DBLCLKS;
      wc.lpfnWndProc = &CWnd::OwnClassWndProc;
      wc.hInstance = instance;
      wc.hCursor = ::LoadCursor(nullptr, IDC_ARROW);
      wc.lpszClassName = kOwnClass;
      if (!::RegisterClassA(&wc) && ::GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return FALSE;
    }
    cls = kOwnClass;
  }
  HWND parent = pParentWnd != nullptr ? pParentWnd->GetSafeHwnd() : nullptr;
  HWND h =
      ::CreateWindowExA(0, cls, lpszWindowName != nullptr ? lpszWindowName : "", dwStyle | WS_CHILD,
                        rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top, parent,
                        reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)), instance, this);
  if (h == nullptr) return FALSE;
  if (m_hWnd == nullptr) m_hWnd = h;  // a class of its own does not bind the wrapper
  owns_window_ = true;
  return TRUE;
}

LRESULT CALLBACK CWnd::OwnClassWndProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
    if (auto* wnd = static_cast<CWnd*>(create->lpCreateParams)) wnd->AttachPermanent(hWnd);
  }
  CWnd* wnd = FromHandlePermanent(hWnd);
  if (wnd == nullptr) return ::DefWindowProcA(hWnd, message, wParam, lParam);
  if (message == WM_NCDESTROY) {
    const LRESULT r = wnd->DefWindowProc(message, wParam, lParam);
    wnd->DetachPermanent();
    wnd->m_hWnd = nullptr;
    wnd->owns_window_ = false;
    wnd->PostNcDestroy();
    return r;
  }
  return wnd->WindowProc(message, wParam, lParam);
}

BOOL CWnd::CreateControl(REFCLSID clsid, LPCSTR lpszWindowName, DWORD dwStyle, const RECT& rect,
                         CWnd* pParentWnd, UINT nID, CFile* pPersist, BOOL bStorage,
                         BSTR bstrLicKey) {
  if (m_hWnd != nullptr) return FALSE;
  if (!OleReadyOnThisThread()) return FALSE;
  const AtlHost& atl = Atl();
  if (!atl.ready) {
    ::OutputDebugStringA("CWnd::CreateControl: atl.dll's control host is not available\n");
    return FALSE;
  }
  // The host window is made without text: ATL would read a text as the name
  // of a control to create by itself. The caption is set afterwards.
  HWND parent = pParentWnd != nullptr ? pParentWnd->GetSafeHwnd() : nullptr;
  HWND h = ::CreateWindowExA(0, kAtlHostClass, "", dwStyle, rect.left, rect.top,
                             rect.right - rect.left, rect.bottom - rect.top, parent,
                             reinterpret_cast<HMENU>(static_cast<UINT_PTR>(nID)),
                             AfxGetInstanceHandle(), nullptr);
  if (h == nullptr) return FALSE;

  IUnknown* control = nullptr;
  HRESULT hr = CreateInstance(clsid, bstrLicKey, &control);
  if (SUCCEEDED(hr)) {
    if (pPersist != nullptr) {
      hr = LoadState(control, pPersist, bStorage);
    } else {
      InitNew(control);
    }
  }
  IUnknown* host = nullptr;
  if (SUCCEEDED(hr)) hr = atl.attach(control, h, &host);
  if (FAILED(hr)) {
    DebugLine("CWnd::CreateControl: control %ld not created (0x%08lx)\n", static_cast<long>(nID),
              static_cast<unsigned long>(hr));
    ::DestroyWindow(h);
    if (host != nullptr) host->Release();
    if (control != nullptr) control->Release();
    return FALSE;
  }
  if (FAILED(
          control->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&control_dispatch_)))) {
    control_dispatch_ = nullptr;  // hosted, but InvokeHelper has nothing to call
  }
  control->Release();  // the host and control_dispatch_ hold it
  control_host_ = host;
  m_hWnd = h;
  owns_window_ = true;
  if (lpszWindowName != nullptr) ::SetWindowTextA(h, lpszWindowName);
  return TRUE;
}

void CWnd::InvokeHelper(DISPID dwDispID, WORD wFlags, VARTYPE vtRet, void* pvRet,
                        const BYTE* pbParamInfo, ...) {
  Q_CHECK_WINDOW_THREAD();
  va_list args;
  va_start(args, pbParamInfo);
  const HRESULT hr =
      AfxDispatchInvokeV(control_dispatch_, dwDispID, wFlags, vtRet, pvRet, pbParamInfo, args);
  va_end(args);
  if (FAILED(hr)) {
    DebugLine("CWnd::InvokeHelper: DISPID %ld failed (0x%08lx)\n", dwDispID,
              static_cast<unsigned long>(hr));
  }
}

void CWnd::ReleaseControl() {
  // The host detaches from the control when its window goes (WM_DESTROY);
  // only the window's thread can destroy it.
  if (owns_window_ && m_hWnd != nullptr && ::IsWindow(m_hWnd)) ::DestroyWindow(m_hWnd);
  if (control_dispatch_ != nullptr) {
    control_dispatch_->Release();
    control_dispatch_ = nullptr;
  }
  if (control_host_ != nullptr) {
    control_host_->Release();
    control_host_ = nullptr;
    m_hWnd = nullptr;
  }
  owns_window_ = false;
}

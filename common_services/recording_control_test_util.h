// A stand-in for the WebBrowser control in the tests: a COM class that the
// test process registers for the WebBrowser class id, so that the wrappers
// create it through the real hosting path (atl.dll's host window). It
// records every IDispatch::Invoke (DISPID, kind, argument types and values
// in call order) and answers with what the test put into `answers`.
// Thread safety: the test's thread (its single-threaded apartment).
// Ownership: COM reference counts; the factory keeps the last control made.
#pragma once

#include <ocidl.h>
#include <ole2.h>
#include <oleauto.h>

#include <map>
#include <string>
#include <vector>

namespace q_test {

struct RecordedArg {
  VARTYPE vt = VT_EMPTY;
  std::wstring text;            // VT_BSTR
  long number = 0;              // VT_I4, VT_BOOL, VT_ERROR's code
  const void* ref = nullptr;    // the pointer of a VT_BYREF argument
  VARTYPE inner_vt = VT_EMPTY;  // what a VARIANT reference points to
};

struct RecordedCall {
  DISPID id = 0;
  WORD flags = 0;
  std::vector<RecordedArg> args;  // in call order (IDispatch gets them reversed)
  std::vector<DISPID> named;
  bool wants_result = false;
};

class RecordingControl final : public IDispatch,
                               public IOleObject,
                               public IPersistStreamInit,
                               public IPersistStorage {
 public:
  std::vector<RecordedCall> calls;
  std::map<DISPID, VARIANT> answers;  // copied out on each call
  IOleClientSite* site = nullptr;
  bool init_new = false;
  std::string loaded;  // bytes given to Load (a storage's "contents" stream)
  bool loaded_storage = false;
  bool closed = false;

  ~RecordingControl() {
    for (auto& a : answers) VariantClear(&a.second);
    if (site != nullptr) site->Release();
  }

  void Answer(DISPID id, const VARIANT& v) {
    VariantClear(&answers[id]);
    VariantCopy(&answers[id], const_cast<VARIANT*>(&v));
  }

  // IUnknown
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *out = static_cast<IDispatch*>(this);
    } else if (riid == IID_IOleObject) {
      *out = static_cast<IOleObject*>(this);
    } else if (riid == IID_IPersistStreamInit) {
      *out = static_cast<IPersistStreamInit*>(this);
    } else if (riid == IID_IPersistStorage) {
      *out = static_cast<IPersistStorage*>(this);
    } else {
      *out = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  ULONG refs() const { return refs_; }

  // IDispatch
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* n) override {
    *n = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO*, UINT*) override {
    RecordedCall call;
    call.id = id;
    call.flags = flags;
    call.wants_result = result != nullptr;
    for (UINT i = params->cArgs; i-- > 0;) {
      const VARIANTARG& v = params->rgvarg[i];
      RecordedArg a;
      a.vt = v.vt;
      if (v.vt == VT_BSTR) {
        a.text = v.bstrVal != nullptr ? std::wstring(v.bstrVal, SysStringLen(v.bstrVal)) : L"";
      } else if (v.vt == VT_I4) {
        a.number = v.lVal;
      } else if (v.vt == VT_BOOL) {
        a.number = v.boolVal;
      } else if (v.vt == VT_ERROR) {
        a.number = v.scode;
      } else if (v.vt & VT_BYREF) {
        a.ref = v.byref;
      }
      if (v.vt == (VT_VARIANT | VT_BYREF) && v.pvarVal != nullptr) {
        const VARIANT& inner = *v.pvarVal;
        a.inner_vt = inner.vt;
        if (inner.vt == VT_BSTR && inner.bstrVal != nullptr) {
          a.text = std::wstring(inner.bstrVal, SysStringLen(inner.bstrVal));
        } else if (inner.vt == VT_I4) {
          a.number = inner.lVal;
        } else if (inner.vt == (VT_ARRAY | VT_UI1) && inner.parray != nullptr) {
          a.number = static_cast<long>(inner.parray->rgsabound[0].cElements);
        }
      }
      call.args.push_back(a);
    }
    for (UINT i = 0; i < params->cNamedArgs; ++i)
      call.named.push_back(params->rgdispidNamedArgs[i]);
    calls.push_back(call);
    if (result != nullptr) {
      VariantInit(result);
      auto it = answers.find(id);
      if (it != answers.end()) VariantCopy(result, &it->second);
    }
    return S_OK;
  }

  // IOleObject: what a host asks of a control.
  HRESULT STDMETHODCALLTYPE SetClientSite(IOleClientSite* s) override {
    if (s != nullptr) s->AddRef();
    if (site != nullptr) site->Release();
    site = s;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetClientSite(IOleClientSite** s) override {
    *s = site;
    if (site != nullptr) site->AddRef();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetHostNames(LPCOLESTR, LPCOLESTR) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE Close(DWORD) override {
    closed = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetMoniker(DWORD, IMoniker*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMoniker(DWORD, DWORD, IMoniker**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InitFromData(IDataObject*, BOOL, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetClipboardData(DWORD, IDataObject**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE DoVerb(LONG, LPMSG, IOleClientSite*, LONG, HWND, LPCRECT) override {
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE EnumVerbs(IEnumOLEVERB**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Update() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE IsUpToDate() override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetUserClassID(CLSID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetUserType(DWORD, LPOLESTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SetExtent(DWORD, SIZEL*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetExtent(DWORD, SIZEL*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Advise(IAdviseSink*, DWORD*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Unadvise(DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE EnumAdvise(IEnumSTATDATA**) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetMiscStatus(DWORD, DWORD* status) override {
    *status = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SetColorScheme(LOGPALETTE*) override { return E_NOTIMPL; }

  // IPersistStreamInit
  HRESULT STDMETHODCALLTYPE GetClassID(CLSID*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE IsDirty() override { return S_FALSE; }
  HRESULT STDMETHODCALLTYPE Load(LPSTREAM stream) override {
    char buf[256];
    ULONG got = 0;
    while (SUCCEEDED(stream->Read(buf, sizeof(buf), &got)) && got > 0) loaded.append(buf, got);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Save(LPSTREAM, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE GetSizeMax(ULARGE_INTEGER*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE InitNew() override {
    init_new = true;
    return S_OK;
  }

  // IPersistStorage (GetClassID and IsDirty are shared with the stream's)
  HRESULT STDMETHODCALLTYPE InitNew(IStorage*) override {
    init_new = true;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Load(IStorage* storage) override {
    loaded_storage = true;
    IStream* contents = nullptr;
    if (FAILED(storage->OpenStream(L"contents", nullptr, STGM_READ | STGM_SHARE_EXCLUSIVE, 0,
                                   &contents))) {
      return E_FAIL;
    }
    Load(contents);
    contents->Release();
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Save(IStorage*, BOOL) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE SaveCompleted(IStorage*) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE HandsOffStorage() override { return S_OK; }

 private:
  ULONG refs_ = 1;
};

// The class object the test registers (CoRegisterClassObject) for a class id.
class RecordingFactory : public IClassFactory2 {
 public:
  RecordingControl* last = nullptr;  // not owned: the control lives by its references
  int made = 0;
  std::wstring license;  // the key of the last licensed creation

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (riid == IID_IUnknown || riid == IID_IClassFactory || riid == IID_IClassFactory2) {
      *out = static_cast<IClassFactory2*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }  // a static of the test
  ULONG STDMETHODCALLTYPE Release() override { return 1; }
  HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (outer != nullptr) return CLASS_E_NOAGGREGATION;
    auto* control = new RecordingControl();
    const HRESULT hr = control->QueryInterface(riid, out);
    control->Release();
    if (SUCCEEDED(hr)) {
      last = control;
      ++made;
    }
    return hr;
  }
  HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }
  HRESULT STDMETHODCALLTYPE GetLicInfo(LICINFO*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE RequestLicKey(DWORD, BSTR*) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE CreateInstanceLic(IUnknown* outer, IUnknown*, REFIID riid, BSTR key,
                                              void** out) override {
    license = key != nullptr ? key : L"";
    return CreateInstance(outer, riid, out);
  }
};

// Registers a RecordingFactory for `clsid` for the scope's life.
class ScopedRecordingClass {
 public:
  explicit ScopedRecordingClass(REFCLSID clsid) {
    ok_ = SUCCEEDED(CoRegisterClassObject(clsid, &factory_, CLSCTX_INPROC_SERVER,
                                          REGCLS_MULTIPLEUSE, &cookie_));
  }
  ~ScopedRecordingClass() {
    if (ok_) CoRevokeClassObject(cookie_);
  }
  bool ok() const { return ok_; }
  RecordingFactory& factory() { return factory_; }

 private:
  RecordingFactory factory_;
  DWORD cookie_ = 0;
  bool ok_ = false;
};

// A top-level window to parent the controls of a test.
class TestParentWindow {
 public:
  TestParentWindow() {
    hwnd_ = CreateWindowExA(0, "STATIC", "zintal test", WS_OVERLAPPEDWINDOW, 0, 0, 640, 480,
                            nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  }
  ~TestParentWindow() {
    if (hwnd_ != nullptr) DestroyWindow(hwnd_);
  }
  HWND hwnd() const { return hwnd_; }

 private:
  HWND hwnd_ = nullptr;
};

}  // namespace q_test

// A WMI locator for tests: its ConnectServer answers (access denied, no
// services) when the test lets it or after a set wait, and its reference
// count is in view, so a test sees every reference the WMI session and its
// helper take given back.
#pragma once

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "diagnostics/probes/wmi_session.h"  // <windows.h>, <wbemidl.h>

class CountingLocator : public IWbemLocator {
 public:
  explicit CountingLocator(DWORD answer_after_ms = 10000)
      : answer_after_ms_(answer_after_ms), release_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~CountingLocator() { CloseHandle(release_); }
  void Let() { SetEvent(release_); }
  long refs() const { return refs_.load(); }
  // Waits up to `ms` for the count to come back to `want`.
  bool WaitForRefs(long want, int ms) const {
    for (int waited = 0; refs() != want && waited < ms; waited += 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return refs() == want;
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (iid != IID_IUnknown && iid != IID_IWbemLocator) return E_NOINTERFACE;
    AddRef();
    *out = this;
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ULONG(++refs_); }
  ULONG STDMETHODCALLTYPE Release() override { return ULONG(--refs_); }
  HRESULT STDMETHODCALLTYPE ConnectServer(BSTR name, BSTR, BSTR, BSTR, long, BSTR, IWbemContext*,
                                          IWbemServices** services) override {
    *services = nullptr;
    WaitForSingleObject(release_, answer_after_ms_);
    return name && std::wstring(name) == L"ROOT\\CIMV2" ? HRESULT(WBEM_E_ACCESS_DENIED)
                                                        : E_INVALIDARG;
  }

 private:
  const DWORD answer_after_ms_;
  std::atomic<long> refs_{1};
  HANDLE release_;
};

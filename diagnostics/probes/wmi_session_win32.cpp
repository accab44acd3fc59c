#include "diagnostics/probes/wmi_session.h"

#include "diagnostics/probes/pinned_call.h"
#include "diagnostics/probes/stop_signal.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

namespace {

// A BSTR of an ASCII text (class, property and namespace names, queries);
// comsupp's char conversions are not in this toolchain.
class Bstr {
 public:
  explicit Bstr(const char* text) {
    std::wstring wide(text, text + std::strlen(text));
    bstr_ = SysAllocStringLen(wide.data(), UINT(wide.size()));
    if (!bstr_) _com_issue_error(E_OUTOFMEMORY);
  }
  ~Bstr() { SysFreeString(bstr_); }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  operator BSTR() const { return bstr_; }

 private:
  BSTR bstr_;
};

}  // namespace

HRESULT CWmiSession::Open(IWbemLocator* locator) {
  HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(hr) && hr != RPC_E_CHANGED_MODE) return hr;
  com_initialised_ = SUCCEEDED(hr);
  CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_PKT,
                       RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  if (locator) {
    locator->AddRef();
    locator_ = locator;
  } else {
    CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                     reinterpret_cast<void**>(&locator_));
  }
  if (!locator_) _com_issue_error(E_POINTER);
  const HRESULT connected = ConnectWmi(locator_, "ROOT\\CIMV2", stop_, &services_);
  // Without services (Stop during the connection, a failed ConnectServer)
  // there is no proxy to set a blanket on: the open fails with the
  // connection's result.
  if (!services_) return FAILED(connected) ? connected : E_POINTER;
  return CoSetProxyBlanket(services_, RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                           RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
}

namespace {

// What the helper of ConnectWmi hands over, unless the caller has left.
struct PendingConnect {
  std::mutex mutex;
  bool abandoned = false;
  IWbemServices* services = nullptr;
  HRESULT result = E_FAIL;
};

}  // namespace

HRESULT ConnectWmi(IWbemLocator* locator, const char* name, const StopSignal* stop,
                   IWbemServices** services) {
  *services = nullptr;
  auto pending = std::make_shared<PendingConnect>();
  // The helper's reference, given back when the last copy of the call goes:
  // after the call on the helper, or here when the call is never run.
  locator->AddRef();
  std::shared_ptr<IWbemLocator> held(locator, [](IWbemLocator* l) { l->Release(); });
  const bool done = RunPinned(
      [pending, held, ns = std::string(name)] {
        IWbemServices* got = nullptr;
        HRESULT hr = E_FAIL;
        try {
          hr = held->ConnectServer(Bstr(ns.c_str()), nullptr, nullptr, nullptr, 0, nullptr, nullptr,
                                   &got);
        } catch (const _com_error& e) {
          hr = e.Error();
        }
        {
          std::lock_guard<std::mutex> lock(pending->mutex);
          if (!pending->abandoned) {
            pending->services = got;
            pending->result = hr;
            got = nullptr;
          }
        }
        if (got) got->Release();
      },
      stop, nullptr, PinnedApartment::kMultithreaded);
  held.reset();
  std::lock_guard<std::mutex> lock(pending->mutex);
  if (!done) {
    pending->abandoned = true;
    if (pending->services) pending->services->Release();
    pending->services = nullptr;
    return E_ABORT;
  }
  *services = pending->services;
  pending->services = nullptr;
  return pending->result;
}

bool CWmiSession::Stopping() const { return stop_ && stop_->stopping(); }

void CWmiSession::Close() {
  if (services_) services_->Release();
  services_ = nullptr;
  if (locator_) locator_->Release();
  locator_ = nullptr;
  if (com_initialised_) CoUninitialize();
  com_initialised_ = false;
}

namespace {

// Runs "SELECT * FROM <class>" and calls `each` per result object.
template <typename Each>
bool ForEachObject(const CWmiSession& session, const char* wmi_class, Each each) {
  if (!session.services()) return false;
  IEnumWbemClassObject* results = nullptr;
  std::string query = std::string("SELECT * FROM ") + wmi_class;
  HRESULT hr = session.services()->ExecQuery(Bstr("WQL"), Bstr(query.c_str()),
                                             WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY,
                                             nullptr, &results);
  if (FAILED(hr) || !results) return false;
  // Each object is awaited in slices, so that Stop is seen within one slice
  // and a provider that never answers costs kWmiObjectWaitMs, not the thread.
  int waited_ms = 0;
  for (;;) {
    IWbemClassObject* object = nullptr;
    ULONG returned = 0;
    hr = results->Next(kWmiSliceMs, 1, &object, &returned);
    if (hr == WBEM_S_TIMEDOUT && returned == 0) {
      waited_ms += kWmiSliceMs;
      if (session.Stopping() || waited_ms >= kWmiObjectWaitMs) break;
      continue;
    }
    if (FAILED(hr) || returned == 0 || !object) break;
    waited_ms = 0;
    each(object);
    object->Release();
  }
  results->Release();
  return true;
}

bool GetProperty(IWbemClassObject* object, const char* name, _variant_t* value) {
  VARIANT v;
  VariantInit(&v);
  if (FAILED(object->Get(Bstr(name), 0, &v, nullptr, nullptr))) return false;
  value->Attach(v);
  return true;
}

}  // namespace

bool WmiQueryColumn(const CWmiSession& session, const char* wmi_class, const char* property,
                    WmiColumn* column) {
  column->clear();
  return ForEachObject(session, wmi_class, [&](IWbemClassObject* object) {
    _variant_t value;
    if (GetProperty(object, property, &value)) column->push_back(value);
  });
}

bool WmiQueryRows(const CWmiSession& session, const char* wmi_class, const char* const* properties,
                  int count, std::vector<WmiRow>* rows) {
  rows->clear();
  return ForEachObject(session, wmi_class, [&](IWbemClassObject* object) {
    rows->emplace_back();
    for (int i = 0; i < count; ++i) {
      _variant_t value;
      if (GetProperty(object, properties[i], &value)) rows->back()[properties[i]] = value;
    }
  });
}

std::string WideToNarrow(const wchar_t* text, int length) {
  if (!text || length <= 0) return std::string();
  int size = WideCharToMultiByte(CP_THREAD_ACP, 0, text, length, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return std::string();
  std::string out(size_t(size), '\0');
  WideCharToMultiByte(CP_THREAD_ACP, 0, text, length, &out[0], size, nullptr, nullptr);
  return out;
}

std::string VariantToText(const VARIANT& value) {
  char buf[16];
  switch (value.vt) {
    case VT_I4:
      std::snprintf(buf, sizeof buf, "%d", int(value.lVal));
      return buf;
    case VT_UI4:
      std::snprintf(buf, sizeof buf, "%d", int(value.ulVal));
      return buf;
    case VT_UI1:
      std::snprintf(buf, sizeof buf, "%d", int(value.bVal));
      return buf;
    case VT_BSTR:
      return WideToNarrow(value.bstrVal, int(SysStringLen(value.bstrVal)));
    case VT_BOOL:
      return value.boolVal == VARIANT_TRUE ? "true" : "false";
    default:
      return std::string();
  }
}

uint32_t VariantToUInt32(const VARIANT& value) {
  _variant_t converted;
  HRESULT hr = VariantChangeType(&converted, const_cast<VARIANT*>(&value), 0, VT_UI8);
  if (FAILED(hr)) _com_issue_error(hr);
  return uint32_t(converted.ullVal);
}

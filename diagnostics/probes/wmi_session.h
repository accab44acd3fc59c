// CWmiSession: COM in the multithreaded apartment and a WMI connection to
// ROOT\CIMV2 on the worker thread; the column and row queries the machine
// probes read, and VariantToText / VariantToUInt32 for their values.
// Thread safety: worker thread only (COM is initialised for that thread).
// Ownership: the session releases its interfaces in Close; the VARIANTs of a
// column or row list are owned by their _variant_t.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <comdef.h>
#include <wbemidl.h>

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class StopSignal;

class CWmiSession {
 public:
  CWmiSession() = default;
  ~CWmiSession() { Close(); }
  CWmiSession(const CWmiSession&) = delete;
  CWmiSession& operator=(const CWmiSession&) = delete;

  // Negative when COM or the connection could not be had (Stop during the
  // connection included). Raises a _com_error (E_POINTER) when no locator
  // results. `locator`, when given, is used (and referenced) instead of
  // WMI's own: tests hand in one that counts its references.
  HRESULT Open(IWbemLocator* locator = nullptr);
  void Close();

  IWbemServices* services() const { return services_; }

  // Queries end their wait for the next object soon after Stop.
  void set_stop(const StopSignal* stop) { stop_ = stop; }
  bool Stopping() const;

 private:
  const StopSignal* stop_ = nullptr;
  bool com_initialised_ = false;
  IWbemLocator* locator_ = nullptr;
  IWbemServices* services_ = nullptr;
};

// Connects `locator` to the namespace `name` on a pinned helper thread
// (pinned_call.h), so that a WMI service that does not answer holds up no
// Stop: E_ABORT when Stop came first (the helper then releases whatever
// ConnectServer gives it later), also when no helper could be started.
// Otherwise ConnectServer's result, with `*services` set as it set it. The
// helper is in the multithreaded apartment from before this returns until
// it has let go of every interface, so a caller that leaves first cannot
// end the apartment under it.
HRESULT ConnectWmi(IWbemLocator* locator, const char* name, const StopSignal* stop,
                   IWbemServices** services);

// A query waits for each object in slices of kWmiSliceMs, looking at the stop
// signal between them, and gives up after kWmiObjectWaitMs without one.
constexpr long kWmiSliceMs = 200;
constexpr int kWmiObjectWaitMs = 10000;

using WmiColumn = std::vector<_variant_t>;
using WmiRow = std::map<std::string, _variant_t>;

bool WmiQueryColumn(const CWmiSession& session, const char* wmi_class, const char* property,
                    WmiColumn* column);
bool WmiQueryRows(const CWmiSession& session, const char* wmi_class, const char* const* properties,
                  int count, std::vector<WmiRow>* rows);

// UTF-16 to the thread's ANSI code page.
std::string WideToNarrow(const wchar_t* text, int length);

// VT_I4, VT_UI4, VT_UI1 as "%d"; VT_BSTR in the thread's ANSI code page;
// VT_BOOL as "true"/"false"; anything else "".
std::string VariantToText(const VARIANT& value);

// The value as an unsigned 64-bit number, low 32 bits; raises a _com_error
// when it cannot be converted.
uint32_t VariantToUInt32(const VARIANT& value);

// The machine probes of the diagnostics worker: operating system, video
// adapters and DirectX version (once per worker thread), processor load and
// memory (every round), from WMI and the registry. Each fills its part of the
// SamplerReport and leaves it as it was when its source gives nothing.
// Thread safety: worker thread only.
#pragma once

#include <string>

#include "diagnostics/probes/wmi_session.h"
#include "diagnostics/sampler_report.h"

void SampleOs(const CWmiSession& wmi, SamplerReport* report);
void SampleVideoAdapters(const CWmiSession& wmi, SamplerReport* report);
// The registry's DirectX version text into *text; the major number as the
// result (0 without the key or with a malformed value).
int GetDirectXVersion(std::string* text);
// The major number of a DirectX version text on an OS of the given version.
int DirectXMajor(const std::string& text, DWORD os_major, DWORD os_minor);
void SampleProcessorLoad(const CWmiSession& wmi, SamplerReport* report);
void SampleMemory(const CWmiSession& wmi, SamplerReport* report);

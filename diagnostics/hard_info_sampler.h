// IHardInfoSampler: what VelmoPlatform.dll's only export, CreateInstance,
// hands its host. Four operations in this slot order and no virtual
// destructor, so a host built with another compiler can call it; the object
// ends through Release. Expected order: CreateInstance, Init, Start, ...,
// Stop, Release.
// Thread safety: the host calls all four from one thread of its own.
// Ownership: the host owns the object and ends it with Release (after Stop).
#pragma once

#include <cstdint>

class IHardInfoSampler {
 public:
  virtual void Release() = 0;
  virtual bool Init(int64_t user_id) = 0;
  virtual bool Start() = 0;
  virtual bool Stop() = 0;
};

extern "C" IHardInfoSampler* CreateInstance();

#include "netcore/shm/mem_map_file.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cstring>

CMemMapFile::CMemMapFile() = default;

CMemMapFile::~CMemMapFile() { Close(); }

bool CMemMapFile::Create(const char* name, uint32_t size) {
  if (IsMapped() || name == nullptr || *name == '\0' || size == 0) return false;
  std::strncpy(name_, name, kMaxName - 1);
  name_[kMaxName - 1] = '\0';
  mapping_ = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, size, name_);
  if (mapping_ == nullptr || !MapView(size)) {
    Close();
    return false;
  }
  return true;
}

bool CMemMapFile::Open(const char* name) {
  if (IsMapped() || name == nullptr || *name == '\0') return false;
  std::strncpy(name_, name, kMaxName - 1);
  name_[kMaxName - 1] = '\0';
  mapping_ = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name_);
  if (mapping_ == nullptr || !MapView(1)) {
    Close();
    return false;
  }
  return true;
}

bool CMemMapFile::MapView(uint32_t min_size) {
  view_ = MapViewOfFile(mapping_, FILE_MAP_WRITE, 0, 0, 0);
  if (view_ == nullptr) return false;
  // The view's real extent bounds every offset the queue may use; an existing
  // region of the same name may be smaller than the one asked for.
  MEMORY_BASIC_INFORMATION info;
  if (VirtualQuery(view_, &info, sizeof info) != sizeof info) return false;
  size_ = info.RegionSize > 0xffffffffu ? 0xffffffffu : uint32_t(info.RegionSize);
  return size_ >= min_size;
}

void CMemMapFile::Close() {
  if (view_ != nullptr) {
    FlushViewOfFile(view_, 0);
    UnmapViewOfFile(view_);
    view_ = nullptr;
  }
  if (mapping_ != nullptr) {
    CloseHandle(mapping_);
    mapping_ = nullptr;
  }
  size_ = 0;
  name_[0] = '\0';
}

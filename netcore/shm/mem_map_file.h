// A named region of the paging file, mapped read-write into this process:
// the shared memory under one CXQueue. Windows only.
// Thread safety: one thread at a time per object.
// Ownership: the object owns its mapping handle and view and releases both in
// Close and in its destructor; the region itself lives while any process maps it.
#pragma once

#include <cstdint>

class CMemMapFile {
 public:
  // Names longer than this (with the terminating NUL) are cut.
  static constexpr uint32_t kMaxName = 520;

  CMemMapFile();
  ~CMemMapFile();
  CMemMapFile(const CMemMapFile&) = delete;
  CMemMapFile& operator=(const CMemMapFile&) = delete;

  // Creates the named region (or joins one of that name) of `size` bytes and
  // maps it read-write. Fails when already mapped, or when a region of that
  // name exists but is smaller than `size`.
  bool Create(const char* name, uint32_t size);
  // Maps the whole of an existing named region with write access.
  bool Open(const char* name);
  // Flushes and unmaps the view and closes the mapping.
  void Close();

  bool IsMapped() const { return view_ != nullptr; }
  void* Data() const { return view_; }
  // Bytes of the view, as the system reports it (whole pages).
  uint32_t Size() const { return size_; }
  const char* Name() const { return name_; }

 private:
  bool MapView(uint32_t min_size);

  void* mapping_ = nullptr;
  void* view_ = nullptr;
  char name_[kMaxName] = {};
  uint32_t size_ = 0;
};

// Test helper of the DLL-level checks: sends calls of one function of a
// system DLL to a replacement of this program, for the whole process, by
// writing a jump over the function's first bytes (a rel32 jump on i686; on
// x86_64, where the two may lie more than 2 GiB apart, an absolute one). It lets a test
// make a Windows call fail under a library that imports it, without any hook
// in the library itself.
// Thread safety: patch and restore while no other thread calls the function.
// Ownership: restores the original bytes when destroyed.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <cstring>

class ApiPatch {
 public:
  ApiPatch() = default;
  ApiPatch(const ApiPatch&) = delete;
  ApiPatch& operator=(const ApiPatch&) = delete;
  ~ApiPatch() { Restore(); }

  // `module`!`name` jumps to `replacement` (same signature and calling
  // convention) from now on.
  bool Patch(const char* module, const char* name, const void* replacement) {
    HMODULE m = LoadLibraryA(module);
    if (m == nullptr) return false;
    auto* fn = reinterpret_cast<uint8_t*>(reinterpret_cast<void*>(GetProcAddress(m, name)));
    if (fn == nullptr) return false;
    DWORD old = 0;
    if (!VirtualProtect(fn, sizeof saved_, PAGE_EXECUTE_READWRITE, &old)) return false;
    std::memcpy(saved_, fn, sizeof saved_);
#if defined(__x86_64__)
    const uint64_t target = reinterpret_cast<uintptr_t>(replacement);
    fn[0] = 0xFF;  // jmp qword ptr [rip+0], the address right after it
    fn[1] = 0x25;
    std::memset(fn + 2, 0, 4);
    std::memcpy(fn + 6, &target, 8);
#else
    const int32_t rel = static_cast<int32_t>(reinterpret_cast<intptr_t>(replacement) -
                                             reinterpret_cast<intptr_t>(fn + 5));
    fn[0] = 0xE9;  // jmp rel32
    std::memcpy(fn + 1, &rel, 4);
#endif
    VirtualProtect(fn, sizeof saved_, old, &old);
    FlushInstructionCache(GetCurrentProcess(), fn, sizeof saved_);
    fn_ = fn;
    return true;
  }

  void Restore() {
    if (fn_ == nullptr) return;
    DWORD old = 0;
    VirtualProtect(fn_, sizeof saved_, PAGE_EXECUTE_READWRITE, &old);
    std::memcpy(fn_, saved_, sizeof saved_);
    VirtualProtect(fn_, sizeof saved_, old, &old);
    FlushInstructionCache(GetCurrentProcess(), fn_, sizeof saved_);
    fn_ = nullptr;
  }

 private:
  uint8_t* fn_ = nullptr;
#if defined(__x86_64__)
  uint8_t saved_[14] = {};
#else
  uint8_t saved_[5] = {};
#endif
};

// The one export macro of the common-services library Zintal.dll: every
// exported class is declared `class ZINTAL_API CName`, a class-level export,
// so each member function is importable from another module.
// Zintal's own sources are built with ZINTAL_BUILD (dllexport); a module that
// links the import library sees dllimport; the native tree, which holds only
// the portable classes as a static library, sees nothing.
//
// Layout: callers built elsewhere rely on the size and member offsets of every
// exported class and record (and on the slot order of their virtual tables).
// Each public header therefore pins the packing for what it declares
// (#pragma pack(push, 8) after its includes, popped at its end: the
// compiler's own default, so a caller that includes it under #pragma pack(1)
// still sees the DLL's layout; after the includes, so that the standard and
// system headers keep their own settings, as a pin around them would change
// std::max_align_t, for one) and asserts each size, so that a layout change,
// or a caller whose settings differ, breaks the build instead of the caller.
// The MFC-style headers of platform/mfc, whose classes Zintal's derive from
// and hold, pin theirs the same way. The sizes are
// those of the i686 Windows build, the only one that makes Zintal.dll; the
// native tree builds the portable classes into a static library that crosses
// no module boundary and checks only the records (fixed-width fields).
//
// Runtime settings a caller must share: the classes hold std::string (inside
// CString) and std::atomic and let exceptions of derived classes pass through
// them, so a module that uses these headers is built with the same
// mingw-w64 GCC (i686, POSIX threads) and runs on the runtime DLLs shipped
// beside Zintal.dll (libstdc++-6.dll, libgcc_s_dw2-1.dll,
// libwinpthread-1.dll; see the README), with the C++11 string ABI
// (_GLIBCXX_USE_CXX11_ABI=1, the default) and without _GLIBCXX_DEBUG or
// -fpack-struct, which change the layout of the standard library's classes
// or of every class.
#pragma once

#if defined(_WIN32) && defined(ZINTAL_BUILD)
#define ZINTAL_API __declspec(dllexport)
#elif defined(_WIN32) && !defined(ZINTAL_STATIC)
#define ZINTAL_API __declspec(dllimport)
#else
#define ZINTAL_API
#endif

#if defined(_WIN32) && !defined(_WIN64)
#define ZINTAL_ABI_SIZE(type, bytes) \
  static_assert(sizeof(type) == (bytes), #type " has the size Zintal.dll gives it")
#else
#define ZINTAL_ABI_SIZE(type, bytes) static_assert(sizeof(type) > 0, #type)
#endif

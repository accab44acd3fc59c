// The one export macro of the common-services library Zintal.dll: every
// exported class is declared `class ZINTAL_API CName`, a class-level export,
// so each member function is importable from another module.
// Zintal's own sources are built with ZINTAL_BUILD (dllexport); a module that
// links the import library sees dllimport; the native tree, which holds only
// the portable classes as a static library, sees nothing.
#pragma once

#if defined(_WIN32) && defined(ZINTAL_BUILD)
#define ZINTAL_API __declspec(dllexport)
#elif defined(_WIN32) && !defined(ZINTAL_STATIC)
#define ZINTAL_API __declspec(dllimport)
#else
#define ZINTAL_API
#endif

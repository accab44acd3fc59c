// Text conversions between the lobby's ANSI code page and the UTF-8 of the
// gate messages, through UTF-16. The code page itself is behind a seam:
// Windows uses the system ANSI code page (CP_ACP; 936 for the platform's
// users); the native build stands in with Latin-1 (byte n <-> U+00nn, other
// characters become '?'), enough to test the cutting and bounds.
// Thread safety: every function may be called from any thread.
#pragma once

#include <cstddef>
#include <string>

namespace nfhall {

// Seam (ansi_text_win32.cpp / ansi_text_posix.cpp): a NUL-free ANSI byte
// string to UTF-16 and one UTF-16 piece to ANSI bytes. Bad input gives what
// the code page makes of it (replacement characters), never a failure.
std::u16string AnsiToWide(const std::string& ansi);
std::string WideToAnsi(const std::u16string& wide);

// Portable UTF-8 <-> UTF-16; malformed UTF-8 and lone surrogates become
// U+FFFD. `maxUnits` bounds the UTF-16 result without splitting a pair.
std::u16string Utf8ToWide(const std::string& utf8, size_t maxUnits = static_cast<size_t>(-1));
std::string WideToUtf8(const std::u16string& wide);

// A fixed-width block field (`width` bytes, NUL-terminated or full) to
// UTF-8. Never reads past `width`.
std::string AnsiFieldToUtf8(const char* field, size_t width);

// UTF-8 to ANSI: at most `maxUnits` UTF-16 units are converted and the
// result holds at most `maxBytes` bytes; a cut falls between characters
// (never inside a double-byte character or a surrogate pair).
std::string Utf8ToAnsi(const std::string& utf8, size_t maxUnits, size_t maxBytes);

// UTF-8 to ANSI without limits (the debug dialog's account field).
std::string Utf8ToAnsi(const std::string& utf8);

}  // namespace nfhall

// The debug dialog's text conversions on the Windows API: UTF-8 and the
// system ANSI code page (936 for the platform's users) to and from UTF-16,
// and the byte limits of the dialog's ANSI texts, cut between characters.
// Thread safety: any thread.
#pragma once

#include <cstddef>
#include <string>

namespace bsc {

std::wstring Utf8ToWide(const std::string& utf8);
std::wstring AnsiToWide(const std::string& ansi);
// At most `maxBytes` bytes, never ending inside a double-byte character.
std::string CutAnsi(std::string ansi, size_t maxBytes);
// UTF-16 to ANSI, then CutAnsi.
std::string WideToAnsi(const std::wstring& wide, size_t maxBytes = static_cast<size_t>(-1));
// One line of the log pane from ANSI text: UTF-16, ending in "\r\n",
// without NUL characters. An edit control takes a text only up to its first
// NUL, so one NUL in server text would drop the rest of what is inserted.
std::wstring PaneLine(const std::string& ansi);

}  // namespace bsc

// Text at the Windows boundary: the program's UTF-8 to and from UTF-16 for the W functions,
// and to and from the ANSI code page where a stored file or a system text is 8-bit.
#pragma once

#include <windows.h>

#include <string>

namespace platform::win32 {

// UTF-8 to UTF-16; invalid sequences become U+FFFD.
std::wstring Widen(const std::string& utf8);
std::wstring Widen(const char* utf8);
// UTF-16 to UTF-8.
std::string Narrow(const std::wstring& utf16);
std::string Narrow(const wchar_t* utf16, int length = -1);
// The ANSI code page (CP_ACP) to UTF-8 and back; characters the code page lacks become '?'.
std::string AnsiToUtf8(const std::string& ansi);
std::string Utf8ToAnsi(const std::string& utf8);

}  // namespace platform::win32

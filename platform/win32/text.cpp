#include "platform/win32/text.h"

namespace platform::win32 {
namespace {

std::wstring ToWide(UINT codePage, const char* s, int n) {
  if (n <= 0) return {};
  int len = MultiByteToWideChar(codePage, 0, s, n, nullptr, 0);
  if (len <= 0) return {};
  std::wstring w(static_cast<std::size_t>(len), L'\0');
  MultiByteToWideChar(codePage, 0, s, n, w.data(), len);
  return w;
}

std::string FromWide(UINT codePage, const wchar_t* w, int n) {
  if (n <= 0) return {};
  int len = WideCharToMultiByte(codePage, 0, w, n, nullptr, 0, nullptr, nullptr);
  if (len <= 0) return {};
  std::string s(static_cast<std::size_t>(len), '\0');
  WideCharToMultiByte(codePage, 0, w, n, s.data(), len, nullptr, nullptr);
  return s;
}

}  // namespace

std::wstring Widen(const std::string& utf8) { return ToWide(CP_UTF8, utf8.data(), static_cast<int>(utf8.size())); }
std::wstring Widen(const char* utf8) { return utf8 ? Widen(std::string(utf8)) : std::wstring(); }

std::string Narrow(const std::wstring& utf16) {
  return FromWide(CP_UTF8, utf16.data(), static_cast<int>(utf16.size()));
}
std::string Narrow(const wchar_t* utf16, int length) {
  if (!utf16) return {};
  if (length < 0) length = static_cast<int>(wcslen(utf16));
  return FromWide(CP_UTF8, utf16, length);
}

std::string AnsiToUtf8(const std::string& ansi) {
  std::wstring w = ToWide(CP_ACP, ansi.data(), static_cast<int>(ansi.size()));
  return Narrow(w);
}

std::string Utf8ToAnsi(const std::string& utf8) {
  std::wstring w = Widen(utf8);
  return FromWide(CP_ACP, w.data(), static_cast<int>(w.size()));
}

}  // namespace platform::win32

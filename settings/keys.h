// The settings file "ip.bak": its place, its one section "ip" and its keys "language",
// "last" and "rar". Every operation takes the file's path; no error is ever reported (an
// unreadable file reads as absent, a write that fails is lost).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace settings {

inline constexpr const char* kSection = "ip";
inline constexpr const char* kKeyLanguage = "language";
inline constexpr const char* kKeyLastAdapter = "last";
inline constexpr const char* kKeyArchiveTool = "rar";
inline constexpr const char* kFileName = "ip.bak";
inline constexpr const char kFirstLine[] = "[ip]\r\n";

// The current directory, the platform's separator and "ip.bak", zero-terminated in buf
// (zero-filled first). When the whole path does not fit in size - 1 characters, buf stays
// empty and the answer is false: the run then has no settings file, as with a folder that
// cannot be written.
bool MakeSettingsPath(char* buf, std::size_t size);

// Creates the file with exactly "[ip]\r\n" when no file or folder of that name exists.
void EnsureSettingsFile(const char* path);

// "language" as an integer, 0 when the file or the key is absent; no range check.
std::int32_t ReadLanguage(const char* path);
// Writes "0" or "1"; any other value writes nothing (the file is still created).
void WriteLanguage(const char* path, std::int32_t nLanguage);

// "last", at most 255 characters; empty when the file or the key is absent.
std::string ReadLastAdapter(const char* path);
void WriteLastAdapter(const char* path, const std::string& strEntry);

void WriteArchiveToolPath(const char* path, const std::string& strPath);

}  // namespace settings

// Private-profile files (GetPrivateProfileIntA, GetPrivateProfileStringA,
// WritePrivateProfileStringA): "[section]" lines and "key=value" lines.
//
// On Windows these are the system's own. Elsewhere ours keep the same rules over the same
// format: section and key names compared without regard to ASCII case; blanks around names
// and values ignored; a value in double quotes at both ends loses them; lines starting with
// ';' are comments; the first of duplicate sections and of duplicate keys wins; an absent
// file, section or key gives the default. A write replaces the key's line, or adds a line
// after the section's last key, or adds the section at the end of the file, with CR LF, and
// leaves every other byte of the file as it was; it goes to a temporary file renamed over the
// old one, so the file is never seen half written.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// The value as read, cut to size - 1 characters and zero-terminated in buf; answers the
// number of characters copied. `def` (nullptr: empty) when the key is absent.
std::uint32_t GetPrivateProfileString(const char* section, const char* key, const char* def, char* buf,
                                      std::uint32_t size, const char* path);

// The value read as an integer: blanks, an optional sign, then the leading decimal digits
// (none: 0), wrapped to 32 bits as Windows does; `def` when the key is absent or empty.
std::uint32_t GetPrivateProfileInt(const char* section, const char* key, int def, const char* path);

// Stores key=value in the section; false when the file could not be written.
bool WritePrivateProfileString(const char* section, const char* key, const char* value, const char* path);

// True where the three functions above are the system's own (Windows): how they treat lines
// written by hand (blanks, letter case of a replaced key) is then the system's, not the rules
// below. False where they are ours.
bool ProfileFunctionsAreTheSystems();

// The rules themselves, over a file's bytes (used by the file functions above; tested on
// their own).
namespace profile {
// True with the value (blanks and quotes removed, not cut) when section holds key.
bool FindValue(const std::string& content, const std::string& section, const std::string& key,
               std::string& value);
// The file's bytes after storing key=value in section.
std::string StoreValue(const std::string& content, const std::string& section, const std::string& key,
                       const std::string& value);
// GetPrivateProfileInt's reading of a value text.
std::uint32_t ParseInt(const std::string& value);
}  // namespace profile

}  // namespace platform

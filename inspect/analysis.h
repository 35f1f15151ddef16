// The file analysis that runs when an upgrade file has been chosen: kind by extension, size
// limits, structure, and the text of the version line. Plain functions; the main dialog's
// members of the same names wrap them with g_nLanguage and its own message box.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace inspect {

// Size limits, inclusive, in bytes.
inline constexpr std::uint64_t kTrxMinSize = 0x100000;   // 1 MiB
inline constexpr std::uint64_t kTrxMaxSize = 0xA00000;   // 10 MiB
inline constexpr std::uint64_t kBinMinSize = 0x10000;    // 64 KiB
inline constexpr std::uint64_t kBinMaxSize = 0x9600000;  // 150 MiB

// The "trx" layout: model tag field and version field.
inline constexpr long kTrxTagOffset = 28;
inline constexpr std::size_t kTrxTagFieldSize = 16;
inline constexpr char kTrxModelTag[] = "Q770";
inline constexpr long kTrxVersionOffset = 76;
inline constexpr std::size_t kTrxVersionFieldSize = 32;

inline constexpr std::size_t kVersionBufferSize = 256;  // CheckBinFile's version buffer

// What GetTrxVersion and GetBinVersion return instead of a version line.
inline constexpr char kVersionError[] = "Error";
inline constexpr char kVersionSize[] = "Size";

// Shows a message box (text, caption) and returns when it is closed. An empty function means
// platform::ShowUnownedMessageBox.
using MessageBoxFn = std::function<void(const char* text, const char* caption)>;

enum class EVersionOutcome {
  Version,    // the file passed; the text is the version line (prefix and version)
  SizeWrong,  // the size test failed
  Error,      // any other failure
};

struct SVersionResult {
  EVersionOutcome eOutcome = EVersionOutcome::Error;
  std::string strText;  // the version line on Version, else "Size" or "Error"
};

// `nLanguage` is g_nLanguage's value: 0 English, 1 Chinese. For another value the texts of
// the system are empty and no box is shown.
SVersionResult ReadTrxVersion(const char* pszPath, int nLanguage);
SVersionResult ReadBinVersion(const char* pszPath, int nLanguage, const MessageBoxFn& box = {});

// "Size", "Error" or the version line.
std::string GetTrxVersion(const char* pszPath, int nLanguage);
std::string GetBinVersion(const char* pszPath, int nLanguage, const MessageBoxFn& box = {});

// 1 and the version in `strVersion` for an upgrade package or an image unit file (tried in
// that order); otherwise 0, after the "file is invalid" box.
int CheckBinFile(const char* pszPath, std::string& strVersion, int nLanguage, const MessageBoxFn& box = {});

// The whole analysis of a chosen file, without the dialog's controls.
struct SFileAnalysis {
  int nFileKind = 0;         // from the file-kind table
  int nFilePolicy = 3;       // g_nFilePolicy afterwards
  EVersionOutcome eOutcome = EVersionOutcome::Error;
  std::string strVersionLine;  // what the version line shows: version, size or failure text
  bool Accepted() const { return eOutcome == EVersionOutcome::Version; }
};

SFileAnalysis AnalyseFile(const char* pszPath, const std::string& strFileExt, int nLanguage,
                          const MessageBoxFn& box = {});

}  // namespace inspect

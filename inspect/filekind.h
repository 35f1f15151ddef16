// The file-kind table: how a chosen file's extension decides its reading. Shared by the main
// dialog (its m_mapFileKind is made from it) and the command line.
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace inspect {

inline constexpr int kFileKindNone = 0;  // no reading: the analysis fails at once
inline constexpr int kFileKindTrx = 1;   // a firmware image with a model tag
inline constexpr int kFileKindBin = 2;   // an upgrade package or an image unit file

// Upgrade policies that a file fits after its analysis; kind and policy run crosswise.
inline constexpr int kPolicyBin = 1;   // the upgrade policy of the whole run
inline constexpr int kPolicyTrx = 2;
inline constexpr int kPolicyNone = 3;  // no kind known (also during an analysis)

struct SFileKindRow {
  const char* pszExtension;  // compared byte for byte, case-sensitively
  int nFileKind;
};

// The rows in the order they are inserted.
inline constexpr SFileKindRow kFileKindRows[] = {
    {"trx", kFileKindTrx},
    {"bin", kFileKindBin},
    {"BIN", kFileKindBin},
};

// The dialog's m_mapFileKind, filled from the rows.
std::map<std::string, int> MakeFileKindMap();

// The kind of an extension (without its dot): 0 for one that is not in the table.
int FileKindOf(const std::map<std::string, int>& mapFileKind, const std::string& strExtension);
int FileKindOf(const std::string& strExtension);

// The policy a file of this kind fits after its analysis.
int FilePolicyOfKind(int nFileKind);

// The extension as the file dialog gives it: the text after the last dot of the file name
// (the part after the last '/' or '\\'), without the dot; empty when the name has no dot.
std::string FileExtensionOf(std::string_view path);

}  // namespace inspect

#include "inspect/analysis.h"

#include <cstdio>
#include <cstring>

#include "inspect/fileio.h"
#include "inspect/filekind.h"
#include "inspect/image.h"
#include "inspect/package.h"
#include "platform/msgbox.h"
#include "res/texts.h"

namespace inspect {
namespace {

std::string Text(texts::VersionText t, int nLanguage) {
  const char* text = texts::VersionLineText(t, nLanguage);
  return text ? std::string(text) : std::string();
}

SVersionResult Fail(EVersionOutcome outcome) {
  return {outcome, outcome == EVersionOutcome::SizeWrong ? kVersionSize : kVersionError};
}

// The size test of a kind. A length that cannot be told (beyond what the C library's long
// holds) is out of limits; so is any length of 4 GiB or more, which a 32-bit size would
// have shown as a small number.
bool SizeWithin(std::FILE* file, std::uint64_t qwMin, std::uint64_t qwMax) {
  std::uint64_t qwLength = 0;
  if (!MeasureFile(file, qwLength)) return false;
  return qwLength >= qwMin && qwLength <= qwMax;
}

}  // namespace

SVersionResult ReadTrxVersion(const char* pszPath, int nLanguage) {
  const std::string strPrefix = Text(texts::VersionText::Prefix, nLanguage);
  std::FILE* file = OpenForReading(pszPath);
  if (file == nullptr) return Fail(EVersionOutcome::Error);
  if (!SizeWithin(file, kTrxMinSize, kTrxMaxSize)) {
    std::fclose(file);
    return Fail(EVersionOutcome::SizeWrong);
  }
  char buffer[32];
  std::memset(buffer, 0, sizeof buffer);
  std::fseek(file, kTrxTagOffset, SEEK_SET);
  (void)std::fread(buffer, 1, kTrxTagFieldSize, file);
  if (std::memcmp(buffer, kTrxModelTag, 4) != 0) {
    std::fclose(file);
    return Fail(EVersionOutcome::Error);
  }
  std::memset(buffer, 0, sizeof buffer);
  std::fseek(file, kTrxVersionOffset, SEEK_SET);
  (void)std::fread(buffer, 1, kTrxVersionFieldSize, file);
  std::fclose(file);
  // A version field without a NUL gives its 32 bytes and no more.
  std::size_t len = 0;
  while (len < kTrxVersionFieldSize && buffer[len] != '\0') ++len;
  return {EVersionOutcome::Version, strPrefix + std::string(buffer, len)};
}

int CheckBinFile(const char* pszPath, std::string& strVersion, int nLanguage, const MessageBoxFn& box) {
  char szVersion[kVersionBufferSize];
  std::memset(szVersion, 0, sizeof szVersion);
  std::FILE* file = OpenForReading(pszPath);
  if (file == nullptr) return 0;
  std::fclose(file);

  if (VerifyUpgradeFile(pszPath, szVersion, sizeof szVersion) == 1 ||
      ParseImageFile(pszPath, szVersion, sizeof szVersion) == 1) {
    szVersion[sizeof szVersion - 1] = '\0';
    strVersion = szVersion;
    return 1;
  }

  const char* text = texts::VersionLineText(texts::VersionText::FileInvalid, nLanguage);
  const char* caption = texts::CaptionText(texts::Caption::Error, nLanguage);
  if (text != nullptr && caption != nullptr) {
    std::fflush(stdout);  // the trace so far comes before the box
    if (box) {
      box(text, caption);
    } else {
      platform::ShowUnownedMessageBox(text, caption);
    }
  }
  return 0;
}

SVersionResult ReadBinVersion(const char* pszPath, int nLanguage, const MessageBoxFn& box) {
  const std::string strPrefix = Text(texts::VersionText::Prefix, nLanguage);
  std::FILE* file = OpenForReading(pszPath);
  if (file == nullptr) return Fail(EVersionOutcome::Error);
  const bool bSizeOk = SizeWithin(file, kBinMinSize, kBinMaxSize);
  std::fclose(file);
  if (!bSizeOk) return Fail(EVersionOutcome::SizeWrong);
  std::string strVersion;
  if (CheckBinFile(pszPath, strVersion, nLanguage, box) != 1) return Fail(EVersionOutcome::Error);
  return {EVersionOutcome::Version, strPrefix + strVersion};
}

std::string GetTrxVersion(const char* pszPath, int nLanguage) {
  return ReadTrxVersion(pszPath, nLanguage).strText;
}

std::string GetBinVersion(const char* pszPath, int nLanguage, const MessageBoxFn& box) {
  return ReadBinVersion(pszPath, nLanguage, box).strText;
}

SFileAnalysis AnalyseFile(const char* pszPath, const std::string& strFileExt, int nLanguage,
                          const MessageBoxFn& box) {
  SFileAnalysis result;
  result.nFileKind = FileKindOf(strFileExt);
  SVersionResult version;
  switch (result.nFileKind) {
    case kFileKindTrx: version = ReadTrxVersion(pszPath, nLanguage); break;
    case kFileKindBin: version = ReadBinVersion(pszPath, nLanguage, box); break;
    default: break;  // no kind: the failure text at once
  }
  result.nFilePolicy = FilePolicyOfKind(result.nFileKind);
  result.eOutcome = version.eOutcome;
  switch (version.eOutcome) {
    case EVersionOutcome::Version: result.strVersionLine = version.strText; break;
    case EVersionOutcome::SizeWrong: result.strVersionLine = Text(texts::VersionText::SizeWrong, nLanguage); break;
    case EVersionOutcome::Error: result.strVersionLine = Text(texts::VersionText::Failure, nLanguage); break;
  }
  return result;
}

}  // namespace inspect

#include "inspect/filekind.h"

namespace inspect {

std::map<std::string, int> MakeFileKindMap() {
  std::map<std::string, int> map;
  for (const SFileKindRow& row : kFileKindRows) map.emplace(row.pszExtension, row.nFileKind);
  return map;
}

int FileKindOf(const std::map<std::string, int>& mapFileKind, const std::string& strExtension) {
  const auto it = mapFileKind.find(strExtension);
  return it == mapFileKind.end() ? kFileKindNone : it->second;
}

int FileKindOf(const std::string& strExtension) {
  static const std::map<std::string, int> map = MakeFileKindMap();
  return FileKindOf(map, strExtension);
}

int FilePolicyOfKind(int nFileKind) {
  switch (nFileKind) {
    case kFileKindTrx: return kPolicyTrx;
    case kFileKindBin: return kPolicyBin;
    default: return kPolicyNone;
  }
}

std::string FileExtensionOf(std::string_view path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot == std::string_view::npos) return {};
  return std::string(name.substr(dot + 1));
}

}  // namespace inspect

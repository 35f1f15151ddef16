// Fuzz target: the whole file analysis. The first input byte picks the extension and whether
// the file is padded to the smallest size its kind accepts; the rest is the file.
#include <cstdint>
#include <cstdlib>

#include "inspect/analysis.h"
#include "inspect/filekind.h"
#include "tests/fuzz/fuzz_support.h"
#include "tools/mkfile/builder.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  fuzz::Prepare();
  const std::uint8_t selector = data[0];
  const std::string ext = mkfile::kAnalysisExtensions[selector & 7];
  const int kind = inspect::FileKindOf(ext);
  std::uint64_t pad = 0;
  if (selector & mkfile::kAnalysisPadFlag) {
    pad = kind == inspect::kFileKindTrx ? inspect::kTrxMinSize : inspect::kBinMinSize;
  }
  const std::string& path = fuzz::WriteInput(data + 1, size - 1, ext, pad);
  const int language = (selector >> 4) & 3;  // 2 and 3: no texts
  int boxes = 0;
  const inspect::SFileAnalysis result =
      inspect::AnalyseFile(path.c_str(), inspect::FileExtensionOf(path), language,
                           [&boxes](const char* text, const char* caption) {
                             if (text == nullptr || caption == nullptr) std::abort();
                             ++boxes;
                           });
  if (result.nFileKind != kind || result.nFilePolicy != inspect::FilePolicyOfKind(kind)) std::abort();
  // Only a refused "bin" file of the right size shows the box, once, and only in a language.
  if (boxes > 1 || (boxes == 1 && (kind != inspect::kFileKindBin || result.Accepted() || language > 1))) std::abort();
  if (result.strVersionLine.size() > 256 + 16) std::abort();
  fuzz::CheckBlocksFreed();
  return 0;
}

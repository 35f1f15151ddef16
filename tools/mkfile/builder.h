// The fixture builder: upgrade packages, image unit files and "trx" firmware images made
// from a description, with switches that spoil each CRC, name or length on purpose.
//
// A built file is a sparse picture: byte runs and fills (a length of one byte value) at
// offsets over a zero background of a given size, so that a file of gigabytes costs no more
// memory than its headers. It is written in blocks, the background left as holes, to a
// temporary file renamed over the target once whole (tools/common/outfile.h).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace mkfile {

using Bytes = std::vector<std::uint8_t>;

class CFileImage {
 public:
  // Writes `bytes` at `offset`; the size grows to cover them.
  void Put(std::uint64_t offset, const Bytes& bytes);
  // Writes `count` bytes of `value` at `offset` without holding them.
  void Fill(std::uint64_t offset, std::uint64_t count, std::uint8_t value);
  void PutLE32(std::uint64_t offset, std::uint32_t value);
  // Sets the size: larger pads with zeros, smaller cuts.
  void Resize(std::uint64_t size);
  std::uint64_t Size() const { return m_qwSize; }
  // The whole file in memory (for small files).
  Bytes Flatten() const;
  // Creates or replaces the file whole, or leaves it as it was (*error says why).
  bool WriteTo(const std::string& path, std::string* error = nullptr) const;

 private:
  struct SFill {
    std::uint64_t qwCount;
    std::uint8_t byValue;
  };
  // Removes [from, to) from the runs and the fills, so a later write takes its place.
  void Cut(std::uint64_t from, std::uint64_t to);

  std::map<std::uint64_t, Bytes> m_mapRuns;   // non-overlapping runs
  std::map<std::uint64_t, SFill> m_mapFills;  // non-overlapping fills, below the runs
  std::uint64_t m_qwSize = 0;
};

// --- upgrade packages ---------------------------------------------------------------

struct SFormatPlan {
  std::uint32_t dwType = 1;
  bool bBadCrc = false;
};

struct SUnitPlan {
  std::string strName = "BOOT";     // written at the start of the 56-byte name area
  Bytes info = Bytes(16, 0x5A);     // the info data
  std::vector<SFormatPlan> formats = {SFormatPlan{}};
  std::optional<std::uint32_t> dwFormatCount;     // stated count; default formats.size()
  std::optional<std::uint32_t> dwInfoLen;         // stated length; default info.size()
  std::optional<std::uint32_t> dwNextUnitOffset;  // stated; default: the end of this unit's payload
  std::uint32_t dwPayloadLen = 64;                // zero bytes after the info data
  bool bBadUnitCrc = false;
  bool bBadFormatHeaderCrc = false;
  bool bBadInfoHeaderCrc = false;
  bool bBadInfoCrc = false;                       // the info header stays right
};

struct SPackagePlan {
  std::string strName = "UPGPKG 1.0";   // up to 16 bytes
  std::string strVersion = "1.0.0";     // up to 40 bytes; 40 leaves no NUL
  std::optional<std::uint32_t> dwFirstUnitOffset;  // default 64, right after the header
  bool bBadHeaderCrc = false;
  std::vector<SUnitPlan> units;         // in file order, each at the end of the one before
  std::uint64_t qwSize = 0;             // pad with zeros to at least this size
  std::optional<std::uint64_t> qwTruncate;  // then cut to this size (never grows the file)
};

CFileImage BuildPackage(const SPackagePlan& plan);

// --- image unit files ----------------------------------------------------------------

struct SImageUnitPlan {
  std::uint32_t dwMagic = 0xA55AAA55u;
  std::uint32_t dwHeadLen = 98;
  std::uint32_t dwDataLen = 0;
  std::string strInfo = "APP:Q770:1.0.0";  // up to 32 bytes; 32 leaves no NUL
  std::uint8_t byFill = 0;                 // data and fill bytes
};

struct SImagePlan {
  std::vector<SImageUnitPlan> units;   // each at the rounded end of the one before
  std::uint64_t qwTrailing = 0;        // bytes after the last unit
  std::uint8_t byTrailing = 0;
  std::uint64_t qwSize = 0;            // pad with zeros to at least this size
};

CFileImage BuildImage(const SImagePlan& plan);

// Offset of unit `index`'s header in a file built from `plan` (the chain's end for
// index == units.size()).
std::uint64_t ImageUnitOffset(const SImagePlan& plan, std::size_t index);

// --- trx firmware images -------------------------------------------------------------

struct STrxPlan {
  std::uint64_t qwSize = 0x100000;
  std::string strTag = "Q770";      // up to 16 bytes at offset 28
  std::string strVersion = "1.2.3"; // up to 32 bytes at offset 76; 32 leaves no NUL
};

CFileImage BuildTrx(const STrxPlan& plan);

// --- seed corpora ----
// An input of the whole-analysis fuzz target: one selector byte, then the file's bytes. The
// selector's low three bits pick the extension; kAnalysisPadFlag pads the file with zeros
// to the smallest size its kind accepts.
inline constexpr const char* kAnalysisExtensions[8] = {"bin", "BIN", "trx", "TRX", "Bin", "", "exe", "bin"};
inline constexpr std::uint8_t kAnalysisPadFlag = 0x08;

// --------------------------------------------------------------------

// Named small inputs for the fuzz targets: "package", "image" or "analysis" (whose first
// byte chooses the extension, see tests/fuzz). Empty for another target name.
std::vector<std::pair<std::string, Bytes>> SeedCorpus(const std::string& target);

}  // namespace mkfile

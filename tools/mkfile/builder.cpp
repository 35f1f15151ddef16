#include "tools/mkfile/builder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "tools/common/outfile.h"
#include "transmit/crc32.h"

namespace mkfile {
namespace {

void StoreLE32(Bytes& b, std::size_t off, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) b[off + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// The text's bytes in a field of `width`, cut to the field.
void StoreText(Bytes& b, std::size_t off, std::size_t width, const std::string& text) {
  const std::size_t n = std::min(width, text.size());
  if (n > 0) std::memcpy(b.data() + off, text.data(), n);
}

// A recognisable pattern in the bytes that the verifier does not interpret, so that the
// CRCs cover more than zeros.
void Pattern(Bytes& b, std::size_t off, std::size_t len, std::uint8_t seed) {
  for (std::size_t i = 0; i < len; ++i) b[off + i] = static_cast<std::uint8_t>(seed + i * 7);
}

std::uint32_t Crc(const Bytes& b) { return Crc32Update(0, b.data(), static_cast<std::uint32_t>(b.size())); }

// Stores the CRC of the record (its CRC field zero while computed) at crcOff; spoilt: off by one.
void SealRecord(Bytes& b, std::size_t crcOff, bool spoil) {
  StoreLE32(b, crcOff, 0);
  std::uint32_t crc = Crc(b);
  if (spoil) crc ^= 1u;
  StoreLE32(b, crcOff, crc);
}

}  // namespace

void CFileImage::Put(std::uint64_t offset, const Bytes& bytes) {
  if (bytes.empty()) {
    m_qwSize = std::max(m_qwSize, offset);
    return;
  }
  std::uint64_t start = offset;
  std::uint64_t end = offset + bytes.size();
  // Gather the runs that overlap or touch [offset, end) into one.
  auto first = m_mapRuns.upper_bound(offset);
  if (first != m_mapRuns.begin()) {
    auto prev = std::prev(first);
    if (prev->first + prev->second.size() >= offset) first = prev;
  }
  auto last = first;
  while (last != m_mapRuns.end() && last->first <= end) {
    start = std::min(start, last->first);
    end = std::max(end, last->first + last->second.size());
    ++last;
  }
  Bytes merged(static_cast<std::size_t>(end - start), 0);
  for (auto it = first; it != last; ++it) {
    std::copy(it->second.begin(), it->second.end(), merged.begin() + static_cast<std::ptrdiff_t>(it->first - start));
  }
  std::copy(bytes.begin(), bytes.end(), merged.begin() + static_cast<std::ptrdiff_t>(offset - start));
  m_mapRuns.erase(first, last);
  m_mapRuns.emplace(start, std::move(merged));
  m_qwSize = std::max(m_qwSize, end);
}

void CFileImage::PutLE32(std::uint64_t offset, std::uint32_t value) {
  Bytes b(4);
  StoreLE32(b, 0, value);
  Put(offset, b);
}

void CFileImage::Cut(std::uint64_t from, std::uint64_t to) {
  if (from >= to) return;
  // Runs: keep the parts before `from` and after `to`.
  for (auto it = m_mapRuns.begin(); it != m_mapRuns.end();) {
    const std::uint64_t start = it->first, end = start + it->second.size();
    if (end <= from || start >= to) {
      ++it;
      continue;
    }
    Bytes run = std::move(it->second);
    it = m_mapRuns.erase(it);
    if (end > to) m_mapRuns.emplace(to, Bytes(run.begin() + static_cast<std::ptrdiff_t>(to - start), run.end()));
    if (start < from) {
      run.resize(static_cast<std::size_t>(from - start));
      m_mapRuns.emplace(start, std::move(run));
    }
  }
  for (auto it = m_mapFills.begin(); it != m_mapFills.end();) {
    const std::uint64_t start = it->first, end = start + it->second.qwCount;
    if (end <= from || start >= to) {
      ++it;
      continue;
    }
    const SFill fill = it->second;
    it = m_mapFills.erase(it);
    if (end > to) m_mapFills.emplace(to, SFill{end - to, fill.byValue});
    if (start < from) m_mapFills.emplace(start, SFill{from - start, fill.byValue});
  }
}

void CFileImage::Fill(std::uint64_t offset, std::uint64_t count, std::uint8_t value) {
  m_qwSize = std::max(m_qwSize, offset + count);
  if (count == 0) return;
  Cut(offset, offset + count);
  m_mapFills.emplace(offset, SFill{count, value});
}

void CFileImage::Resize(std::uint64_t size) {
  if (size < m_qwSize) Cut(size, m_qwSize);
  m_qwSize = size;
}

Bytes CFileImage::Flatten() const {
  Bytes all(static_cast<std::size_t>(m_qwSize), 0);
  for (const auto& [off, fill] : m_mapFills) {
    std::fill_n(all.begin() + static_cast<std::ptrdiff_t>(off), static_cast<std::ptrdiff_t>(fill.qwCount), fill.byValue);
  }
  for (const auto& [off, run] : m_mapRuns) {
    std::copy(run.begin(), run.end(), all.begin() + static_cast<std::ptrdiff_t>(off));
  }
  return all;
}

bool CFileImage::WriteTo(const std::string& path, std::string* error) const {
  tools::COutputFile out;
  if (!out.Open(path, error)) return false;
  // The fills first, then the runs over them; the zero background stays a hole.
  for (const auto& [off, fill] : m_mapFills)
    if (out.Seek(off)) out.Fill(fill.qwCount, fill.byValue);
  for (const auto& [off, run] : m_mapRuns)
    if (out.Seek(off)) out.Write(run.data(), run.size());
  return out.Commit(m_qwSize, error);
}

CFileImage BuildPackage(const SPackagePlan& plan) {
  CFileImage image;
  const std::uint32_t firstUnit = plan.dwFirstUnitOffset.value_or(64);

  Bytes header(64, 0);
  StoreText(header, 0, 16, plan.strName);
  StoreText(header, 16, 40, plan.strVersion);
  StoreLE32(header, 56, firstUnit);
  SealRecord(header, 60, plan.bBadHeaderCrc);
  image.Put(0, header);

  std::uint64_t at = firstUnit;
  for (const SUnitPlan& unit : plan.units) {
    const std::size_t count = unit.formats.size();
    const std::uint64_t size = 64 + 20 + 24 * count + 52 + unit.info.size() + unit.dwPayloadLen;
    const std::uint32_t next = unit.dwNextUnitOffset.value_or(static_cast<std::uint32_t>(at + size));

    Bytes unitHeader(64, 0);
    StoreText(unitHeader, 0, 56, unit.strName);
    StoreLE32(unitHeader, 56, next);
    SealRecord(unitHeader, 60, unit.bBadUnitCrc);

    Bytes formatHeader(20, 0);
    Pattern(formatHeader, 0, 12, 0x11);
    StoreLE32(formatHeader, 16, unit.dwFormatCount.value_or(static_cast<std::uint32_t>(count)));
    SealRecord(formatHeader, 12, unit.bBadFormatHeaderCrc);

    Bytes body = unitHeader;
    body.insert(body.end(), formatHeader.begin(), formatHeader.end());
    for (std::size_t i = 0; i < count; ++i) {
      Bytes entry(24, 0);
      StoreLE32(entry, 0, unit.formats[i].dwType);
      Pattern(entry, 4, 16, static_cast<std::uint8_t>(0x20 + i));
      SealRecord(entry, 20, unit.formats[i].bBadCrc);
      body.insert(body.end(), entry.begin(), entry.end());
    }

    Bytes infoHeader(52, 0);
    Pattern(infoHeader, 0, 12, 0x31);
    Pattern(infoHeader, 16, 4, 0x41);
    StoreLE32(infoHeader, 20, unit.dwInfoLen.value_or(static_cast<std::uint32_t>(unit.info.size())));
    StoreLE32(infoHeader, 24, Crc(unit.info) ^ (unit.bBadInfoCrc ? 1u : 0u));
    Pattern(infoHeader, 28, 24, 0x51);
    SealRecord(infoHeader, 12, unit.bBadInfoHeaderCrc);
    body.insert(body.end(), infoHeader.begin(), infoHeader.end());
    body.insert(body.end(), unit.info.begin(), unit.info.end());

    image.Put(at, body);
    image.Put(at + body.size() + unit.dwPayloadLen, {});  // the payload: zeros
    at += size;  // the next unit lies at this unit's end, whatever its header states
  }
  image.Resize(std::max(image.Size(), plan.qwSize));
  if (plan.qwTruncate && *plan.qwTruncate < image.Size()) image.Resize(*plan.qwTruncate);  // only cuts
  return image;
}

std::uint64_t ImageUnitOffset(const SImagePlan& plan, std::size_t index) {
  std::uint32_t at = 92;
  for (std::size_t i = 0; i < index && i < plan.units.size(); ++i) {
    std::uint32_t step = plan.units[i].dwHeadLen + plan.units[i].dwDataLen;
    step = (step + 3u) & ~3u;
    at += step;
  }
  return at;
}

CFileImage BuildImage(const SImagePlan& plan) {
  CFileImage image;
  Bytes lead(92, 0);
  Pattern(lead, 0, lead.size(), 0x4C);
  image.Put(0, lead);
  for (std::size_t i = 0; i < plan.units.size(); ++i) {
    const SImageUnitPlan& unit = plan.units[i];
    const std::uint64_t at = ImageUnitOffset(plan, i);
    const std::uint64_t end = ImageUnitOffset(plan, i + 1);
    if (unit.byFill != 0 && end > at + 98) image.Fill(at + 98, end - at - 98, unit.byFill);
    Bytes header(98, 0);
    StoreLE32(header, 0, unit.dwMagic);
    StoreLE32(header, 4, unit.dwHeadLen);
    Pattern(header, 8, 16, 0x61);
    StoreLE32(header, 24, unit.dwDataLen);
    Pattern(header, 28, 32, 0x71);
    StoreText(header, 60, 32, unit.strInfo);
    Pattern(header, 92, 6, 0x81);
    image.Put(at, header);
    image.Put(std::max(end, at + 98), {});
  }
  // The chain's end: the rounded end of the last unit, not the end of its 98-byte header.
  const std::uint64_t chainEnd = ImageUnitOffset(plan, plan.units.size());
  image.Resize(std::max(image.Size(), chainEnd));
  if (plan.qwTrailing > 0) image.Fill(chainEnd, plan.qwTrailing, plan.byTrailing);
  image.Resize(std::max(image.Size(), plan.qwSize));
  return image;
}

CFileImage BuildTrx(const STrxPlan& plan) {
  CFileImage image;
  Bytes tag(std::min<std::size_t>(plan.strTag.size(), 16), 0);
  StoreText(tag, 0, tag.size(), plan.strTag);
  image.Put(28, tag);
  Bytes version(std::min<std::size_t>(plan.strVersion.size(), 32), 0);
  StoreText(version, 0, version.size(), plan.strVersion);
  image.Put(76, version);
  image.Resize(plan.qwSize);
  return image;
}

}  // namespace mkfile

#include "tools/devsim/summary.h"

#include <cstdarg>
#include <cstdio>

namespace {

void Add(std::string& s, const char* format, ...) {
  va_list args, again;
  va_start(args, format);
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (n > 0) {
    const std::size_t at = s.size();
    s.resize(at + static_cast<std::size_t>(n) + 1);
    std::vsnprintf(s.data() + at, static_cast<std::size_t>(n) + 1, format, again);
    s.resize(at + static_cast<std::size_t>(n));
  }
  va_end(again);
}

unsigned long long U(std::uint64_t v) { return static_cast<unsigned long long>(v); }

const char* Verdict(const DeviceReceiver& r) {
  return r.FileCrcMatches() ? "file complete, CRC right" : r.Complete() ? "file complete, CRC WRONG" : "file incomplete";
}

// A JSON string: quotes, backslashes and control characters escaped; other bytes as they are.
std::string Json(const std::string& text) {
  std::string s = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      s += '\\';
      s += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
      Add(s, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
    } else {
      s += c;
    }
  }
  return s + "\"";
}

std::uint64_t Inconsistent(const ReceiverStats& s) { return s.badStream + s.badNumber + s.badDataLength; }

}  // namespace

std::string SummaryText(const std::string& name, const std::string& out, const DeviceReceiver& r,
                        const SDeviceReport& report) {
  const ReceiverStats& s = r.Stats();
  std::string t;
  Add(t, "%s: %s%s\n", name.c_str(), Verdict(r), report.interrupted ? " (interrupted)" : "");
  Add(t, "  datagrams checked   %llu\n", U(s.datagrams));
  Add(t, "  wrong size          %llu\n", U(s.wrongSize));
  Add(t, "  CRC failures        %llu\n", U(s.crcFailures));
  Add(t, "  bad magic           %llu\n", U(s.badMagic));
  Add(t, "  inconsistent        %llu (stream %llu, number %llu, data length %llu)\n", U(Inconsistent(s)),
      U(s.badStream), U(s.badNumber), U(s.badDataLength));
  Add(t, "  other stream        %llu\n", U(s.otherStream));
  Add(t, "  duplicates          %llu\n", U(s.duplicates));
  Add(t, "  other interface     %llu (not counted above)\n", U(report.otherInterface));
  if (report.dropped > 0) Add(t, "  dropped on purpose  %llu\n", U(report.dropped));
  Add(t, "  switches            %u\n", s.switches);
  Add(t, "  passes seen         %u\n", r.PassesSeen());
  std::string lost;
  for (const SPassRecord& p : r.Passes()) Add(lost, " %u", p.lost);
  if (r.PassesSeen() > r.Passes().size()) lost += " ...";
  Add(t, "  lost per pass      %s\n", lost.empty() ? " -" : lost.c_str());
  if (report.completeSeconds >= 0) Add(t, "  time to file        %.3f s\n", report.completeSeconds);
  Add(t, "  chunks              %u of %u, %u missing\n", r.DatagramCount() - r.ChunksMissing(), r.DatagramCount(),
      r.ChunksMissing());
  Add(t, "  file length         %u\n", r.TotalLength());
  if (r.Complete())
    Add(t, "  file CRC            0x%08X announced, 0x%08X computed\n", r.AnnouncedFileCrc(), r.ComputedFileCrc());
  else
    Add(t, "  file CRC            0x%08X announced\n", r.AnnouncedFileCrc());
  Add(t, "  force flag          %u\n", r.ForceFlag());
  Add(t, "  policy              %u\n", r.Policy());
  Add(t, "  image type          %u\n", r.ImageType());
  Add(t, "  streams seen        %zu\n", r.Streams().size() + static_cast<std::size_t>(r.StreamsNotRecorded() > 0));
  for (const SStreamRecord& st : r.Streams())
    Add(t, "    %u bytes, %u datagrams, file CRC 0x%08X: %llu valid datagram(s)%s\n", st.id.dwTotalLen, st.id.dwCount,
        st.id.dwFileCrc, U(st.valid), st.taken ? ", taken" : "");
  if (r.StreamsNotRecorded() > 0) Add(t, "    more streams: %llu valid datagram(s)\n", U(r.StreamsNotRecorded()));
  if (report.written) Add(t, "  written to          %s\n", out.c_str());
  return t;
}

std::string SummaryJson(const std::string& name, const std::string& out, const DeviceReceiver& r,
                        const SDeviceReport& report) {
  const ReceiverStats& s = r.Stats();
  std::string j = "{";
  Add(j, "\"name\":%s,\"verdict\":%s,", Json(name).c_str(), Json(Verdict(r)).c_str());
  Add(j, "\"complete\":%s,\"crc_right\":%s,\"interrupted\":%s,", r.Complete() ? "true" : "false",
      r.FileCrcMatches() ? "true" : "false", report.interrupted ? "true" : "false");
  Add(j, "\"datagrams\":%llu,\"wrong_size\":%llu,\"crc_failures\":%llu,\"bad_magic\":%llu,", U(s.datagrams),
      U(s.wrongSize), U(s.crcFailures), U(s.badMagic));
  Add(j, "\"bad_stream\":%llu,\"bad_number\":%llu,\"bad_data_length\":%llu,", U(s.badStream), U(s.badNumber),
      U(s.badDataLength));
  Add(j, "\"other_stream\":%llu,\"duplicates\":%llu,\"accepted\":%llu,\"switches\":%u,", U(s.otherStream),
      U(s.duplicates), U(s.accepted), s.switches);
  Add(j, "\"other_interface\":%llu,\"dropped\":%llu,", U(report.otherInterface), U(report.dropped));
  Add(j, "\"passes\":%u,\"lost_per_pass\":[", r.PassesSeen());
  for (std::size_t i = 0; i < r.Passes().size(); ++i) Add(j, "%s%u", i ? "," : "", r.Passes()[i].lost);
  j += "],";
  if (report.firstDatagramSeconds >= 0) Add(j, "\"first_datagram_s\":%.6f,", report.firstDatagramSeconds);
  else j += "\"first_datagram_s\":null,";
  if (report.completeSeconds >= 0) Add(j, "\"time_to_file_s\":%.6f,", report.completeSeconds);
  else j += "\"time_to_file_s\":null,";
  Add(j, "\"chunks\":%u,\"count\":%u,\"total_length\":%u,\"file_crc\":%u,", r.DatagramCount() - r.ChunksMissing(),
      r.DatagramCount(), r.TotalLength(), r.AnnouncedFileCrc());
  if (r.Complete()) Add(j, "\"computed_crc\":%u,", r.ComputedFileCrc());
  Add(j, "\"force_flag\":%u,\"policy\":%u,\"image_type\":%u,\"streams\":[", r.ForceFlag(), r.Policy(), r.ImageType());
  for (std::size_t i = 0; i < r.Streams().size(); ++i) {
    const SStreamRecord& st = r.Streams()[i];
    Add(j, "%s{\"total_length\":%u,\"count\":%u,\"file_crc\":%u,\"valid\":%llu,\"taken\":%s}", i ? "," : "",
        st.id.dwTotalLen, st.id.dwCount, st.id.dwFileCrc, U(st.valid), st.taken ? "true" : "false");
  }
  Add(j, "],\"streams_not_recorded\":%llu,\"written\":%s", U(r.StreamsNotRecorded()),
      report.written ? Json(out).c_str() : "null");
  return j + "}\n";
}

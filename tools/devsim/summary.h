// What upgrade-devsim prints at the end: the receiver's counts with what only the program
// knows (times, datagrams of other interfaces, losses made on purpose), as text or as one
// JSON object.
#pragma once

#include <cstdint>
#include <string>

#include "tools/devsim/receiver.h"

struct SDeviceReport {
  std::uint64_t otherInterface = 0;   // arrived on another interface or not to the group: ignored
  std::uint64_t dropped = 0;          // lost on purpose (--drop)
  double firstDatagramSeconds = -1;   // from the start of listening; -1: none heard
  double completeSeconds = -1;        // from the stream's first datagram to the complete file; -1: not complete
  bool written = false;               // the file was written to --out
  bool interrupted = false;           // SIGINT or SIGTERM ended the listening
};

std::string SummaryText(const std::string& name, const std::string& out, const DeviceReceiver& r,
                        const SDeviceReport& report);
std::string SummaryJson(const std::string& name, const std::string& out, const DeviceReceiver& r,
                        const SDeviceReport& report);

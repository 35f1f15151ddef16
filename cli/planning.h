// The pass planner's figures on the command line, as `plan` and `send --passes auto` take
// them (--loss, --devices, --confidence), and the plan as both show it.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include <CLI/CLI.hpp>

#include "cli/json.h"
#include "transmit/planner.h"

struct PlanFigures {
  std::string loss = "0.01";
  std::string confidence = "0.99";
  std::uint32_t devices = 1;
};

// Adds --loss, --devices and --confidence to `cmd`, checked as they are read; `loss`,
// `devices` and `confidence` are the options' handles (for a command that takes them only
// with another option).
struct PlanOptionHandles {
  CLI::Option* loss = nullptr;
  CLI::Option* devices = nullptr;
  CLI::Option* confidence = nullptr;
};
PlanOptionHandles AddPlanOptions(CLI::App* cmd, PlanFigures& figures);

// The plan for the figures (checked by their options) and a file of `chunks` datagrams.
struct PlanForFile {
  double loss = 0;
  double confidence = 0;
  std::uint32_t devices = 1;
  std::uint32_t bytes = 0;
  std::uint32_t chunks = 0;
  SPassPlan plan;
};
PlanForFile PlanFor(const PlanFigures& figures, std::uint32_t bytes, std::uint32_t chunks);

// The sender's planned pace, datagrams per second.
double PlannedRate();

// The plan as lines of text for reading, the file named `name` ("FILE: 300000 bytes, ...",
// "passes   6 (chance 99.93%)", "time     2 s for 6 passes ..."), each line begun with `prefix`.
void PrintPlan(std::FILE* to, const std::string& prefix, const std::string& name, const PlanForFile& p);
// The plan's members of a JSON object: file, bytes, chunks, loss, devices, confidence, passes,
// reachable, probability, seconds, datagrams_per_second, max_passes.
void AddPlanMembers(JsonObject& object, const std::string& name, const PlanForFile& p);

// A length of time for reading: "45 s", "2 min 05 s", "3 h 20 min" (rounded up).
std::string Duration(double seconds);

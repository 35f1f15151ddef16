// The subcommands of upgrade-cli. Each registers itself on the application; its callback
// stores the process's exit status in `status`.
#pragma once

#include <string>

#include <CLI/CLI.hpp>

void AddAdaptersCommand(CLI::App& app, int& status);
void AddSendCommand(CLI::App& app, int& status);
void AddInspectCommand(CLI::App& app, int& status);
void AddPlanCommand(CLI::App& app, int& status);

// What the window's Start would answer for this file before it sends anything, in language
// `language` (0 English, 1 Chinese): true when it refuses, with the text of its message(s)
// in `message`. Run by `send` before the worker starts.
bool RefusedLikeStart(const std::string& path, int language, std::string& message);

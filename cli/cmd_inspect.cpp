// upgrade-cli inspect: the analysis the window runs once a file is chosen, and the refusal
// test that `send` runs before it starts the worker.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "platform/console.h"
#include "inspect/analysis.h"
#include "inspect/fileio.h"
#include "inspect/filekind.h"
#include "res/texts.h"
#include "transmit/state.h"

namespace {

struct InspectOptions {
  std::string lang = "en";
  std::string file;
};

int LanguageCode(const std::string& lang) { return lang == "zh" ? 1 : 0; }

}  // namespace

void AddInspectCommand(CLI::App& app, int& status) {
  auto options = std::make_shared<InspectOptions>();
  CLI::App* cmd = app.add_subcommand(
      "inspect",
      "Analyse an upgrade file as the window does once it is chosen: the routines' trace on\n"
      "standard output, then the text of the version line. Exit status 0 when the file is\n"
      "accepted, 1 when it is refused.");
  cmd->add_option("--lang", options->lang, "Language of the version line: en or zh")
      ->check(CLI::IsMember({"en", "zh"}))
      ->default_val("en");
  cmd->add_option("FILE", options->file, "The upgrade file (.bin, .BIN or .trx)")->required();
  cmd->callback([options, &status] {
    const int nLanguage = LanguageCode(options->lang);
    // The window's "file is invalid" box goes to standard error.
    const inspect::MessageBoxFn box = [](const char* text, const char* /*caption*/) {
      platform::PrintText(stderr, "%s\n", text);
      std::fflush(stderr);
    };
    const inspect::SFileAnalysis verdict =
        inspect::AnalyseFile(options->file.c_str(), inspect::FileExtensionOf(options->file), nLanguage, box);
    g_nFilePolicy = verdict.nFilePolicy;
    platform::PrintText(stdout, "%s\n", verdict.strVersionLine.c_str());
    std::fflush(stdout);
    status = verdict.Accepted() ? 0 : 1;
  });
}

// The window only lets Start be pressed after an accepted analysis, so a refused analysis is
// answered with what the window showed instead: the box (if any) and the version line. Start
// itself then refuses a file that no longer opens, and any file whose policy is not the
// upgrade policy 1 (every "trx" file). The texts are joined by "\n", without a final one.
// The analysis prints its trace on standard output, as in the window.
bool RefusedLikeStart(const std::string& path, int language, std::string& message) {
  message.clear();
  std::vector<std::string> shown;
  const inspect::MessageBoxFn box = [&shown](const char* text, const char* /*caption*/) {
    shown.emplace_back(text);
  };
  const inspect::SFileAnalysis verdict =
      inspect::AnalyseFile(path.c_str(), inspect::FileExtensionOf(path), language, box);
  g_nFilePolicy = verdict.nFilePolicy;

  auto join = [&message](const std::string& text) {
    if (!message.empty()) message += '\n';
    message += text;
  };
  auto text_of = [language](texts::Message m) {
    const char* text = texts::MessageText(m, language);
    return std::string(text ? text : "");
  };

  if (!verdict.Accepted()) {
    for (const std::string& text : shown) join(text);
    join(verdict.strVersionLine);
    return true;
  }
  if (std::FILE* file = inspect::OpenForReading(path.c_str())) {
    std::fclose(file);
  } else {
    join(text_of(texts::Message::FileUnreadable));
    return true;
  }
  if (verdict.nFilePolicy != inspect::kPolicyBin) {
    join(text_of(texts::Message::PolicyMismatch));
    return true;
  }
  return false;
}

// A scratch folder per test: the current directory and the runtime directory of the
// running-copy marker both point into it, and it is removed afterwards.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

class ScratchFolder {
 public:
  ScratchFolder() {
    char tmpl[] = "/tmp/upgrade-test-XXXXXX";
    dir_ = mkdtemp(tmpl);
    old_ = std::filesystem::current_path();
    std::filesystem::create_directory(dir_ + "/run");
    std::filesystem::permissions(dir_ + "/run", std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", (dir_ + "/run").c_str(), 1);
    std::filesystem::current_path(dir_);
  }
  ~ScratchFolder() {
    std::filesystem::current_path(old_);
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::string& Dir() const { return dir_; }
  // A new runtime directory: the running-copy marker held so far no longer counts, as
  // after the end of the process that held it.
  void FreshRuntime() {
    std::string run = dir_ + "/run/" + std::to_string(++runs_);
    std::filesystem::create_directory(run);
    std::filesystem::permissions(run, std::filesystem::perms::owner_all);
    setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
  }
  std::string Path(const std::string& name) const { return dir_ + "/" + name; }

  static std::string Read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    return ss.str();
  }
  static void Write(const std::string& path, const std::string& bytes) {
    std::ofstream f(path, std::ios::binary);
    f << bytes;
  }
  // Names in the folder other than "run" (to see that no temporary file is left behind).
  int Entries() const {
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir_))
      if (e.path().filename() != "run") ++n;
    return n;
  }

 private:
  std::string dir_;
  std::filesystem::path old_;
  int runs_ = 0;
};

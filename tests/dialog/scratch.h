// A scratch folder per test: the current directory and the runtime directory of the
// running-copy marker both point into it, and it is removed afterwards. The test starts as
// a new process would: holding no running-copy marker.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <list>
#include <random>
#include <sstream>
#include <string>

#include "platform/files.h"
#include "platform/instance.h"

class ScratchFolder {
 public:
  ScratchFolder() {
    old_ = std::filesystem::current_path();
    std::random_device rd;
    std::filesystem::path dir;
    do {
      dir = std::filesystem::temp_directory_path() / ("upgrade-test-" + std::to_string(rd()));
    } while (!std::filesystem::create_directory(dir));
    std::filesystem::current_path(dir);
    dir_ = std::filesystem::current_path().string();  // in the form the system reports it
    std::filesystem::create_directory(dir_ + "/run");
    std::filesystem::permissions(dir_ + "/run", std::filesystem::perms::owner_all);
    SetEnv("XDG_RUNTIME_DIR", dir_ + "/run");
    platform::ReleaseInstanceMarkers();
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
    SetEnv("XDG_RUNTIME_DIR", run);
    platform::ReleaseInstanceMarkers();
  }
  // A name in the folder, joined as the program joins the settings path.
  std::string Path(const std::string& name) const { return dir_ + platform::PathSeparator() + name; }

  // putenv is in the C runtime of both systems; it keeps the text, so the texts stay here.
  static void SetEnv(const std::string& name, const std::string& value) {
    static std::list<std::string> texts;
    texts.push_back(name + "=" + value);
    putenv(texts.back().data());
  }

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

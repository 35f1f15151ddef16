// A file with given contents in the temporary directory, removed when the object goes.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

class TempFile {
 public:
  explicit TempFile(const std::string& contents) {
    static std::atomic<unsigned> serial{0};
    path_ = std::filesystem::temp_directory_path() /
            ("upgrade-test-" + std::to_string(std::random_device{}()) + "-" + std::to_string(serial++) + ".bin");
    std::ofstream(path_, std::ios::binary).write(contents.data(), static_cast<std::streamsize>(contents.size()));
  }
  ~TempFile() {
    std::error_code ec;
    std::filesystem::remove(path_, ec);
  }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  std::string path() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

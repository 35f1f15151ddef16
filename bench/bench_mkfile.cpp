// Peak resident size and time of upgrade-mkfile writing large files, measured on the child
// with wait4's resource usage: an image unit file with 2 GiB of fill bytes (written in
// blocks), and a 4 GiB package (its padding left as a hole). Beside them, the peer: dd
// writing the same 2 GiB in 64 KiB blocks. The target: under 64 MiB for any size.
//   build/linux/bench/bench_mkfile [FOLDER]   (default: the system's temporary folder)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#ifndef UPGRADE_MKFILE_PATH
#define UPGRADE_MKFILE_PATH "upgrade-mkfile"
#endif

namespace {

struct Run {
  int status = -1;
  long peakKiB = -1;
  double seconds = 0;
};

Run Child(const std::vector<std::string>& args) {
  Run r;
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (pid > 0 && wait4(pid, &status, 0, &usage) == pid) {
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    r.peakKiB = usage.ru_maxrss;
  }
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return r;
}

std::string Load() {
  double avg[3] = {0, 0, 0};
  if (getloadavg(avg, 3) != 3) return "?";
  char text[64];
  std::snprintf(text, sizeof text, "%.2f %.2f %.2f", avg[0], avg[1], avg[2]);
  return text;
}

void Print(const char* what, const Run& r, const std::filesystem::path& file) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  std::printf("%-44s status %d  peak RSS %7.1f MiB  %6.2f s  %6.0f MiB/s  size %llu  (load %s)%s\n", what, r.status,
              static_cast<double>(r.peakKiB) / 1024.0, r.seconds,
              ec ? 0.0 : static_cast<double>(size) / 1048576.0 / r.seconds,
              static_cast<unsigned long long>(ec ? 0 : size), Load().c_str(),
              r.peakKiB >= 0 && r.peakKiB < 64 * 1024 ? "" : "  ABOVE 64 MiB");
  std::filesystem::remove(file, ec);
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path dir = argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
  const std::string filled = (dir / "bench-mkfile-fill.bin").string();
  const std::string padded = (dir / "bench-mkfile-pad.bin").string();
  const std::string peer = (dir / "bench-mkfile-dd.bin").string();
  Print("upgrade-mkfile image, 2 GiB of fill bytes",
        Child({UPGRADE_MKFILE_PATH, "image", filled, "--unit", "98,1000,fill=0x11", "--trailing", "2G",
               "--trailing-byte", "0x5A"}),
        filled);
  Print("upgrade-mkfile package padded to 4 GiB",
        Child({UPGRADE_MKFILE_PATH, "package", padded, "--unit", "BOOT", "--unit", "ROUTER", "--size", "4G"}), padded);
  Print("peer: dd, 2 GiB in 64 KiB blocks",
        Child({"dd", "if=/dev/zero", "of=" + peer, "bs=64K", "count=32768", "status=none"}), peer);
  return 0;
}

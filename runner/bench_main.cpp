// vexa-bench: whole updates of 64, 128 and 256 KB sample images on the
// simulated board, in process. For each size it prints the wall time of the
// run, the simulated time of the flash work (erase command to the last
// write disable, as the chip saw it) and that time against the bare I2C
// time of the same bus bytes at 400 kHz (9 bit times per byte).
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/tool_main.h"
#include "platform/host/host_session.h"
#include "runner/sample_image.h"
#include "sim/board.h"

namespace {

constexpr double kBitSeconds = 1.0 / 400000.0;
constexpr int kRounds = 5;

struct Measure {
  double wallSeconds = 0;
  double flashSeconds = 0;
  double eraseSeconds = 0;
  std::uint64_t bytes = 0;
  int exitCode = -1;
};

Measure RunOnce() {
  sim::BoardConfig config;
  config.pd->chipId = {0x52, 0x30, 0x00, 0x08};  // 256 KB flash
  sim::Board board(config);
  std::string console;
  HostSession session;
  session.board = &board;
  session.capture = &console;

  const char* argv[] = {"VEXA", "bench.bin", "/id", "5230"};
  HostSessionBegin(&session);
  const auto start = std::chrono::steady_clock::now();
  const int exitCode = ToolMain(4, argv);
  const auto end = std::chrono::steady_clock::now();
  HostSessionEnd();
  board.Finish();

  const sim::PdRecord& record = board.Pd()->record();
  Measure measure;
  measure.exitCode = exitCode;
  measure.wallSeconds = std::chrono::duration<double>(end - start).count();
  if (record.eraseCommandNs) {
    measure.flashSeconds = static_cast<double>(record.lastWriteDisableNs - *record.eraseCommandNs) / 1e9;
    measure.bytes = record.lastWriteDisableBusBytes - record.eraseCommandBusBytes;
  }
  measure.eraseSeconds = static_cast<double>(config.pd->EraseDurationNs()) / 1e9;
  return measure;
}

}  // namespace

int main() {
  const std::filesystem::path dir = std::filesystem::temp_directory_path() / "vexa-bench";
  std::filesystem::create_directories(dir);
  std::filesystem::current_path(dir);

  std::printf("%-8s %12s %14s %10s %12s %14s %8s\n", "image", "wall (ms)", "flash (sim s)", "erase (s)",
              "bus bytes", "bare I2C (s)", "ratio");
  int status = 0;
  for (const std::size_t sizeKb : {64u, 128u, 256u}) {
    if (!sample::WriteImage("bench.bin", sizeKb * 1024, 7)) {
      std::fprintf(stderr, "vexa-bench: cannot write %s\n", (dir / "bench.bin").c_str());
      return 2;
    }
    std::vector<Measure> rounds;
    for (int i = 0; i < kRounds; ++i) rounds.push_back(RunOnce());
    std::sort(rounds.begin(), rounds.end(),
              [](const Measure& a, const Measure& b) { return a.wallSeconds < b.wallSeconds; });
    const Measure& median = rounds[kRounds / 2];
    const double bare = static_cast<double>(median.bytes) * 9 * kBitSeconds;
    std::printf("%5zu KB %12.1f %14.3f %10.3f %12llu %14.3f %8.2f\n", sizeKb, median.wallSeconds * 1000,
                median.flashSeconds, median.eraseSeconds, static_cast<unsigned long long>(median.bytes), bare,
                bare > 0 ? median.flashSeconds / bare : 0.0);
    if (median.exitCode != 0) {
      std::fprintf(stderr, "vexa-bench: the %zu KB update ended with exit code %d\n", sizeKb, median.exitCode);
      status = 1;
    }
  }
  std::filesystem::current_path(std::filesystem::temp_directory_path());
  std::filesystem::remove_all(dir);
  return status;
}

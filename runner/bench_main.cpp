// vexa-bench: whole updates of sample images on the simulated board, in
// process. For each image size it prints the wall time of the run, the
// simulated time of the flash work (erase command to the last write
// disable, as the chip saw it) and that time against the bare I2C time of
// the same bus bytes at 400 kHz (9 bit times per byte); then the wall time
// of the 256 KB rehearsal.
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/flash_readout.h"
#include "app/tool_main.h"
#include "platform/host/host_session.h"
#include "runner/option_values.h"
#include "runner/sample_image.h"
#include "sim/board.h"

namespace {

constexpr double kBitSeconds = 1.0 / 400000.0;
constexpr int kUsageError = 2;

// The chip of the runs: 52 30 00 08, a 256 KB flash, which bounds the image.
constexpr std::size_t kFlashKb = 256;
constexpr std::size_t kRehearsalKb = 256;
constexpr unsigned long long kMostRounds = 1000;

const char kHelp[] =
    "Usage: vexa-bench [--sizes KB,KB,...] [--rounds N]\n"
    "\n"
    "Runs whole updates of sample images on the simulated board (chip 52300008,\n"
    "256 KB flash, /id 5230) in process. For each image size, the median round\n"
    "by wall time shows: the wall time of the run (board set-up to its end, no\n"
    "process start), the simulated time of the flash work (erase command to the\n"
    "last write disable, as the chip saw it), the erase time within it, the bus\n"
    "bytes of that work, the bare I2C time of those bytes at 400 kHz (9 bit times\n"
    "a byte) and the ratio of the two; then the whole run's transactions (frames)\n"
    "and bus bytes and their bare I2C time at 400 kHz, the floor of a run through\n"
    "an operating system's driver (vexa-linux). A last line gives the median wall time of\n"
    "the 256 KB rehearsal, the run of\n"
    "  vexa-sim --chip 52300008 -- fw256.bin /id 5230\n"
    "and one the bus bytes and bare I2C time at 400 kHz of a /dump of that chip's\n"
    "256 KB flash (two whole reads), as the tool's /db states them.\n"
    "\n"
    "Options:\n"
    "  --help            this text\n"
    "  --sizes KB,...    image sizes in KB, decimal, 1 to 256 each (default 64,128,256)\n"
    "  --rounds N        runs of each size and of the rehearsal, 1 to 1000 (default 5)\n"
    "\n"
    "Exit code 0 when every update succeeded, 1 when one did not, 2 for a wrong\n"
    "option or when the sample image cannot be written.\n";

struct BenchOptions {
  std::vector<std::size_t> sizesKb{64, 128, 256};
  int rounds = 5;
  bool help = false;
};

// "64,128,256".
bool ParseSizes(const std::string& text, std::vector<std::size_t>& sizes) {
  sizes.clear();
  std::size_t start = 0;
  for (;;) {
    const std::size_t comma = text.find(',', start);
    unsigned long long size = 0;
    if (!runner::ParseUnsigned(text.substr(start, comma - start), 10, kFlashKb, size) || size == 0) {
      return false;
    }
    sizes.push_back(static_cast<std::size_t>(size));
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

// Returns an empty string on success, else what is wrong.
std::string ParseArguments(int argc, const char* const* argv, BenchOptions& options) {
  for (int index = 1; index < argc; ++index) {
    const std::string arg = argv[index];
    if (arg == "--help") {
      options.help = true;
      continue;
    }
    if (arg != "--sizes" && arg != "--rounds") return "unknown argument " + arg + " (see vexa-bench --help)";
    if (index + 1 >= argc) return arg + " needs a value";
    const std::string text = argv[++index];
    if (arg == "--sizes") {
      if (!ParseSizes(text, options.sizesKb)) return runner::BadValue(arg, "KB,KB,... from 1 to 256", text);
    } else {
      unsigned long long rounds = 0;
      if (!runner::ParseUnsigned(text, 10, kMostRounds, rounds) || rounds == 0) {
        return runner::BadValue(arg, "a count from 1 to 1000", text);
      }
      options.rounds = static_cast<int>(rounds);
    }
  }
  return {};
}

struct Measure {
  double wallSeconds = 0;
  double flashSeconds = 0;
  double eraseSeconds = 0;
  std::uint64_t bytes = 0;
  std::uint64_t runFrames = 0;  // the whole run's transactions to the firmware address
  std::uint64_t runBytes = 0;   // and its bus bytes
  int exitCode = -1;
};

Measure RunOnce(const char* image) {
  const auto start = std::chrono::steady_clock::now();
  sim::BoardConfig config;
  config.pd->chipId = {0x52, 0x30, 0x00, 0x08};
  sim::Board board(config);
  std::string console;
  HostSession session;
  session.board = &board;
  session.capture = &console;

  const char* argv[] = {"VEXA", image, "/id", "5230"};
  HostSessionBegin(&session);
  const int exitCode = ToolMain(4, argv);
  HostSessionEnd();
  board.Finish();
  const auto end = std::chrono::steady_clock::now();

  const sim::PdRecord& record = board.Pd()->record();
  Measure measure;
  measure.exitCode = exitCode;
  measure.wallSeconds = std::chrono::duration<double>(end - start).count();
  if (record.eraseCommandNs) {
    measure.flashSeconds = static_cast<double>(record.lastWriteDisableNs - *record.eraseCommandNs) / 1e9;
    measure.bytes = record.lastWriteDisableBusBytes - record.eraseCommandBusBytes;
  }
  measure.eraseSeconds = static_cast<double>(config.pd->EraseDurationNs()) / 1e9;
  measure.runFrames = record.writeTransactions + record.readTransactions;
  measure.runBytes = record.busBytes;
  return measure;
}

// The round of median wall time, with the exit code of the worst round, so
// that one failed round is never hidden behind good ones.
Measure MedianRound(const char* image, int rounds) {
  std::vector<Measure> all;
  for (int i = 0; i < rounds; ++i) all.push_back(RunOnce(image));
  std::sort(all.begin(), all.end(),
            [](const Measure& a, const Measure& b) { return a.wallSeconds < b.wallSeconds; });
  Measure median = all[all.size() / 2];
  for (const Measure& round : all) {
    if (round.exitCode != 0) median.exitCode = round.exitCode;
  }
  return median;
}

bool WriteSample(const std::string& name, std::size_t sizeKb) {
  if (sample::WriteImage(name, sizeKb * 1024, 7)) return true;
  std::fprintf(stderr, "vexa-bench: cannot write %s\n", (std::filesystem::current_path() / name).c_str());
  return false;
}

// Whole updates need an image file; they get a private folder for it.
class WorkDir {
 public:
  WorkDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vexa-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) return;
    path_ = pattern;
    std::filesystem::current_path(path_);
  }
  ~WorkDir() {
    if (path_.empty()) return;
    std::error_code ignored;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  WorkDir(const WorkDir&) = delete;
  WorkDir& operator=(const WorkDir&) = delete;
  bool ok() const { return !path_.empty(); }

 private:
  std::filesystem::path path_;
};

// The bus cost of a /dump of the bench chip's flash: two whole reads.
void PrintDumpFigure() {
  const FlashReadCost read = FlashReadBusCost(kFlashKb, 3);
  std::printf("256 KB dump (/dump, two reads of %u frames): %llu bus bytes, %.3f s bare I2C at 400 kHz\n",
              static_cast<unsigned>(read.frames), static_cast<unsigned long long>(2 * read.busBytes),
              static_cast<double>(2 * read.bareUs) / 1e6);
}

int Bench(const BenchOptions& options) {
  WorkDir dir;
  if (!dir.ok()) {
    std::fprintf(stderr, "vexa-bench: cannot make a folder in %s\n",
                 std::filesystem::temp_directory_path().c_str());
    return kUsageError;
  }
  std::printf("%-8s %12s %14s %10s %12s %14s %8s %11s %11s %12s\n", "image", "wall (ms)", "flash (sim s)",
              "erase (s)", "bus bytes", "bare I2C (s)", "ratio", "run frames", "run bytes", "run I2C (s)");
  std::fflush(stdout);
  int status = 0;
  for (const std::size_t sizeKb : options.sizesKb) {
    if (!WriteSample("bench.bin", sizeKb)) return kUsageError;
    const Measure median = MedianRound("bench.bin", options.rounds);
    const double bare = static_cast<double>(median.bytes) * 9 * kBitSeconds;
    std::printf("%5zu KB %12.1f %14.3f %10.3f %12llu %14.3f %8.2f %11llu %11llu %12.3f\n", sizeKb,
                median.wallSeconds * 1000, median.flashSeconds, median.eraseSeconds,
                static_cast<unsigned long long>(median.bytes), bare, bare > 0 ? median.flashSeconds / bare : 0.0,
                static_cast<unsigned long long>(median.runFrames), static_cast<unsigned long long>(median.runBytes),
                static_cast<double>(median.runBytes) * 9 * kBitSeconds);
    std::fflush(stdout);
    if (median.exitCode != 0) {
      std::fprintf(stderr, "vexa-bench: the %zu KB update ended with exit code %d\n", sizeKb, median.exitCode);
      status = 1;
    }
  }

  if (!WriteSample("fw256.bin", kRehearsalKb)) return kUsageError;
  const Measure rehearsal = MedianRound("fw256.bin", options.rounds);
  std::printf("\n256 KB rehearsal (vexa-sim --chip 52300008 -- fw256.bin /id 5230): %.1f ms wall, median of %d\n",
              rehearsal.wallSeconds * 1000, options.rounds);
  if (rehearsal.exitCode != 0) {
    std::fprintf(stderr, "vexa-bench: the 256 KB rehearsal ended with exit code %d\n", rehearsal.exitCode);
    status = 1;
  }
  PrintDumpFigure();
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  BenchOptions options;
  const std::string problem = ParseArguments(argc, argv, options);
  if (!problem.empty()) {
    std::fprintf(stderr, "vexa-bench: %s\n", problem.c_str());
    return kUsageError;
  }
  if (options.help) {
    std::fputs(kHelp, stdout);
    return 0;
  }
  return Bench(options);
}

// vexa-sim: runs the tool against the simulated board on the host.
//
//   vexa-sim [BOARD OPTIONS] [--] [TOOL ARGUMENTS...]
//
// Standard output carries exactly the characters the tool sends to the
// console (UTF-8); the runner's own complaints go to standard error.
#include <cstdint>
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/tool_main.h"
#include "platform/host/host_session.h"
#include "runner/board_program.h"
#include "runner/option_values.h"
#include "sim/board.h"
#include "sim/board_options.h"
#include "sim/pd_options.h"

namespace {

using runner::BadValue;
using runner::ParseUnsigned;

// The runner's own failure: wrong options, or a flash it could not write
// back. It wins over the tool's exit code, which would hide a lost flash.
constexpr int kRunnerUsageError = 2;

struct RunnerOptions {
  sim::BoardConfig board;
  std::vector<HostTextMode> modes{{80, 25}, {80, 50}, {100, 31}};
  std::uint8_t attribute = 0x07;
  std::string ioTracePath;
  bool realtime = false;
  std::size_t memoryLimit = SIZE_MAX;
  bool help = false;
  std::vector<const char*> toolArgs;  // argv[0] included
  // What happens after the first run, in the order given.
  struct Step {
    enum class Kind { Rerun, PowerCycle, EndFaults } kind;
    std::string args;  // of a rerun
  };
  std::vector<Step> steps;
  bool pdState = false;
};

const char kRunnerHelp[] =
    "Usage: vexa-sim [BOARD OPTIONS] [--] [TOOL ARGUMENTS...]\n"
    "\n"
    "Runs the VEXA tool against a simulated board. Options begin with \"--\";\n"
    "they end at \"--\" or at the first argument that does not begin with \"--\".\n"
    "The rest is the tool's command line (the tool sees itself as VEXA).\n"
    "Standard output receives the tool's console text; the exit code is the tool's,\n"
    "or 2 when the runner's own options are wrong or the flash file (--flash) cannot\n"
    "be written back at the end: exit code 2 wins over the tool's.\n"
    "\n"
    "Console and run options:\n"
    "  --help                this text\n"
    "  --modes WxH,WxH,...   the console's text modes in mode-number order\n"
    "                        (default 80x25,80x50,100x31; an empty list: none)\n"
    "  --attribute HH        console attribute at the start, hexadecimal (default 07)\n"
    "  --io-trace FILE       one line per platform operation to FILE\n"
    "  --realtime            stalls really wait and the wall clock is the host's\n"
    "  --memory-limit BYTES  allocations of more than BYTES bytes fail\n"
    "  --rerun \"ARGS\"        after the run, the tool runs again with ARGS (split at\n"
    "                        spaces) on the same board, as a user running it twice;\n"
    "                        repeatable. The console texts follow one another and the\n"
    "                        exit code is the last run's. Faults stay as given: a\n"
    "                        numbered one (nack-write=N, power-loss=N, ...) counts the\n"
    "                        transactions of all runs together, so it fires once\n"
    "  --power-cycle         before the next --rerun the PD controller's power goes\n"
    "                        off and comes back (also after a power-loss fault)\n"
    "  --end-faults          before the next --rerun the faults that come and go\n"
    "                        end; numbered ones stay, and so do not-dw, lpss-uart\n"
    "                        and the board's own (decode-off, d3hot, aoac-off, ...)\n"
    "  --pd-state            after the last run, the PD controller's state on\n"
    "                        standard error: running, off, or halted / boot code\n"
    "                        with test mode and erase busy as they apply\n"
    "\n"
    "Board options:\n";

// "80x25,100x31"; the empty text is a console with no text mode at all.
bool ParseModes(const std::string& text, std::vector<HostTextMode>& modes) {
  modes.clear();
  if (text.empty()) return true;
  std::size_t start = 0;
  while (true) {
    const std::size_t comma = text.find(',', start);
    const std::string item = text.substr(start, comma == std::string::npos ? std::string::npos
                                                                            : comma - start);
    const std::size_t x = item.find('x');
    unsigned long long columns = 0;
    unsigned long long rows = 0;
    if (x == std::string::npos || !ParseUnsigned(item.substr(0, x), 10, UINT32_MAX, columns) ||
        !ParseUnsigned(item.substr(x + 1), 10, UINT32_MAX, rows)) {
      return false;
    }
    modes.push_back({static_cast<std::uint32_t>(columns), static_cast<std::uint32_t>(rows)});
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

// Returns an empty string on success, else what is wrong.
std::string ParseArguments(int argc, const char* const* argv, RunnerOptions& options) {
  int index = 1;
  while (index < argc) {
    const std::string arg = argv[index];
    if (arg.rfind("--", 0) != 0) break;
    if (arg == "--") {
      ++index;
      break;
    }

    std::string missing;  // why value() found none
    auto value = [&](std::string& out) -> bool {
      if (!sim::OptionValue(argc, argv, index, out, missing)) return false;
      index += 2;
      return true;
    };
    std::string text;
    if (arg == "--help") {
      options.help = true;
      ++index;
    } else if (arg == "--realtime") {
      options.realtime = true;
      ++index;
    } else if (arg == "--modes") {
      if (!value(text)) return missing;
      if (!ParseModes(text, options.modes)) return BadValue(arg, "WxH,WxH,...", text);
    } else if (arg == "--attribute") {
      unsigned long long attribute = 0;
      if (!value(text)) return missing;
      if (!ParseUnsigned(text, 16, 0xFF, attribute)) {
        return BadValue(arg, "a hexadecimal byte", text);
      }
      options.attribute = static_cast<std::uint8_t>(attribute);
    } else if (arg == "--io-trace") {
      if (!value(text)) return missing;
      if (text.empty()) return arg + " needs a file name";
      options.ioTracePath = text;
    } else if (arg == "--rerun") {
      if (!value(text)) return missing;
      options.steps.push_back({RunnerOptions::Step::Kind::Rerun, text});
    } else if (arg == "--power-cycle") {
      options.steps.push_back({RunnerOptions::Step::Kind::PowerCycle, {}});
      ++index;
    } else if (arg == "--end-faults") {
      options.steps.push_back({RunnerOptions::Step::Kind::EndFaults, {}});
      ++index;
    } else if (arg == "--pd-state") {
      options.pdState = true;
      ++index;
    } else if (arg == "--memory-limit") {
      unsigned long long limit = 0;
      if (!value(text)) return missing;
      if (!ParseUnsigned(text, 10, SIZE_MAX, limit)) return BadValue(arg, "a byte count", text);
      options.memoryLimit = static_cast<std::size_t>(limit);
    } else {
      std::string error;
      switch (sim::ParseBoardOption(options.board, argc, argv, index, error)) {
        case sim::OptionResult::Taken:
          break;
        case sim::OptionResult::Unknown:
          return "unknown option " + arg + " (see vexa-sim --help)";
        case sim::OptionResult::Error:
          return error.empty() ? "bad value for " + arg : error;
      }
    }
  }

  options.toolArgs.push_back("VEXA");
  for (; index < argc; ++index) options.toolArgs.push_back(argv[index]);
  return {};
}

// The tool's arguments of a --rerun: ARGS split at spaces, behind the
// program name.
std::vector<std::string> RerunArguments(const std::string& text) {
  std::vector<std::string> args = {"VEXA"};
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t space = text.find(' ', start);
    const std::size_t end = space == std::string::npos ? text.size() : space;
    if (end > start) args.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return args;
}

}  // namespace

int main(int argc, char** argv) {
  RunnerOptions options;
  const std::string problem = ParseArguments(argc, argv, options);
  if (!problem.empty()) {
    std::fprintf(stderr, "vexa-sim: %s\n", problem.c_str());
    return kRunnerUsageError;
  }
  if (options.help) {
    runner::PrintBoardProgramHelp(kRunnerHelp);
    return 0;
  }
  runner::WarnOfFlashSize("vexa-sim", options.board);

  std::FILE* trace = nullptr;
  if (!runner::OpenIoTrace("vexa-sim", options.ioTracePath, trace)) return kRunnerUsageError;

  int exitCode = 0;
  try {
    sim::Board board(options.board);

    HostSession session;
    session.board = &board;
    session.modes = options.modes;
    session.ioTrace = trace;
    session.realtime = options.realtime;
    session.allocationLimit = options.memoryLimit;
    session.consoleAttribute = options.attribute;

    HostSessionBegin(&session);
    exitCode = ToolMain(static_cast<int>(options.toolArgs.size()), options.toolArgs.data());
    for (const RunnerOptions::Step& step : options.steps) {
      sim::PdController* pd = board.Pd();
      switch (step.kind) {
        case RunnerOptions::Step::Kind::PowerCycle:
          if (pd != nullptr) pd->PowerCycle();
          break;
        case RunnerOptions::Step::Kind::EndFaults:
          board.EndTransientFaults();
          break;
        case RunnerOptions::Step::Kind::Rerun: {
          const std::vector<std::string> args = RerunArguments(step.args);
          std::vector<const char*> argv2;
          for (const std::string& arg : args) argv2.push_back(arg.c_str());
          exitCode = ToolMain(static_cast<int>(argv2.size()), argv2.data());
          break;
        }
      }
    }
    if (options.pdState && board.Pd() != nullptr) {
      std::fflush(stdout);
      std::fprintf(stderr, "vexa-sim: PD controller: %s\n", sim::PdStateText(board.Pd()->State()).c_str());
    }
    const bool finished = board.Finish();
    HostSessionEnd();
    if (!finished) {
      std::fflush(stdout);
      std::fprintf(stderr, "vexa-sim: %s; the flash as this run left it is lost\n", board.FinishError().c_str());
      exitCode = kRunnerUsageError;
    }
  } catch (const std::exception& e) {
    HostSessionEnd();
    std::fflush(stdout);
    std::fprintf(stderr, "vexa-sim: %s\n", e.what());
    if (trace != nullptr) std::fclose(trace);
    return kRunnerUsageError;
  }

  if (trace != nullptr) std::fclose(trace);
  std::fflush(stdout);
  return exitCode;
}

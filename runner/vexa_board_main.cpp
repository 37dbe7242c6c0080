// vexa-board: serves the simulated board of vexa-sim to QEMU, whose
// x-pci-proxy-dev devices send it every access to the board's LPSS I2C
// functions.
//
//   vexa-board [BOARD OPTIONS] [--io-trace FILE] --socket F=FD [--socket F=FD ...]
//
// Each --socket is an inherited stream socket whose other end QEMU holds
// as `-device x-pci-proxy-dev,fd=...,addr=15.F`. Once the board is built
// it says "vexa-board: serving 0:21.F ..." on standard output. It lives until
// QEMU has closed every socket (exit code 0); the --flash file then holds
// what the flash received. A message QEMU would never send ends it with a
// line on standard error and exit code 1.
#include <poll.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <vector>

#include "runner/board_program.h"
#include "runner/option_values.h"
#include "runner/proxy/proxy_link.h"
#include "runner/proxy/served_board.h"
#include "sim/board.h"
#include "sim/board_options.h"

namespace {

using runner::BadValue;
using runner::ParseUnsigned;

constexpr int kBoardFailure = 1;
constexpr int kUsageError = 2;

struct Served {
  unsigned function;
  int fd;
};

struct BoardProgramOptions {
  sim::BoardConfig board;
  std::string ioTracePath;
  std::vector<Served> sockets;
  bool help = false;
};

const char kHelp[] =
    "Usage: vexa-board [BOARD OPTIONS] [--io-trace FILE] --socket F=FD [--socket F=FD ...]\n"
    "\n"
    "Serves the simulated board of vexa-sim to QEMU: the LPSS I2C function 0:21.F answers\n"
    "on the inherited socket FD, whose other end QEMU holds as\n"
    "  -device x-pci-proxy-dev,id=i2cF,fd=N,bus=pcie.0,addr=15.F\n"
    "(function 0 must be served too, with multifunction=on, when F is not 0).\n"
    "The board's clock follows the host's; BAR0 of each function is a 32-bit memory BAR\n"
    "that the firmware places. The board keeps its state over every tool run of one\n"
    "boot; a PD controller that lost power (--fault power-loss=N) gets it back after\n"
    "1 s without any register access, e.g. `stall 1500000` in a Shell script.\n"
    "Says \"vexa-board: serving 0:21.F ...\" on standard output once the board is built.\n"
    "Ends with exit code 0 once QEMU closed every socket (the --flash file then holds\n"
    "what the flash received); 1 after a message QEMU would not send; 2 for wrong options.\n"
    "\n"
    "  --help                this text\n"
    "  --socket F=FD         serve function 0:21.F on descriptor FD; may repeat\n"
    "  --io-trace FILE       one line per access the board answers to FILE\n"
    "\n"
    "Board options:\n";

std::string ParseSocket(const std::string& text, BoardProgramOptions& options) {
  const std::size_t equals = text.find('=');
  unsigned long long function = 0;
  unsigned long long fd = 0;
  if (equals == std::string::npos || !ParseUnsigned(text.substr(0, equals), 10, 7, function) ||
      !ParseUnsigned(text.substr(equals + 1), 10, 1u << 20, fd)) {
    return BadValue("--socket", "F=FD (function 0 to 7, a descriptor number)", text);
  }
  for (const Served& served : options.sockets) {
    if (served.function == function) return "--socket: function " + std::to_string(function) + " given twice";
  }
  options.sockets.push_back({static_cast<unsigned>(function), static_cast<int>(fd)});
  return {};
}

std::string ParseArguments(int argc, const char* const* argv, BoardProgramOptions& options) {
  int index = 1;
  while (index < argc) {
    const std::string arg = argv[index];
    if (arg == "--help") {
      options.help = true;
      ++index;
      continue;
    }
    if (arg == "--socket" || arg == "--io-trace") {
      if (index + 1 >= argc) return arg + " needs a value";
      const std::string value = argv[index + 1];
      index += 2;
      if (arg == "--io-trace") {
        if (value.empty()) return "--io-trace needs a file name";
        options.ioTracePath = value;
        continue;
      }
      const std::string problem = ParseSocket(value, options);
      if (!problem.empty()) return problem;
      continue;
    }
    if (arg.rfind("--", 0) != 0) return "unexpected argument " + arg + " (see vexa-board --help)";
    std::string error;
    switch (sim::ParseBoardOption(options.board, argc, argv, index, error)) {
      case sim::OptionResult::Taken:
        break;
      case sim::OptionResult::Unknown:
        return "unknown option " + arg + " (see vexa-board --help)";
      case sim::OptionResult::Error:
        return error.empty() ? "bad value for " + arg : error;
    }
  }
  if (options.help) return {};
  if (options.sockets.empty()) return "no --socket given: nothing to serve (see vexa-board --help)";
  if (options.board.platform != sim::PlatformType::Intel) {
    return "--platform: only an Intel board (LPSS I2C functions on PCI) can be served";
  }
  return {};
}

// Serves until QEMU closed every socket; returns the exit code.
int Serve(proxy::ServedBoard& served, std::vector<Served>& sockets) {
  std::vector<pollfd> polled;
  for (const Served& socket : sockets) polled.push_back({socket.fd, POLLIN, 0});
  std::size_t open = polled.size();
  proxy::Message message;
  while (open > 0) {
    if (poll(polled.data(), polled.size(), -1) < 0) continue;  // EINTR
    for (std::size_t i = 0; i < polled.size(); ++i) {
      if (polled[i].fd < 0 || polled[i].revents == 0) continue;
      std::string error;
      const proxy::ReadResult result = proxy::ReadMessage(polled[i].fd, message, error);
      if (result == proxy::ReadResult::Closed) {
        close(polled[i].fd);
        polled[i].fd = -1;
        --open;
        continue;
      }
      std::uint64_t value = 0;
      if (result == proxy::ReadResult::Message) {
        switch (served.Handle(sockets[i].function, message, value, error)) {
          case proxy::ServedBoard::Outcome::Reply:
            if (proxy::SendReturn(polled[i].fd, value, error)) continue;
            break;
          case proxy::ServedBoard::Outcome::NoReply:
            continue;
          case proxy::ServedBoard::Outcome::Error:
            break;
        }
      }
      std::fprintf(stderr, "vexa-board: function 0:21.%u: %s\n", sockets[i].function, error.c_str());
      return kBoardFailure;
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  BoardProgramOptions options;
  const std::string problem = ParseArguments(argc, argv, options);
  if (!problem.empty()) {
    std::fprintf(stderr, "vexa-board: %s\n", problem.c_str());
    return kUsageError;
  }
  if (options.help) {
    runner::PrintBoardProgramHelp(kHelp);
    return 0;
  }
  runner::WarnOfFlashSize("vexa-board", options.board);
  // Ctrl-C at the terminal is for QEMU: the board ends when QEMU has gone,
  // after its flash went back to the file.
  std::signal(SIGINT, SIG_IGN);

  std::FILE* trace = nullptr;
  if (!runner::OpenIoTrace("vexa-board", options.ioTracePath, trace)) return kUsageError;
  int exitCode = 0;
  try {
    sim::Board board(options.board);
    proxy::ServedBoard served(board, trace);
    for (const Served& socket : options.sockets) {
      std::string error;
      if (!served.Serve(socket.function, error)) throw std::runtime_error(error);
    }
    // A launcher starts QEMU once this line shows that the board is there.
    std::printf("vexa-board: serving");
    for (const Served& socket : options.sockets) std::printf(" 0:21.%u", socket.function);
    std::printf("\n");
    std::fflush(stdout);
    exitCode = Serve(served, options.sockets);
    if (!board.Finish()) {
      std::fprintf(stderr, "vexa-board: %s\n", board.FinishError().c_str());
      exitCode = kBoardFailure;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "vexa-board: %s\n", e.what());
    exitCode = kUsageError;
  }
  if (trace != nullptr) std::fclose(trace);
  return exitCode;
}

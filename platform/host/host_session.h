// How a host program (vexa-sim, the tests) connects the host platform layer
// to a simulated board before it calls the tool, and what it asks of the
// host console.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace sim {
class Board;
}

struct HostTextMode {
  std::uint32_t columns;
  std::uint32_t rows;
};

struct HostSession {
  sim::Board* board = nullptr;

  // Text modes the console offers, in mode-number order.
  std::vector<HostTextMode> modes{{80, 25}, {80, 50}, {100, 31}};

  // One line per platform operation; nullptr = no trace.
  std::FILE* ioTrace = nullptr;

  // Stalls really wait and the wall clock is the host's.
  bool realtime = false;

  // Console text goes here (UTF-8) instead of standard output; for tests.
  std::string* capture = nullptr;

  // Allocations above this many bytes fail, as they would on a board with
  // little free memory.
  std::size_t allocationLimit = SIZE_MAX;

  // Console state the firmware keeps: current mode and attribute.
  std::uint32_t consoleMode = 0;
  std::uint8_t consoleAttribute = 0x07;  // light grey on black
};

// Starts a session: the platform layer uses it until HostSessionEnd. The
// session object must outlive that.
void HostSessionBegin(HostSession* session);
// Also gives a terminal back as the user had it (HostConsoleRestore).
void HostSessionEnd();

// Shows the cursor and resets the colours, when the console changed them
// on a terminal; nothing otherwise.
void HostConsoleRestore();

// Inline, as every port, memory and stall operation of the tool asks for
// it, millions of times in a whole update.
extern HostSession* gHostSession;  // nullptr outside a session
HostSession& HostFallbackSession();
inline HostSession& CurrentHostSession() {
  return gHostSession != nullptr ? *gHostSession : HostFallbackSession();
}

// The simulated board's side of stalls and the wall clock, chosen at link
// time: host_io.cpp for a program with a board, host_no_board.cpp for one
// without. HostBoardWait moves the session's board on (nothing without
// one); HostBoardClock gives its real-time clock (-1 when that clock
// fails) and HostBoardSmbios its SMBIOS structure table (empty when it
// offers none); both return false when the program has no board.
void HostBoardWait(std::uint64_t nanoseconds);
bool HostBoardClock(std::int64_t* seconds);
bool HostBoardSmbios(const std::vector<std::uint8_t>** table);

// One line of the I/O trace (printf-style, no line end), when one is kept.
void HostTrace(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Whether one is kept: the busiest operations skip the formatting call.
inline bool HostTracing() { return CurrentHostSession().ioTrace != nullptr; }

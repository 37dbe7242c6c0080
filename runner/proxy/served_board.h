// The simulated board behind QEMU's x-pci-proxy-dev: each served LPSS I2C
// function (0:21.f) answers its configuration and register accesses from
// the board model that vexa-sim uses.
//
// What differs from the board on the host:
// - Time: the board's clock follows the host's monotonic clock, since the
//   tool in firmware waits with the firmware's own timer, which the board
//   never sees.
// - BARs: the firmware places BAR0 itself. Each served function shows
//   BAR0 as a 32-bit memory BAR of the controller's 4 KB window (QEMU sizes
//   the six BARs as 32-bit ones) and the other five as absent; accesses
//   to the window reach the controller wherever the firmware put it.
// - Power: the board lives through every tool run of one boot. A PD
//   controller that lost power gets it back after kPowerReturnNs without
//   any register access (a `stall` in a Shell script between two runs).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <string>

#include "runner/proxy/proxy_link.h"

namespace sim {
class Board;
}

namespace proxy {

class ServedBoard {
 public:
  static constexpr std::uint64_t kPowerReturnNs = 1'000'000'000;
  static constexpr unsigned kFunctions = 8;

  // `ioTrace`: one line per access the board answers; nullptr = none.
  ServedBoard(sim::Board& board, std::FILE* ioTrace);

  // Takes function 0:21.`function` into service; false with `error` set
  // when the board has no such LPSS I2C function.
  bool Serve(unsigned function, std::string& error);

  enum class Outcome { Reply, NoReply, Error };
  // Answers one message for a served function: Reply with `value` to send
  // back, NoReply, or Error with `error` set.
  Outcome Handle(unsigned function, const Message& message, std::uint64_t& value, std::string& error);

 private:
  struct Function {
    bool served = false;
    std::uint32_t bar0 = 0;          // as the firmware wrote it, flags clear
    std::uint64_t windowBase = 0;    // where the board decodes the controller
  };

  void FollowHostClock();
  std::uint32_t ConfigRead(unsigned function, std::uint32_t offset, unsigned length);
  void ConfigWrite(unsigned function, std::uint32_t offset, unsigned length, std::uint32_t value);
  std::uint64_t BarRead(const Function& served, std::uint64_t address, unsigned size);
  void BarWrite(const Function& served, std::uint64_t address, unsigned size, std::uint64_t value);
  void BeforeRegisterAccess();
  std::uint64_t HostNs() const;

  sim::Board& board_;
  std::FILE* ioTrace_;
  std::array<Function, kFunctions> functions_{};
  std::uint64_t startNs_ = 0;
  std::uint64_t lastRegisterAccessNs_ = 0;
};

}  // namespace proxy

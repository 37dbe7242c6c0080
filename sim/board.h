// The simulated board: PCI configuration space behind ports 0xCF8/0xCFC,
// the DesignWare I2C controllers with their buses, the AMD pin-function
// bytes, the real-time clock and the devices on the buses, all on one
// virtual clock. The host platform layer is its only user in the tool.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "sim/clock.h"
#include "sim/i2c_device.h"

namespace sim {

enum class PlatformType { Intel, Amd, Unknown };

struct BoardConfig {
  PlatformType platform = PlatformType::Intel;

  // The controller the PD controller is wired to.
  unsigned pdChannel = 0;

  // Intel: BAR0 of PCI function 0:21.f as the 64-bit value the two BAR
  // registers hold, flag bits included; nullopt = function absent.
  std::array<std::optional<std::uint64_t>, 8> intelBar0 = DefaultIntelBars();

  // Faults.
  bool controllerDead = false;  // the controller never reports enabled
  bool clockFail = false;       // the real-time clock cannot be read

  // One line per bus transaction ("W 80: FF F8 00 00"); empty = none.
  std::string busTracePath;

  static std::array<std::optional<std::uint64_t>, 8> DefaultIntelBars();
};

class DwI2cController;
class BoardImpl;

class Board {
 public:
  explicit Board(const BoardConfig& config);
  ~Board();
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  Clock& clock();

  // Every access first advances the clock by a small fixed cost, so that a
  // polling loop sees the hardware make progress.
  void PortWrite32(std::uint16_t port, std::uint32_t value);
  std::uint16_t PortRead16(std::uint16_t port);
  std::uint32_t PortRead32(std::uint16_t port);
  std::uint32_t MmioRead32(std::uint64_t address);
  void MmioWrite32(std::uint64_t address, std::uint32_t value);
  std::uint16_t MmioRead16(std::uint64_t address);
  std::uint8_t MmioRead8(std::uint64_t address);
  void MmioWrite8(std::uint64_t address, std::uint8_t value);

  // Whole seconds of the real-time clock on the virtual time line; nullopt
  // when the clock fails.
  std::optional<std::int64_t> RtcSeconds() const;

  // Puts a device on the bus of controller `channel` at a 7-bit address.
  void AttachDevice(unsigned channel, std::uint8_t address7, I2cDevice* device);

  // The controller model of `channel`, for tests; nullptr when absent.
  DwI2cController* Controller(unsigned channel);

  // End of the run: ends the trace (an open transaction included) and
  // writes back whatever the devices keep in files.
  void Finish();

 private:
  std::unique_ptr<BoardImpl> impl_;
};

}  // namespace sim

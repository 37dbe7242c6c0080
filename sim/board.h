// The simulated board: PCI configuration space behind ports 0xCF8/0xCFC,
// the DesignWare I2C controllers with their buses, the AMD pin-function
// bytes, the real-time clock and the devices on the buses, all on one
// virtual clock. The host platform layer is its only user in the tool.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/clock.h"
#include "sim/dw_i2c_faults.h"
#include "sim/i2c_device.h"
#include "sim/lpss_generations.h"
#include "sim/pd_controller.h"
#include "sim/smbios_table.h"

namespace sim {

enum class PlatformType { Intel, Amd, Unknown };

struct BoardConfig {
  PlatformType platform = PlatformType::Intel;

  // The controller the PD controller is wired to.
  unsigned pdChannel = 0;

  // Intel: BAR0 of PCI function 0:21.f as the 64-bit value the two BAR
  // registers hold, flag bits included; nullopt = function absent, as is
  // every function beyond the generation's I2C functions.
  std::array<std::optional<std::uint64_t>, 8> intelBar0 = DefaultIntelBars();

  // Intel: the PCH generation whose LPSS I2C functions are at 0:21.f, by
  // its name in LpssGenerations(): their device IDs, how many there are
  // and the input clock of their controllers.
  std::string lpss = kDefaultLpss;

  // Faults.
  bool controllerDead = false;  // the controller never reports enabled
  bool clockFail = false;       // the real-time clock cannot be read
  bool decodeOff = false;       // Intel: the I2C functions' memory decoding is off
  bool d3hot = false;           // Intel: the I2C functions are in D3hot
  // Intel: the functions report No_Soft_Reset 0: leaving D3hot resets their
  // configuration (BARs 0, decoding off).
  bool noSoftReset = false;
  bool aoacOff = false;         // AMD: the I2C controllers have no power
  bool aoacStuck = false;       // AMD: ... and never get it
  // Further misbehaviour of every I2C controller on the board (`dead` here
  // and controllerDead add up).
  DwI2cFaults controllerFaults;

  // One line per bus transaction ("W 80: FF F8 00 00"); empty = none.
  std::string busTracePath;

  // What the board's firmware says of it in its SMBIOS table.
  SmbiosIdentity smbios;

  // The PD controller wired to pdChannel (with its SPI flash); nullopt for
  // a board whose bus carries only what a test attaches.
  std::optional<PdConfig> pd = PdConfig{};

  static std::array<std::optional<std::uint64_t>, 8> DefaultIntelBars();
};

class AmdAoac;
class AmdIomux;
class DwI2cController;
class PciConfigSpace;
class BoardImpl;

// An access that reached nothing: reads gave all ones, writes were dropped.
struct StrayAccess {
  std::uint64_t address;  // physical address or port
  unsigned width;         // bytes
  bool write;
  std::uint32_t value;    // written value; 0 for reads
};

// Board-level accesses that reached no device, for tests.
struct BoardRecord {
  std::uint64_t unmappedMmio = 0;
  std::vector<StrayAccess> unmapped;  // the first kKept of the MMIO ones
  std::uint64_t strayPorts = 0;       // ports other than the configuration ports
  static constexpr std::size_t kKept = 1024;
};

class Board {
 public:
  explicit Board(const BoardConfig& config);
  ~Board();
  Board(const Board&) = delete;
  Board& operator=(const Board&) = delete;

  // Every access first advances the clock by this much, so that a polling
  // loop sees the hardware make progress.
  static constexpr std::uint64_t kAccessCostNs = 200;

  // RtcSeconds at virtual time 0: 2025-01-01 00:00:00 UTC.
  static constexpr std::int64_t kRtcEpochSeconds = 1735689600;

  Clock& clock();

  // Lets `ns` pass with the hardware running: every bus event in between
  // happens at its own time, so a device that keeps time (a restart, an
  // erase) sees the moment the last byte really reached it.
  void Wait(std::uint64_t ns);

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

  // The SMBIOS structure table the board's firmware offers; empty for none.
  const std::vector<std::uint8_t>& SmbiosTable() const;

  // Puts a device on the bus of controller `channel` at a 7-bit address.
  void AttachDevice(unsigned channel, std::uint8_t address7, I2cDevice* device);

  // The controller model of `channel`, for tests; nullptr when absent.
  DwI2cController* Controller(unsigned channel);

  // Keeps a device alive as long as the board (attach it with AttachDevice).
  I2cDevice* AdoptDevice(std::unique_ptr<I2cDevice> device);

  // Work for Finish, after the trace is complete, in the order given (e.g.
  // a device writing its memory back to a file).
  void AtFinish(std::function<void()> action);

  // End of the run: ends the trace (an open transaction included) and
  // writes back whatever the devices keep in files. Only the first call
  // counts. Without it the line of a transaction still open is lost.
  // false when something could not be written; FinishError() says what.
  bool Finish();
  const std::string& FinishError() const;

  // The PD controller on the board; nullptr when it has none.
  PdController* Pd();

  // The faults that come and go end, as for a user who tries again later:
  // the PD controller's (PdController::EndTransientFaults), the clock's and
  // the I2C controllers' own. What the board is (not-dw, lpss-uart) and the
  // state it started in (decode-off, d3hot, aoac-off, ...) stay.
  void EndTransientFaults();

  const BoardRecord& record() const;
  const PciConfigSpace& Pci() const;
  // The AMD pad function bytes; nullptr on other platforms.
  AmdIomux* Iomux();

 private:
  std::unique_ptr<BoardImpl> impl_;
};

}  // namespace sim

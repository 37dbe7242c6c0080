// The simulated USB PD controller: its firmware interface (test mode, CPU
// halt, chip ID, registers, watchdog, the flash bridge in front of its SPI
// flash) and its TCPI-mode address with the version answers. It knows its
// frame formats from its own chip ID alone, so a host tool that builds a
// frame from a wrong table is answered wrongly, as a real chip would.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "sim/clock.h"
#include "sim/i2c_device.h"
#include "sim/spi_flash.h"

namespace sim {

struct PdFaults {
  bool absent = false;         // nothing answers at the firmware address
  bool tcpiAbsent = false;     // nothing answers to TCPI-mode commands
  bool eraseStuck = false;     // the erase-busy bit stays set once an erase began
  bool statusInvalid = false;  // bridge status bytes have bit 7 clear
  bool welStuck = false;       // the write-enable latch never clears once set
  // 1-based numbers of the write / read transactions to the firmware
  // address whose address byte is not acknowledged.
  std::set<std::uint64_t> nackWrite;
  std::set<std::uint64_t> nackRead;
  // Write transactions, counted the same way, whose address byte is
  // acknowledged and whose first data byte is not.
  std::set<std::uint64_t> nackData;
  // Write transactions acknowledged in full that have no effect at all.
  std::set<std::uint64_t> dropWrite;
  // From this write transaction on the chip has no power: nothing answers
  // at either address, and the flash keeps what it had received.
  std::optional<std::uint64_t> powerLoss;
  // Flash byte offsets that read back with bit 0 inverted.
  std::set<std::uint32_t> flips;
};

struct PdConfig {
  // Family 52, model 30, size bits 10: a 256 KB flash.
  std::array<std::uint8_t, 4> chipId{0x52, 0x30, 0x00, 0x08};
  // I2C addresses in 8-bit form (the 7-bit address shifted left by one).
  std::uint8_t address = 0x80;
  std::optional<std::uint8_t> tcpiAddress;  // unset: where the chip's family answers
  std::array<std::uint8_t, 2> fwVersion{0x1A, 0x05};
  std::array<std::uint8_t, 6> pdVersion{0x03, 0x10, 0x01, 0x02, 0x00, 0x5A};
  // Unset: the size the chip ID gives (FlashSizeKbForChip). A size that
  // differs from it is a board whose flash does not match its chip.
  std::optional<unsigned> flashSizeKb;
  std::string flashPath;  // empty: the flash lives only for the run
  // Chip erase duration; 0 = 1.5 ms per KB (384 ms for 256 KB).
  std::uint64_t eraseTimeUs = 0;
  PdFaults faults;

  std::uint8_t TcpiAddress() const;
  unsigned FlashSizeKb() const;
  std::uint64_t EraseDurationNs() const;
};

// Where a chip of this ID answers TCPI-mode commands when its firmware
// interface is at `firmwareAddress` (both in 8-bit form).
std::uint8_t DefaultTcpiAddressForChip(const std::array<std::uint8_t, 4>& chipId, std::uint8_t firmwareAddress);

// The flash size in KB that a chip of this ID carries, by its size bits;
// 256 for an ID that gives none.
unsigned FlashSizeKbForChip(const std::array<std::uint8_t, 4>& chipId);

// How a chip of a given ID frames its flash bridge.
struct PdGeometry {
  std::array<std::uint8_t, 2> prefix{0xFF, 0xF7};  // data port, wire order
  unsigned addrBytes = 3;                          // 2 or 3 address bytes
  unsigned addrShift = 0;                          // shift of the third one
};
PdGeometry GeometryForChip(const std::array<std::uint8_t, 4>& chipId);

// The first byte of the second stop-CPU write that this chip accepts.
std::uint8_t StopCpuDummyForChip(const std::array<std::uint8_t, 4>& chipId);

// Chips that restart on FF D0 02 then FF EB 50; all others restart on a
// write of register 0xD3 with bit 4 set followed by FF D1 01.
bool UsesWatchdogD0EbForChip(const std::array<std::uint8_t, 4>& chipId);

// One bus transaction as the controller saw it.
struct PdFrame {
  std::uint8_t address = 0;  // 8-bit form
  bool read = false;
  bool nacked = false;  // its address or one of its bytes was not acknowledged
  std::vector<std::uint8_t> bytes;
};

struct PdRecord {
  std::vector<PdFrame> frames;          // only while the frame log is kept
  std::uint64_t writeTransactions = 0;  // to the firmware address
  std::uint64_t readTransactions = 0;   // to the firmware address
  unsigned restarts = 0;                // watchdog restarts
  unsigned verifyFailNotices = 0;       // AA bytes received
  unsigned stopCpuRejected = 0;         // second stop-CPU writes that did not halt
  unsigned watchdogRejected = 0;        // D1 01 with register 0xD3 not as required
  unsigned refusedFlashWork = 0;        // write enable, erase or program refused
  unsigned ignoredFrames = 0;           // complete frames that meant nothing
  unsigned nackedBytes = 0;             // bytes NACKed for not fitting a frame
  // Bytes on the bus to or from the chip, address bytes included.
  std::uint64_t busBytes = 0;
  // The flash work as the chip saw it, from the erase command to the last
  // write disable, in clock time and in bus bytes.
  std::optional<std::uint64_t> eraseCommandNs;
  std::uint64_t eraseCommandBusBytes = 0;
  std::uint64_t lastWriteDisableNs = 0;
  std::uint64_t lastWriteDisableBusBytes = 0;
};

// What the chip is doing, as a test reads it after a run.
struct PdState {
  bool powered = true;
  bool running = false;  // its firmware runs and answers the version queries
  bool halted = false;
  bool testMode = false;
  bool eraseBusy = false;
};
// "running", "off", or what keeps it from running: "halted", "boot code",
// then ", test mode", ", erase busy" as they apply.
std::string PdStateText(const PdState& state);

// Attach it at each of BusAddresses7() and keep it alive until the bus has
// finished with it; Finish() writes the flash file back.
class PdController : public I2cDevice {
 public:
  // Throws std::runtime_error for a config the chip cannot have (flash
  // size, a flip outside the flash) or a flash file it cannot load.
  PdController(PdConfig config, const Clock& clock);
  PdController(const PdController&) = delete;
  PdController& operator=(const PdController&) = delete;
  // The same without exceptions: nullptr and `error` set on failure.
  static std::unique_ptr<PdController> Create(const PdConfig& config, const Clock& clock, std::string& error);

  // The 7-bit addresses to attach the device at (one when both are equal).
  std::vector<std::uint8_t> BusAddresses7() const;

  bool Start(std::uint8_t address7, bool read) override;
  bool Write(std::uint8_t byte) override;
  std::uint8_t Read() override;
  void Stop() override;

  // End of the run: a pending erase whose time has come completes, and
  // the flash goes back to its file when it has one.
  bool Finish(std::string& error);

  const PdConfig& config() const { return config_; }
  const PdGeometry& geometry() const { return geometry_; }
  const PdRecord& record() const { return record_; }
  void KeepFrameLog(bool keep) { keepFrames_ = keep; }

  bool halted() const { return halted_; }
  bool testMode() const { return testMode_; }
  bool writeEnabled() const { return flash_.writeEnabled(); }
  // At power-on and at every watchdog restart the chip starts its firmware
  // only when the flash holds a signature (bytes 0x40..0x4F not all 0xFF);
  // otherwise it stays in its boot code, which serves the firmware
  // interface but not the TCPI-mode commands.
  bool firmwareBooted() const { return booted_; }
  // The firmware answers TCPI-mode commands only while its CPU runs. A
  // restart takes effect at once: the bus hands events over when it
  // catches up, which may be long after they happened on the wire, so a
  // boot time measured from them would not be the chip's.
  bool firmwareRunning() const { return powered_ && booted_ && !halted_; }
  bool powered() const { return powered_; }
  // Power comes back after a loss: the chip starts as at power-on, from
  // what its flash holds. A power-loss fault is one event and has had it.
  void PowerOn();
  // The power goes and comes back at once (a board switched off and on):
  // an erase that ran stops where it was, and the chip starts from its
  // flash.
  void PowerCycle();
  // The faults that come and go end: absent, tcpi-absent, erase-stuck,
  // status-invalid, wel-stuck and the flipped reads. Numbered faults stay;
  // they count the transactions of every run.
  void EndTransientFaults();
  PdState State();
  std::uint32_t bridgeAddress() const { return bridgeAddress_; }
  std::uint8_t bridgeCommand() const { return bridgeCommand_; }

  SpiFlash& flash() { return flash_; }
  const SpiFlash& flash() const { return flash_; }

 private:
  enum class Kind : std::uint8_t {
    Unknown,
    Tcpi,
    VerifyFail,
    StopCpu1,
    StopCpu2,  // dummy FE 9C 47
    DataPort,  // bridge prefix, then data
    Register,  // FF reg [value], also FF FE / FA / F8 / FF
  };
  enum class ReadSource : std::uint8_t { None, Fixed, Register, BridgePort, EraseBusy };

  bool IsFirmware(std::uint8_t address7) const { return address7 == (config_.address >> 1); }
  bool IsTcpi(std::uint8_t address7) const { return address7 == (config_.TcpiAddress() >> 1); }
  bool IsTcpiCommand(std::uint8_t byte) const;
  bool Accepts(std::uint8_t byte);
  void EndTransaction();
  void DecodeFrame();
  void DecodeTcpi(std::uint8_t command);
  void DecodeRegisterFrame();
  void BridgeCommand(std::uint8_t code);
  void BridgeAddress();
  void BridgeData();
  void RegisterWrite(std::uint8_t reg, std::uint8_t value);
  void Restart();
  void StartFromFlash();
  void Boot();
  void PowerOff();
  void ResetRegisters();
  bool FlashWorkAllowed() const { return halted_ && testMode_; }
  std::uint8_t StatusByte();

  PdConfig config_;
  const Clock& clock_;
  PdGeometry geometry_;
  std::uint8_t dummy_ = 0;
  bool watchdogD0Eb_ = false;
  SpiFlash flash_;

  // Chip state.
  bool powered_ = true;
  bool booted_ = false;
  bool halted_ = false;
  bool testMode_ = false;
  bool stopArmed_ = false;
  std::array<std::uint8_t, 256> regs_{};
  std::uint8_t bridgeCommand_ = 0;
  std::uint32_t bridgeAddress_ = 0;
  bool eraseBusyLatched_ = false;  // erase-stuck: busy once an erase began

  // The transaction on the bus.
  bool open_ = false;
  bool openRead_ = false;
  bool openNacked_ = false;
  bool openNackData_ = false;  // nack-data: refuse the first data byte
  bool openDropped_ = false;   // drop-write: take every byte, then forget the frame
  std::uint8_t openAddress7_ = 0;
  Kind kind_ = Kind::Unknown;
  std::vector<std::uint8_t> bytes_;

  // What the next read transaction answers with.
  ReadSource source_ = ReadSource::None;
  std::uint8_t sourceAddress7_ = 0;
  std::array<std::uint8_t, 2> fixed_{};
  unsigned fixedLength_ = 0;
  unsigned fixedIndex_ = 0;
  std::uint8_t registerCursor_ = 0;

  PdRecord record_;
  bool keepFrames_ = true;
};

}  // namespace sim

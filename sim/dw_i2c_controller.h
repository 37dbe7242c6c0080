// A DesignWare DW_apb_i2c controller in master mode, with its FIFOs and the
// wire-level transactions it drives on its bus.
//
// The model is lazy: nothing runs between register accesses. Each access
// first brings the bus up to the clock's current time, replaying the phases
// (START + address, data bytes, STOP) that ended since the last access, so
// polling loops see the bus progress at the rate the timing registers give.
// Devices therefore hear of a byte at the first board access after it
// ended on the wire (or at Finish).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "sim/bus_trace.h"
#include "sim/clock.h"
#include "sim/dw_i2c_faults.h"
#include "sim/fifo.h"
#include "sim/i2c_bus.h"

namespace sim {

namespace dw {

// Register offsets in the controller's 4 KB window.
inline constexpr std::uint32_t kCon = 0x00;
inline constexpr std::uint32_t kTar = 0x04;
inline constexpr std::uint32_t kSar = 0x08;
inline constexpr std::uint32_t kDataCmd = 0x10;
inline constexpr std::uint32_t kSsSclHcnt = 0x14;
inline constexpr std::uint32_t kSsSclLcnt = 0x18;
inline constexpr std::uint32_t kFsSclHcnt = 0x1C;
inline constexpr std::uint32_t kFsSclLcnt = 0x20;
inline constexpr std::uint32_t kIntrStat = 0x2C;
inline constexpr std::uint32_t kIntrMask = 0x30;
inline constexpr std::uint32_t kRawIntrStat = 0x34;
inline constexpr std::uint32_t kRxTl = 0x38;
inline constexpr std::uint32_t kTxTl = 0x3C;
inline constexpr std::uint32_t kClrIntr = 0x40;
inline constexpr std::uint32_t kClrRxUnder = 0x44;
inline constexpr std::uint32_t kClrRxOver = 0x48;
inline constexpr std::uint32_t kClrTxOver = 0x4C;
inline constexpr std::uint32_t kClrRdReq = 0x50;
inline constexpr std::uint32_t kClrTxAbrt = 0x54;
inline constexpr std::uint32_t kClrRxDone = 0x58;
inline constexpr std::uint32_t kClrActivity = 0x5C;
inline constexpr std::uint32_t kClrStopDet = 0x60;
inline constexpr std::uint32_t kClrStartDet = 0x64;
inline constexpr std::uint32_t kClrGenCall = 0x68;
inline constexpr std::uint32_t kEnable = 0x6C;
inline constexpr std::uint32_t kStatus = 0x70;
inline constexpr std::uint32_t kTxflr = 0x74;
inline constexpr std::uint32_t kRxflr = 0x78;
inline constexpr std::uint32_t kSdaHold = 0x7C;
inline constexpr std::uint32_t kTxAbrtSource = 0x80;
inline constexpr std::uint32_t kSdaSetup = 0x94;
inline constexpr std::uint32_t kAckGeneralCall = 0x98;
inline constexpr std::uint32_t kEnableStatus = 0x9C;
inline constexpr std::uint32_t kFsSpklen = 0xA0;
inline constexpr std::uint32_t kCompParam1 = 0xF4;
inline constexpr std::uint32_t kCompVersion = 0xF8;
inline constexpr std::uint32_t kCompType = 0xFC;
// Intel LPSS private space: bits 1:0 are the reset field; only 11 takes the
// controller out of reset (00 holds it, 01 and 10 are reserved).
inline constexpr std::uint32_t kLpssResets = 0x204;
inline constexpr std::uint32_t kLpssOutOfReset = 0x3;
// LPSS capabilities, readable in reset: bits 7..4 the block's type (0 I2C,
// 1 UART, 2 SPI).
inline constexpr std::uint32_t kLpssCapabilities = 0x2FC;
inline constexpr std::uint32_t kLpssTypeUart = 0x10;

// IC_CON
inline constexpr std::uint32_t kConMaster = 1u << 0;
inline constexpr std::uint32_t kConSpeedMask = 3u << 1;
inline constexpr std::uint32_t kConSpeedStandard = 1u << 1;
inline constexpr std::uint32_t kConSpeedFast = 2u << 1;
inline constexpr std::uint32_t kCon10BitMaster = 1u << 4;
inline constexpr std::uint32_t kConRestartEnable = 1u << 5;
inline constexpr std::uint32_t kConSlaveDisable = 1u << 6;

// IC_ENABLE
inline constexpr std::uint32_t kEnableBit = 1u << 0;
inline constexpr std::uint32_t kEnableAbort = 1u << 1;

// IC_TAR
inline constexpr std::uint32_t kTarAddressMask = 0x3FF;
inline constexpr std::uint32_t kTarGcOrStart = 1u << 10;
inline constexpr std::uint32_t kTarSpecial = 1u << 11;
inline constexpr std::uint32_t kTar10BitMaster = 1u << 12;

// IC_DATA_CMD, written
inline constexpr std::uint32_t kCmdRead = 1u << 8;
inline constexpr std::uint32_t kCmdStop = 1u << 9;
inline constexpr std::uint32_t kCmdRestart = 1u << 10;

// IC_RAW_INTR_STAT / IC_INTR_STAT / IC_INTR_MASK
inline constexpr std::uint32_t kIntrRxUnder = 1u << 0;
inline constexpr std::uint32_t kIntrRxFull = 1u << 2;
inline constexpr std::uint32_t kIntrTxOver = 1u << 3;
inline constexpr std::uint32_t kIntrTxEmpty = 1u << 4;
inline constexpr std::uint32_t kIntrTxAbrt = 1u << 6;
inline constexpr std::uint32_t kIntrActivity = 1u << 8;
inline constexpr std::uint32_t kIntrStopDet = 1u << 9;
inline constexpr std::uint32_t kIntrStartDet = 1u << 10;
inline constexpr std::uint32_t kIntrRestartDet = 1u << 12;
inline constexpr std::uint32_t kIntrMasterOnHold = 1u << 13;

// IC_STATUS
inline constexpr std::uint32_t kStatusActivity = 1u << 0;
inline constexpr std::uint32_t kStatusTfnf = 1u << 1;
inline constexpr std::uint32_t kStatusTfe = 1u << 2;
inline constexpr std::uint32_t kStatusRfne = 1u << 3;
inline constexpr std::uint32_t kStatusRff = 1u << 4;
inline constexpr std::uint32_t kStatusMasterActivity = 1u << 5;

// IC_TX_ABRT_SOURCE (bits 31..23 count the commands the abort flushed)
inline constexpr std::uint32_t kAbrt7BitAddrNoAck = 1u << 0;
inline constexpr std::uint32_t kAbrt10BitAddrNoAck = 1u << 1;
inline constexpr std::uint32_t kAbrtTxDataNoAck = 1u << 3;
inline constexpr std::uint32_t kAbrtGeneralCallNoAck = 1u << 4;
inline constexpr std::uint32_t kAbrtUserAbort = 1u << 16;

// Reset values.
inline constexpr std::uint32_t kResetCon = 0x7D;   // master, fast, 10-bit both ways, restart
inline constexpr std::uint32_t kResetTar = 0x1055;  // 10-bit master, target 0x055
inline constexpr std::uint32_t kResetSar = 0x55;
inline constexpr std::uint32_t kResetSsSclHcnt = 0x190;
inline constexpr std::uint32_t kResetSsSclLcnt = 0x1D6;
inline constexpr std::uint32_t kResetFsSclHcnt = 0x3C;
inline constexpr std::uint32_t kResetFsSclLcnt = 0x82;
inline constexpr std::uint32_t kResetIntrMask = 0x8FF;
inline constexpr std::uint32_t kResetSdaHold = 0x1;
inline constexpr std::uint32_t kResetSdaSetup = 0x64;
inline constexpr std::uint32_t kResetFsSpklen = 0x5;
inline constexpr std::uint32_t kCompVersionValue = 0x3230312A;  // "201*"
inline constexpr std::uint32_t kCompTypeValue = 0x44570140;     // "DW" 0x0140
inline constexpr std::uint32_t kCompTypeUart = 0x44570110;      // "DW" 0x0110, DW_apb_uart

}  // namespace dw

// What differs between the controllers of the two platforms.
struct DwI2cParams {
  std::uint64_t inputClockHz;  // ic_clk, which the SCL counts divide
  unsigned txFifoDepth;
  unsigned rxFifoDepth;
  bool lpssResetRegister;  // held in reset until bits 1:0 at 0x204 read 11
};

DwI2cParams IntelLpssI2cParams(std::uint64_t inputClockHz);  // 64/64, LPSS reset
DwI2cParams AmdI2cParams();        // 150 MHz, 32/32

// Why a register write had no effect.
enum class IgnoredBecause {
  Enabled,     // the register only takes writes while the controller is disabled
  InReset,     // the LPSS reset still holds the controller
  Disabled,    // a command written while the controller is not enabled
  AbortFlush,  // a command written while a transmit abort holds the TX FIFO flushed
  TxFifoFull,  // a command written into a full TX FIFO (TX_OVER)
  ReadOnly,    // a status or clear register
  NoRegister,  // nothing at that offset
  Narrow,      // an 8- or 16-bit write; the block only takes 32-bit writes
};

struct IgnoredWrite {
  std::uint32_t offset;
  std::uint32_t value;
  IgnoredBecause why;
};

// What the controller saw and did, for tests.
struct DwI2cRecord {
  std::uint64_t reads = 0;
  std::uint64_t writes = 0;
  std::uint64_t ignoredWriteCount = 0;
  std::uint64_t narrowReads = 0;  // 8- or 16-bit reads, refused
  std::vector<IgnoredWrite> ignoredWrites;  // the first kKeptIgnoredWrites of them
  std::uint64_t transactions = 0;           // STARTs and repeated STARTs
  std::uint64_t addressNacks = 0;
  std::uint64_t dataNacks = 0;
  std::uint64_t bytes = 0;            // data bytes that completed on the wire
  std::uint64_t flushedCommands = 0;  // queued commands dropped by an abort or a disable
  // The shortest SCL high and low time any transaction ran with (0 before
  // the first one).
  std::uint64_t shortestSclHighPs = 0;
  std::uint64_t shortestSclLowPs = 0;

  static constexpr std::size_t kKeptIgnoredWrites = 4096;
};

class DwI2cController {
 public:
  // Status follows a write of IC_ENABLE after this long (a disable waits for
  // the bus to go idle first). Commands are taken from the write on.
  static constexpr std::uint64_t kEnableLatencyNs = 1000;
  static constexpr std::uint64_t kDisableLatencyNs = 1000;

  // `trace` may be nullptr.
  DwI2cController(const DwI2cParams& params, const Clock& clock, I2cBus& bus, BusTrace* trace);

  // One 32-bit register access at the clock's current time.
  std::uint32_t Read32(std::uint32_t offset);
  void Write32(std::uint32_t offset, std::uint32_t value);
  // A write narrower than 32 bits reaches no register; it is only recorded.
  void NarrowWrite(std::uint32_t offset, std::uint32_t value);
  // A read narrower than 32 bits is refused as loudly: all ones, counted,
  // and a line in the bus trace.
  std::uint32_t NarrowRead(std::uint32_t offset, unsigned bytes);

  static constexpr std::uint64_t kNever = UINT64_MAX;

  // When the bus next changes on its own (a phase ends, the enable status
  // follows IC_ENABLE); kNever when it waits for the host.
  std::uint64_t NextEventNs() const {
    std::uint64_t next = TimedPhase() ? phaseEnd_ : kNever;
    if (statusPending_ && statusAt_ < next) next = statusAt_;
    return next;
  }

  // Brings the bus up to the clock's current time. The board asks on every
  // access, and most of the time nothing is due.
  void CatchUp() {
    if (NextEventNs() <= clock_.NowNs()) RunDueEvents();
  }

  // End of the run: what is on the wire or queued runs to its end, then
  // the line of a transaction still open goes to the trace.
  void Finish();

  // The block lost power and has it again: every register at its reset
  // value, the lines released.
  void PowerOnReset();

  DwI2cFaults& faults() { return faults_; }
  const DwI2cRecord& record() const { return record_; }
  const DwI2cParams& params() const { return params_; }

  // State as of the last catch-up.
  bool enabled() const { return enabledStatus_; }
  bool inReset() const {
    return params_.lpssResetRegister && (resets_ & dw::kLpssOutOfReset) != dw::kLpssOutOfReset;
  }
  bool transactionOpen() const { return txnOpen_; }
  std::size_t txLevel() const { return flushHeld_ ? 0 : tx_.size(); }
  std::size_t rxLevel() const { return rx_.size(); }

  // SCL high and low time and period the current timing registers give,
  // in picoseconds.
  std::uint64_t SclHighPs() const { return InputClockPs(SclHighPeriods()); }
  std::uint64_t SclLowPs() const { return InputClockPs(SclLowPeriods()); }
  std::uint64_t SclPeriodPs() const { return InputClockPs(SclHighPeriods() + SclLowPeriods()); }

 private:
  enum class Phase {
    Idle,     // no transaction
    Address,  // START or repeated START and the address byte
    Data,     // one data byte and its acknowledge
    Stop,     // STOP condition and bus free time
    Hold,     // transaction open, SCL held low waiting for a command
  };

  std::uint64_t SclHighPeriods() const;
  std::uint64_t SclLowPeriods() const;
  std::uint64_t InputClockPs(std::uint64_t periods) const;

  // Registers.
  void ResetRegisters();
  void WriteResets(std::uint32_t value);
  void WriteEnable(std::uint32_t value);
  void PushCommand(std::uint32_t value);
  std::uint32_t PopRx();
  std::uint32_t RawInterrupts() const;
  std::uint32_t Status() const;
  std::uint32_t ClearSticky(std::uint32_t bits);
  bool Configurable() const { return (enable_ & 1) == 0 && !enabledStatus_; }
  void Ignore(std::uint32_t offset, std::uint32_t value, IgnoredBecause why);
  void TraceNarrow(const char* what, std::uint32_t offset, unsigned bytes);
  void ScheduleStatus(bool enabled, std::uint64_t at);
  void ApplyStatus();

  // The wire (dw_i2c_master.cpp).
  bool TimedPhase() const {
    return phase_ == Phase::Address || phase_ == Phase::Data || phase_ == Phase::Stop;
  }
  void RunDueEvents();
  bool CanDrive() const;
  // Queued commands keep the master busy from the enable on, before the
  // enable status follows. Inline: the tool's status polling asks it most.
  bool MasterActive() const {
    return faults_.masterActivityStuck || phase_ != Phase::Idle ||
           ((enable_ & 1) != 0 && !tx_.empty() && !flushHeld_);
  }
  void Kick(std::uint64_t now);
  void TryStart(std::uint64_t t);
  void Next(std::uint64_t t);
  void BeginAddress(std::uint64_t t, bool restart);
  void EndAddress(std::uint64_t t);
  void BeginByte(std::uint64_t t);
  void EndByte(std::uint64_t t);
  void BeginStop(std::uint64_t t);
  void EndStop(std::uint64_t t);
  void EndPhase();
  void Abort(std::uint64_t t, std::uint32_t source);
  void BeginUserAbort(std::uint64_t t);
  void EndUserAbort();
  void CloseTraceLine();
  void DropTransaction();
  std::uint64_t BitsNs(unsigned bits) const { return (bits * bitPs_ + 500) / 1000; }

  const DwI2cParams params_;
  const Clock& clock_;
  I2cBus& bus_;
  BusTrace* trace_;
  DwI2cFaults faults_;
  DwI2cRecord record_;

  std::uint32_t con_ = 0;
  std::uint32_t tar_ = 0;
  std::uint32_t sar_ = 0;
  std::uint32_t ssHcnt_ = 0;
  std::uint32_t ssLcnt_ = 0;
  std::uint32_t fsHcnt_ = 0;
  std::uint32_t fsLcnt_ = 0;
  std::uint32_t intrMask_ = 0;
  std::uint32_t rxTl_ = 0;
  std::uint32_t txTl_ = 0;
  std::uint32_t enable_ = 0;
  std::uint32_t sdaHold_ = 0;
  std::uint32_t sdaSetup_ = 0;
  std::uint32_t ackGeneralCall_ = 0;
  std::uint32_t spklen_ = 0;
  std::uint32_t resets_ = 0;

  std::uint32_t sticky_ = 0;  // latched interrupt bits
  std::uint32_t abortSource_ = 0;
  bool flushHeld_ = false;  // after an abort, until IC_CLR_TX_ABRT is read
  // IC_ENABLE.ABORT: set by the host, cleared by the block once the STOP
  // it sends for it is on the wire.
  bool userAbort_ = false;
  std::uint32_t userAbortFlushed_ = 0;

  bool enabledStatus_ = false;
  bool statusPending_ = false;
  bool statusTarget_ = false;
  std::uint64_t statusAt_ = 0;

  Fifo<std::uint16_t> tx_;
  Fifo<std::uint8_t> rx_;

  Phase phase_ = Phase::Idle;
  std::uint64_t phaseEnd_ = 0;
  std::uint64_t bitPs_ = 1;  // latched when the controller comes up
  std::uint64_t highPs_ = 0;
  std::uint64_t lowPs_ = 0;
  bool txnOpen_ = false;
  bool txnRead_ = false;
  int txnAddress7_ = -1;  // -1: 10-bit, general call or START byte
  I2cDevice* txnDevice_ = nullptr;  // the device that acknowledged the address
  bool awaitingFirstByte_ = false;
  std::uint16_t current_ = 0;  // the command whose byte is on the wire
  std::uint8_t readValue_ = 0;
  TraceLine line_;
};

}  // namespace sim

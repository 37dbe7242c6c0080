// The controller's register file: what each register read and write does.
// The wire side lives in dw_i2c_master.cpp.
#include <algorithm>
#include <cstdio>

#include "sim/dw_i2c_controller.h"

namespace sim {

using namespace dw;

namespace {

// The block's minimum SCL counts and spike suppression; smaller writes are
// raised to them, as the hardware does.
constexpr std::uint32_t kMinHcnt = 6;
constexpr std::uint32_t kMinLcnt = 8;
constexpr std::uint32_t kMinSpklen = 1;

// The block supports standard and fast mode; it takes the reserved speed 0
// and high speed as its maximum, fast.
std::uint32_t NormaliseCon(std::uint32_t value) {
  value &= 0x7FF;
  const std::uint32_t speed = value & kConSpeedMask;
  if (speed != kConSpeedStandard && speed != kConSpeedFast) {
    value = (value & ~kConSpeedMask) | kConSpeedFast;
  }
  return value;
}

bool IsReadOnlyRegister(std::uint32_t offset) {
  switch (offset) {
    case kIntrStat:
    case kRawIntrStat:
    case kClrIntr:
    case kClrRxUnder:
    case kClrRxOver:
    case kClrTxOver:
    case kClrRdReq:
    case kClrTxAbrt:
    case kClrRxDone:
    case kClrActivity:
    case kClrStopDet:
    case kClrStartDet:
    case kClrGenCall:
    case kStatus:
    case kTxflr:
    case kRxflr:
    case kTxAbrtSource:
    case kEnableStatus:
    case kCompParam1:
    case kCompVersion:
    case kCompType:
      return true;
    default:
      return false;
  }
}

}  // namespace

DwI2cParams IntelLpssI2cParams(std::uint64_t inputClockHz) { return {inputClockHz, 64, 64, true}; }

DwI2cParams AmdI2cParams() { return {150'000'000, 32, 32, false}; }

DwI2cController::DwI2cController(const DwI2cParams& params, const Clock& clock, I2cBus& bus,
                                 BusTrace* trace)
    : params_(params),
      clock_(clock),
      bus_(bus),
      trace_(trace),
      tx_(params.txFifoDepth),
      rx_(params.rxFifoDepth) {
  ResetRegisters();
}

void DwI2cController::ResetRegisters() {
  con_ = kResetCon;
  tar_ = kResetTar;
  sar_ = kResetSar;
  ssHcnt_ = kResetSsSclHcnt;
  ssLcnt_ = kResetSsSclLcnt;
  fsHcnt_ = kResetFsSclHcnt;
  fsLcnt_ = kResetFsSclLcnt;
  intrMask_ = kResetIntrMask;
  rxTl_ = 0;
  txTl_ = 0;
  enable_ = 0;
  sdaHold_ = kResetSdaHold;
  sdaSetup_ = kResetSdaSetup;
  ackGeneralCall_ = 1;
  spklen_ = kResetFsSpklen;
  sticky_ = 0;
  abortSource_ = 0;
  flushHeld_ = false;
  userAbort_ = false;
  userAbortFlushed_ = 0;
  enabledStatus_ = false;
  statusPending_ = false;
  tx_.clear();
  rx_.clear();
}

// The databook's SCL timing, without the bus's own rise and fall times:
// high for HCNT + SPKLEN + 7 input clock periods, low for LCNT + 1.
std::uint64_t DwI2cController::SclHighPeriods() const {
  const bool standard = (con_ & kConSpeedMask) == kConSpeedStandard;
  return (standard ? ssHcnt_ : fsHcnt_) + spklen_ + 7;
}

std::uint64_t DwI2cController::SclLowPeriods() const {
  const bool standard = (con_ & kConSpeedMask) == kConSpeedStandard;
  return (standard ? ssLcnt_ : fsLcnt_) + 1;
}

std::uint64_t DwI2cController::InputClockPs(std::uint64_t periods) const {
  return periods * 1'000'000'000'000ull / params_.inputClockHz;
}

void DwI2cController::Ignore(std::uint32_t offset, std::uint32_t value, IgnoredBecause why) {
  ++record_.ignoredWriteCount;
  if (record_.ignoredWrites.size() < DwI2cRecord::kKeptIgnoredWrites) {
    record_.ignoredWrites.push_back({offset, value, why});
  }
}

std::uint32_t DwI2cController::Read32(std::uint32_t offset) {
  CatchUp();
  ++record_.reads;
  if (params_.lpssResetRegister && offset == kLpssResets) return resets_;
  if (params_.lpssResetRegister && offset == kLpssCapabilities) return faults_.lpssUart ? kLpssTypeUart : 0;
  if (offset >= 0x100 || inReset()) return 0;
  switch (offset) {
    case kCon:
      return con_;
    case kTar:
      return tar_;
    case kSar:
      return sar_;
    case kDataCmd:
      return PopRx();
    case kSsSclHcnt:
      return ssHcnt_;
    case kSsSclLcnt:
      return ssLcnt_;
    case kFsSclHcnt:
      return fsHcnt_;
    case kFsSclLcnt:
      return fsLcnt_;
    case kIntrStat:
      return RawInterrupts() & intrMask_;
    case kIntrMask:
      return intrMask_;
    case kRawIntrStat:
      return RawInterrupts();
    case kRxTl:
      return rxTl_;
    case kTxTl:
      return txTl_;
    case kClrIntr: {
      const std::uint32_t pending = (RawInterrupts() & intrMask_) != 0 ? 1 : 0;
      ClearSticky(~0u);
      return pending;
    }
    case kClrRxUnder:
      return ClearSticky(kIntrRxUnder);
    case kClrTxOver:
      return ClearSticky(kIntrTxOver);
    case kClrTxAbrt:
      return ClearSticky(kIntrTxAbrt);
    case kClrActivity:
      return MasterActive() ? 1 : ClearSticky(kIntrActivity);
    case kClrStopDet:
      return ClearSticky(kIntrStopDet);
    case kClrStartDet:
      return ClearSticky(kIntrStartDet | kIntrRestartDet);
    case kClrRxOver:
    case kClrRdReq:
    case kClrRxDone:
    case kClrGenCall:
      return 0;  // nothing here ever raises them: the block is never a slave
    case kEnable:
      return enable_ | (userAbort_ ? kEnableAbort : 0u);
    case kStatus:
      return Status();
    case kTxflr:
      return static_cast<std::uint32_t>(txLevel());
    case kRxflr:
      return static_cast<std::uint32_t>(rx_.size());
    case kSdaHold:
      return sdaHold_;
    case kTxAbrtSource:
      return abortSource_;
    case kSdaSetup:
      return sdaSetup_;
    case kAckGeneralCall:
      return ackGeneralCall_;
    case kEnableStatus:
      return enabledStatus_ ? 1 : 0;
    case kFsSpklen:
      return spklen_;
    case kCompParam1:
      // FIFO depths, encoded parameters, fast mode at most, 32-bit APB.
      return (params_.txFifoDepth - 1) << 16 | (params_.rxFifoDepth - 1) << 8 | 1u << 7 |
             2u << 2 | 2u;
    case kCompVersion:
      return kCompVersionValue;
    case kCompType:
      return faults_.notDw ? kCompTypeUart : kCompTypeValue;
    default:
      return 0;
  }
}

void DwI2cController::Write32(std::uint32_t offset, std::uint32_t value) {
  CatchUp();
  ++record_.writes;
  if (params_.lpssResetRegister && offset == kLpssResets) {
    WriteResets(value);
    return;
  }
  if (offset >= 0x100) {
    Ignore(offset, value, IgnoredBecause::NoRegister);
    return;
  }
  if (inReset()) {
    Ignore(offset, value, IgnoredBecause::InReset);
    return;
  }
  // Set-up registers only take writes while the controller is fully disabled.
  std::uint32_t* setup = nullptr;
  std::uint32_t setupValue = value;
  switch (offset) {
    case kCon:
      setup = &con_;
      setupValue = NormaliseCon(value);
      break;
    case kTar:
      setup = &tar_;
      setupValue = value & 0x1FFF;
      break;
    case kSar:
      setup = &sar_;
      setupValue = value & 0x3FF;
      break;
    case kSsSclHcnt:
      setup = &ssHcnt_;
      setupValue = std::max(value & 0xFFFF, kMinHcnt);
      break;
    case kSsSclLcnt:
      setup = &ssLcnt_;
      setupValue = std::max(value & 0xFFFF, kMinLcnt);
      break;
    case kFsSclHcnt:
      setup = &fsHcnt_;
      setupValue = std::max(value & 0xFFFF, kMinHcnt);
      break;
    case kFsSclLcnt:
      setup = &fsLcnt_;
      setupValue = std::max(value & 0xFFFF, kMinLcnt);
      break;
    case kSdaHold:
      setup = &sdaHold_;
      setupValue = value & 0x00FFFFFF;
      break;
    case kSdaSetup:
      setup = &sdaSetup_;
      setupValue = value & 0xFF;
      break;
    case kFsSpklen:
      setup = &spklen_;
      setupValue = std::max(value & 0xFF, kMinSpklen);
      break;
    case kDataCmd:
      PushCommand(value);
      break;
    case kIntrMask:
      intrMask_ = value & 0x7FFF;
      break;
    case kRxTl:
      rxTl_ = std::min(value & 0xFF, params_.rxFifoDepth - 1);
      break;
    case kTxTl:
      txTl_ = std::min(value & 0xFF, params_.txFifoDepth - 1);
      break;
    case kAckGeneralCall:
      ackGeneralCall_ = value & 1;
      break;
    case kEnable:
      WriteEnable(value);
      break;
    default:
      Ignore(offset, value,
             IsReadOnlyRegister(offset) ? IgnoredBecause::ReadOnly : IgnoredBecause::NoRegister);
      break;
  }
  if (setup != nullptr) {
    if (Configurable()) {
      *setup = setupValue;
    } else {
      Ignore(offset, value, IgnoredBecause::Enabled);
    }
  }
  Kick(clock_.NowNs());
}

void DwI2cController::NarrowWrite(std::uint32_t offset, std::uint32_t value) {
  CatchUp();
  ++record_.writes;
  Ignore(offset, value, IgnoredBecause::Narrow);
  TraceNarrow("write", offset, 0);
}

// The block's APB interface is 32 bits wide and the drivers only ever
// access it so; what a narrower access would do is left undefined, so it
// is refused and said so.
std::uint32_t DwI2cController::NarrowRead(std::uint32_t offset, unsigned bytes) {
  CatchUp();
  ++record_.reads;
  ++record_.narrowReads;
  TraceNarrow("read", offset, bytes);
  return 0xFFFFFFFFu;
}

void DwI2cController::TraceNarrow(const char* what, std::uint32_t offset, unsigned bytes) {
  if (trace_ == nullptr) return;
  char line[96];
  if (bytes != 0) {
    std::snprintf(line, sizeof line, "! %u-bit %s at %03X refused: 32-bit accesses only", bytes * 8, what,
                  static_cast<unsigned>(offset));
  } else {
    std::snprintf(line, sizeof line, "! narrow %s at %03X refused: 32-bit accesses only", what,
                  static_cast<unsigned>(offset));
  }
  trace_->WriteLine(line);
}

void DwI2cController::WriteResets(std::uint32_t value) {
  const bool wasOut = !inReset();
  resets_ = value & kLpssOutOfReset;
  if (wasOut && inReset()) {
    DropTransaction();
    ResetRegisters();
  }
}

void DwI2cController::PowerOnReset() {
  DropTransaction();
  ResetRegisters();
  resets_ = 0;
}

void DwI2cController::WriteEnable(std::uint32_t value) {
  // ABORT is taken only while the block is enabled and stays enabled; once
  // set, only the block clears it.
  const bool abort = (value & kEnableAbort) != 0 && (value & kEnableBit) != 0 &&
                     (enable_ & kEnableBit) != 0 && enabledStatus_;
  enable_ = value & kEnableBit;
  const std::uint64_t now = clock_.NowNs();
  if (abort && !userAbort_) BeginUserAbort(now);
  if (enable_ != 0) {
    if (enabledStatus_) {
      statusPending_ = false;  // a disable still waiting for the bus is called off
    } else if (!faults_.dead && !(statusPending_ && statusTarget_)) {
      ScheduleStatus(true, now + kEnableLatencyNs);
    }
    return;
  }
  if (!enabledStatus_) {
    statusPending_ = false;  // an enable not yet in effect is called off
    record_.flushedCommands += tx_.size();
    tx_.clear();
    return;
  }
  // Queued commands never reach the wire. A byte on the wire ends; then a
  // transfer whose last command asked for a STOP ends, and the status
  // follows. One that did not stays open, SCL held low, and the block
  // stays enabled for as long as it holds (only an ABORT ends it).
  record_.flushedCommands += tx_.size();
  tx_.clear();
  if (phase_ == Phase::Idle && !faults_.neverDisables) ScheduleStatus(false, now + kDisableLatencyNs);
}

void DwI2cController::ScheduleStatus(bool enabled, std::uint64_t at) {
  statusPending_ = true;
  statusTarget_ = enabled;
  statusAt_ = at;
}

void DwI2cController::ApplyStatus() {
  statusPending_ = false;
  enabledStatus_ = statusTarget_;
  if (enabledStatus_) {
    // The timing registers cannot change while enabled.
    highPs_ = SclHighPs();
    lowPs_ = SclLowPs();
    bitPs_ = SclPeriodPs();
  } else {
    tx_.clear();
    rx_.clear();
  }
}

// The block takes commands from the moment IC_ENABLE is set, before its
// status says so; they wait in the FIFO until it is up.
void DwI2cController::PushCommand(std::uint32_t value) {
  if ((enable_ & 1) == 0) {
    Ignore(kDataCmd, value, IgnoredBecause::Disabled);
  } else if (flushHeld_) {
    Ignore(kDataCmd, value, IgnoredBecause::AbortFlush);
  } else if (tx_.size() >= params_.txFifoDepth) {
    sticky_ |= kIntrTxOver;
    Ignore(kDataCmd, value, IgnoredBecause::TxFifoFull);
  } else {
    tx_.push_back(static_cast<std::uint16_t>(value & 0x7FF));
  }
}

std::uint32_t DwI2cController::PopRx() {
  if (rx_.empty()) {
    sticky_ |= kIntrRxUnder;
    return 0;
  }
  const std::uint8_t value = rx_.front();
  rx_.pop_front();
  Kick(clock_.NowNs());  // a read held for lack of room may go on
  return value;
}

std::uint32_t DwI2cController::RawInterrupts() const {
  std::uint32_t bits = sticky_;
  if (rx_.size() > rxTl_) bits |= kIntrRxFull;
  if (enabledStatus_ && txLevel() <= txTl_) bits |= kIntrTxEmpty;
  if (MasterActive()) bits |= kIntrActivity;
  if (phase_ == Phase::Hold) bits |= kIntrMasterOnHold;
  if (faults_.txAbortStuck) bits |= kIntrTxAbrt;
  return bits;
}

std::uint32_t DwI2cController::Status() const {
  std::uint32_t status = 0;
  if (MasterActive()) status |= kStatusActivity | kStatusMasterActivity;
  if (txLevel() < params_.txFifoDepth && !faults_.txFifoFull) status |= kStatusTfnf;
  if (txLevel() == 0) status |= kStatusTfe;
  if (!rx_.empty()) status |= kStatusRfne;
  if (rx_.size() >= params_.rxFifoDepth || faults_.rxFullStuck) status |= kStatusRff;
  return status;
}

std::uint32_t DwI2cController::ClearSticky(std::uint32_t bits) {
  const std::uint32_t was = (RawInterrupts() & bits) != 0 ? 1 : 0;
  sticky_ &= ~bits;
  if ((bits & kIntrTxAbrt) != 0) {
    abortSource_ = 0;
    flushHeld_ = false;
  }
  return was;
}

}  // namespace sim

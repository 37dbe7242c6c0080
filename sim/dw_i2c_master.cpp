// The controller's master state machine on the wire.
//
// Commands leave the TX FIFO one by one as their byte starts on the wire.
// The first command of a transaction (or one with RESTART, or one that turns
// the direction) first puts a START or repeated START and the address on the
// bus, the direction taken from its CMD bit. A command with STOP ends the
// transaction; without one the master holds SCL low until the next command
// arrives, also when the host clears IC_ENABLE meanwhile. A NACK aborts:
// TX_ABRT, the TX FIFO flushed and held so until IC_CLR_TX_ABRT is read,
// then STOP. So does the host's IC_ENABLE.ABORT, at the end of the byte on
// the wire, with ABRT_USER_ABRT as the source.
//
// Durations in SCL periods: START or repeated START plus the address 10,
// a data byte 9 plus whatever the device stretches, STOP and bus free 1.
#include <algorithm>

#include "sim/dw_i2c_controller.h"

namespace sim {

using namespace dw;

namespace {

constexpr unsigned kAddressBits = 10;
constexpr unsigned kByteBits = 9;
constexpr unsigned kStopBits = 1;

}  // namespace

bool DwI2cController::CanDrive() const {
  return enabledStatus_ && (enable_ & 1) != 0 && (con_ & kConMaster) != 0 && !faults_.sclHeld;
}

void DwI2cController::RunDueEvents() {
  const std::uint64_t now = clock_.NowNs();
  for (;;) {
    const bool phaseDue = TimedPhase() && phaseEnd_ <= now;
    const bool statusDue = statusPending_ && statusAt_ <= now;
    if (!phaseDue && !statusDue) break;
    if (statusDue && (!phaseDue || statusAt_ <= phaseEnd_)) {
      const std::uint64_t at = statusAt_;
      ApplyStatus();
      Kick(at);
    } else {
      EndPhase();
    }
  }
}

void DwI2cController::Kick(std::uint64_t now) {
  if (phase_ == Phase::Idle) {
    TryStart(now);
  } else if (phase_ == Phase::Hold) {
    Next(now);
  }
}

void DwI2cController::EndPhase() {
  const std::uint64_t t = phaseEnd_;
  switch (phase_) {
    case Phase::Address:
      EndAddress(t);
      break;
    case Phase::Data:
      EndByte(t);
      break;
    case Phase::Stop:
      EndStop(t);
      break;
    case Phase::Idle:
    case Phase::Hold:
      break;
  }
}

void DwI2cController::TryStart(std::uint64_t t) {
  if (CanDrive() && !tx_.empty() && !flushHeld_) BeginAddress(t, false);
}

// What follows once the bus is between bytes of an open transaction.
void DwI2cController::Next(std::uint64_t t) {
  if (userAbort_) {
    BeginStop(t);
    return;
  }
  // A disable has flushed the FIFO: the master holds the bus.
  if (tx_.empty() || faults_.sclHeld) {
    phase_ = Phase::Hold;
    return;
  }
  const std::uint16_t command = tx_.front();
  const bool read = (command & kCmdRead) != 0;
  if (!awaitingFirstByte_ && ((command & kCmdRestart) != 0 || read != txnRead_)) {
    // Without restart support the block ends the transaction and starts anew.
    if ((con_ & kConRestartEnable) != 0) {
      BeginAddress(t, true);
    } else {
      BeginStop(t);
    }
    return;
  }
  if (read && rx_.size() >= params_.rxFifoDepth) {
    phase_ = Phase::Hold;  // no room for the byte: stretch until the FIFO is read
    return;
  }
  BeginByte(t);
}

void DwI2cController::BeginAddress(std::uint64_t t, bool restart) {
  const std::uint16_t command = tx_.front();
  // RESTART_DET is a slave's interrupt: a master's own repeated START
  // raises only START_DET.
  if (restart) CloseTraceLine();
  txnOpen_ = true;
  txnRead_ = (command & kCmdRead) != 0;
  std::uint8_t addressByte;
  if ((tar_ & kTarSpecial) != 0) {
    // General call or START byte: never a 7-bit device's own address.
    txnAddress7_ = -1;
    addressByte = (tar_ & kTarGcOrStart) != 0 ? 0x01 : 0x00;
  } else if ((tar_ & kTar10BitMaster) != 0 || (con_ & kCon10BitMaster) != 0) {
    // The first byte of a 10-bit address, 11110 A9 A8: no 7-bit device matches it.
    txnAddress7_ = -1;
    addressByte = static_cast<std::uint8_t>(0xF0 | ((tar_ >> 7) & 0x6));
  } else {
    txnAddress7_ = static_cast<int>(tar_ & 0x7F);
    addressByte = static_cast<std::uint8_t>(txnAddress7_ << 1);
  }
  if (trace_ != nullptr) line_.Begin(txnRead_, static_cast<std::uint8_t>(addressByte & 0xFE));
  sticky_ |= kIntrStartDet | kIntrActivity;
  const bool first = record_.transactions == 0;
  record_.shortestSclHighPs = first ? highPs_ : std::min(record_.shortestSclHighPs, highPs_);
  record_.shortestSclLowPs = first ? lowPs_ : std::min(record_.shortestSclLowPs, lowPs_);
  ++record_.transactions;
  phase_ = Phase::Address;
  phaseEnd_ = t + BitsNs(kAddressBits);
}

void DwI2cController::EndAddress(std::uint64_t t) {
  I2cDevice* device = nullptr;
  if (txnAddress7_ >= 0 && bus_.Routed()) device = bus_.Device(static_cast<std::uint8_t>(txnAddress7_));
  // A repeated START to someone else ends the previous device's transaction.
  if (txnDevice_ != nullptr && txnDevice_ != device) txnDevice_->Stop();
  txnDevice_ = nullptr;
  if (device != nullptr && device->Start(static_cast<std::uint8_t>(txnAddress7_), txnRead_)) {
    txnDevice_ = device;
    awaitingFirstByte_ = true;
    Next(t);
    return;
  }
  ++record_.addressNacks;
  std::uint32_t source = kAbrt7BitAddrNoAck;
  if ((tar_ & kTarSpecial) != 0) {
    source = kAbrtGeneralCallNoAck;
  } else if (txnAddress7_ < 0) {
    source = kAbrt10BitAddrNoAck;
  }
  Abort(t, source);
}

void DwI2cController::BeginByte(std::uint64_t t) {
  current_ = tx_.front();
  tx_.pop_front();
  awaitingFirstByte_ = false;
  const std::uint64_t stretch = txnDevice_->StretchNs();
  if ((current_ & kCmdRead) != 0) readValue_ = txnDevice_->Read();
  phase_ = Phase::Data;
  phaseEnd_ = t + stretch + BitsNs(kByteBits);
}

void DwI2cController::EndByte(std::uint64_t t) {
  ++record_.bytes;
  if ((current_ & kCmdRead) != 0) {
    // The master acknowledges every byte but one read with STOP; the
    // devices here do not ask.
    if (trace_ != nullptr) line_.Byte(readValue_);
    if (!faults_.rxDataLost) rx_.push_back(readValue_);
  } else {
    const auto byte = static_cast<std::uint8_t>(current_);
    if (trace_ != nullptr) line_.Byte(byte);
    if (!txnDevice_->Write(byte)) {
      ++record_.dataNacks;
      Abort(t, kAbrtTxDataNoAck);
      return;
    }
  }
  if ((current_ & kCmdStop) != 0) {
    BeginStop(t);
  } else {
    Next(t);
  }
}

void DwI2cController::Abort(std::uint64_t t, std::uint32_t source) {
  const auto flushed = static_cast<std::uint32_t>(tx_.size());
  record_.flushedCommands += flushed;
  tx_.clear();
  sticky_ |= kIntrTxAbrt;
  abortSource_ = source | (flushed < 0x1FF ? flushed : 0x1FF) << 23;
  flushHeld_ = true;
  if (trace_ != nullptr) line_.MarkNack();
  BeginStop(t);
}

// IC_ENABLE.ABORT: the FIFOs are flushed at once; a byte on the wire ends
// first, then the STOP goes out, and TX_ABRT follows it. With no transfer
// open the abort is over at once.
void DwI2cController::BeginUserAbort(std::uint64_t t) {
  userAbort_ = true;
  userAbortFlushed_ = static_cast<std::uint32_t>(tx_.size());
  record_.flushedCommands += userAbortFlushed_;
  tx_.clear();
  rx_.clear();
  if (phase_ == Phase::Idle) {
    EndUserAbort();
  } else if (phase_ == Phase::Hold) {
    BeginStop(t);
  }
}

void DwI2cController::EndUserAbort() {
  userAbort_ = false;
  sticky_ |= kIntrTxAbrt;
  abortSource_ |= kAbrtUserAbort | (userAbortFlushed_ < 0x1FF ? userAbortFlushed_ : 0x1FF) << 23;
  flushHeld_ = true;
}

void DwI2cController::BeginStop(std::uint64_t t) {
  phase_ = Phase::Stop;
  phaseEnd_ = t + BitsNs(kStopBits);
}

void DwI2cController::EndStop(std::uint64_t t) {
  if (txnDevice_ != nullptr) txnDevice_->Stop();
  txnDevice_ = nullptr;
  CloseTraceLine();
  txnOpen_ = false;
  phase_ = Phase::Idle;
  sticky_ |= kIntrStopDet;
  if (userAbort_) EndUserAbort();
  if ((enable_ & 1) == 0 && enabledStatus_ && !faults_.neverDisables) {
    ScheduleStatus(false, t + kDisableLatencyNs);
  }
  TryStart(t);
}

void DwI2cController::CloseTraceLine() {
  if (trace_ != nullptr && line_.open()) trace_->WriteLine(line_.Take());
}

// The controller goes back into reset mid-transfer: the lines are released,
// which the devices see as the end of the transaction.
void DwI2cController::DropTransaction() {
  if (txnDevice_ != nullptr) txnDevice_->Stop();
  txnDevice_ = nullptr;
  CloseTraceLine();
  txnOpen_ = false;
  phase_ = Phase::Idle;
}

// The run ends, but the hardware would not stop mid-byte: whatever is on
// the wire or queued runs to its end (a held transaction stays open).
void DwI2cController::Finish() {
  CatchUp();
  for (;;) {
    const bool timed = TimedPhase();
    if (statusPending_ && (!timed || statusAt_ <= phaseEnd_)) {
      const std::uint64_t at = statusAt_;
      ApplyStatus();
      Kick(at);
    } else if (timed) {
      EndPhase();
    } else {
      break;
    }
  }
  CloseTraceLine();
}

}  // namespace sim

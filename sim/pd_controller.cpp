#include "sim/pd_controller.h"

#include <algorithm>
#include <stdexcept>

#include "sim/factory_image.h"

namespace sim {
namespace {

constexpr unsigned kMaxFlashKb = 16384;
// The largest data write the bridge takes: its prefix and one whole page.
constexpr std::size_t kMaxDataFrame = 2 + SpiFlash::kPageSize;

// Bridge command codes.
constexpr std::uint8_t kWriteEnable = 0x04;
constexpr std::uint8_t kWriteDisable = 0x05;
constexpr std::uint8_t kChipErase = 0x07;
constexpr std::uint8_t kReadStatus = 0x09;
constexpr std::uint8_t kRead = 0x13;
constexpr std::uint8_t kPageProgram = 0x16;
// Second byte of the command frame that is really the dummy-FF stop-CPU write.
constexpr std::uint8_t kStopCpuCode = 0x9C;

// Registers behind the FF prefix.
constexpr std::uint8_t kRegChipId = 0xC0;  // four read-only bytes C0..C3
constexpr std::uint8_t kRegWatchdogArm = 0xD0;
constexpr std::uint8_t kRegWatchdogKick = 0xD1;
constexpr std::uint8_t kRegWatchdogCtrl = 0xD3;
constexpr std::uint8_t kRegWatchdogFire = 0xEB;
constexpr std::uint8_t kRegTestMode = 0xF8;
constexpr std::uint8_t kRegAddress = 0xFA;
constexpr std::uint8_t kRegCommand = 0xFE;
constexpr std::uint8_t kRegEraseBusy = 0xFF;
// Bit 4 is the watchdog enable; the other bits must keep their reset value.
constexpr std::uint8_t kWatchdogCtrlReset = 0x21;

// Busy byte: bit 4 while an erase runs; bit 0 is always set (bridge ready).
constexpr std::uint8_t kBusyIdle = 0x01;
constexpr std::uint8_t kBusyErasing = 0x11;

bool IsBridgeCode(std::uint8_t code) {
  switch (code) {
    case kWriteEnable:
    case kWriteDisable:
    case kChipErase:
    case kReadStatus:
    case kRead:
    case kPageProgram:
    case kStopCpuCode:
      return true;
    default:
      return false;
  }
}

std::size_t FlashBytes(const PdConfig& config) {
  const unsigned kb = config.FlashSizeKb();
  if (kb == 0 || kb > kMaxFlashKb) {
    throw std::runtime_error("flash size " + std::to_string(kb) + " KB is not between 1 and " +
                             std::to_string(kMaxFlashKb) + " KB");
  }
  return static_cast<std::size_t>(kb) * 1024;
}

// Bits 3..2 of ID byte 3 on the models that carry them: 64, 128, 256 KB.
std::optional<unsigned> SizeBitsKb(std::uint8_t idByte3) {
  static constexpr std::optional<unsigned> kBySizeBits[4] = {64, 128, 256, std::nullopt};
  return kBySizeBits[(idByte3 >> 2) & 0x03];
}

}  // namespace

std::uint8_t PdConfig::TcpiAddress() const { return tcpiAddress.value_or(DefaultTcpiAddressForChip(chipId, address)); }

// Models 56 and 57 answer eight or nine bus addresses above a firmware
// interface at 80 or 84; families 52 and 58 answer 80 below one at CC to D2.
std::uint8_t DefaultTcpiAddressForChip(const std::array<std::uint8_t, 4>& id, std::uint8_t firmwareAddress) {
  const std::uint8_t family = id[0];
  const std::uint8_t model = id[1];
  if (model == 0x56 || model == 0x57) {
    if (firmwareAddress == 0x80) return 0x98;
    if (firmwareAddress == 0x84) return 0x9C;
    return firmwareAddress;
  }
  if (family == 0x52 || family == 0x58) {
    switch (firmwareAddress) {
      case 0xCC:
      case 0xCE:
      case 0xD0:
      case 0xD2:
        return static_cast<std::uint8_t>(firmwareAddress - 0x80);
      default:
        break;
    }
  }
  return firmwareAddress;
}

unsigned PdConfig::FlashSizeKb() const { return flashSizeKb.value_or(FlashSizeKbForChip(chipId)); }

std::uint64_t PdConfig::EraseDurationNs() const {
  if (eraseTimeUs != 0) return eraseTimeUs * 1000;
  return static_cast<std::uint64_t>(FlashSizeKb()) * 1'500'000;
}

unsigned FlashSizeKbForChip(const std::array<std::uint8_t, 4>& id) {
  constexpr unsigned kNoSizeBitsKb = 256;
  const std::uint8_t family = id[0];
  const std::uint8_t model = id[1];
  const bool variantTop = (id[2] & 0x80) != 0;
  std::optional<unsigned> kb;
  if (family == 0x52) {
    if (model == 0x30) kb = SizeBitsKb(id[3]);
    // Model 30 without size bits falls back on the variant bit like the rest.
    const bool wide = model >= 0x50 && model <= 0x5F;
    if (!kb) kb = variantTop != wide ? 128 : 64;
  } else if (family == 0x88) {
    if (model == 0x53 && id[2] == 0x00) {
      kb = 64;
    } else if (model >= 0x56 && model <= 0x59) {
      kb = SizeBitsKb(id[3]);
    } else {
      kb = variantTop ? 64 : ((id[2] & 0x7F) < 5 ? 32 : 128);
    }
  }
  return kb.value_or(kNoSizeBitsKb);
}

PdGeometry GeometryForChip(const std::array<std::uint8_t, 4>& id) {
  const std::uint8_t family = id[0];
  const std::uint8_t model = id[1];
  if (family == 0x52) {
    if (model >= 0x50 && model <= 0x5F) return {{0x00, 0x00}, 3, 1};
    return {{0xFF, 0xF7}, 3, 0};
  }
  if (family == 0x88) {
    if (model == 0x53 && id[2] == 0x00) return {{0xFF, 0xF7}, 2, 0};
    if (model >= 0x56 && model <= 0x59) return {{0xFF, 0xF7}, 3, 0};
    if ((id[2] & 0x7F) < 5) return {{0x00, 0x00}, 2, 0};
    return {{0x00, 0x00}, 3, 1};
  }
  // No supported family: the bridge answers in its most common format.
  return {};
}

std::uint8_t StopCpuDummyForChip(const std::array<std::uint8_t, 4>& id) {
  return (id[1] == 0x51 || id[1] == 0x53) ? 0xFF : 0x00;
}

bool UsesWatchdogD0EbForChip(const std::array<std::uint8_t, 4>& id) {
  return (id[0] == 0x52 && id[1] == 0x30) || (id[0] == 0x88 && id[1] == 0x58);
}

PdController::PdController(PdConfig config, const Clock& clock)
    : config_(std::move(config)),
      clock_(clock),
      geometry_(GeometryForChip(config_.chipId)),
      dummy_(StopCpuDummyForChip(config_.chipId)),
      watchdogD0Eb_(UsesWatchdogD0EbForChip(config_.chipId)),
      flash_(FlashBytes(config_)) {
  if ((config_.address & 1) != 0 || (config_.TcpiAddress() & 1) != 0) {
    throw std::runtime_error("PD controller addresses must be in 8-bit form (bit 0 clear)");
  }
  for (const std::uint32_t offset : config_.faults.flips) {
    if (offset >= flash_.size()) {
      throw std::runtime_error("flip offset " + std::to_string(offset) + " lies outside the " +
                               std::to_string(flash_.size()) + "-byte flash");
    }
    flash_.SetReadFlip(offset);
  }
  flash_.cells() = FactoryFlash(flash_.size());
  if (!config_.flashPath.empty()) {
    std::string error;
    if (!flash_.LoadFile(config_.flashPath, error)) throw std::runtime_error(error);
  }
  flash_.SetLatchStuck(config_.faults.welStuck);
  bytes_.reserve(kMaxDataFrame + 1);
  ResetRegisters();
  Boot();
}

std::unique_ptr<PdController> PdController::Create(const PdConfig& config, const Clock& clock, std::string& error) {
  try {
    return std::make_unique<PdController>(config, clock);
  } catch (const std::runtime_error& e) {
    error = e.what();
    return nullptr;
  }
}

std::vector<std::uint8_t> PdController::BusAddresses7() const {
  std::vector<std::uint8_t> addresses{static_cast<std::uint8_t>(config_.address >> 1)};
  if (config_.TcpiAddress() != config_.address) addresses.push_back(config_.TcpiAddress() >> 1);
  return addresses;
}

void PdController::ResetRegisters() {
  regs_.fill(0x00);
  for (unsigned i = 0; i < 4; ++i) regs_[kRegChipId + i] = config_.chipId[i];
  regs_[kRegWatchdogCtrl] = kWatchdogCtrlReset;
}

bool PdController::IsTcpiCommand(std::uint8_t byte) const {
  switch (byte) {
    case 0xB6:
    case 0xE4:
    case 0xE3:
    case 0xE2:
    case 0xE1:
    case 0xE0:
    case 0xDD:
      return true;
    default:
      return false;
  }
}

bool PdController::Start(std::uint8_t address7, bool read) {
  if (open_) EndTransaction();  // a repeated START ends the frame before it
  ++record_.busBytes;
  const bool firmware = IsFirmware(address7);
  if (!firmware && !IsTcpi(address7)) return false;

  const PdFaults& faults = config_.faults;
  bool ack = true;
  bool nackData = false;
  bool dropped = false;
  if (firmware) {
    const std::uint64_t number = read ? ++record_.readTransactions : ++record_.writeTransactions;
    if (!read && faults.powerLoss && number >= *faults.powerLoss && powered_) PowerOff();
    const auto& nacks = read ? faults.nackRead : faults.nackWrite;
    if (faults.absent || nacks.count(number) != 0) ack = false;
    if (!read) {
      nackData = faults.nackData.count(number) != 0;
      dropped = faults.dropWrite.count(number) != 0;
    }
  } else if (faults.tcpiAbsent || !firmwareRunning()) {
    // The TCPI-mode address is served by the firmware itself.
    ack = false;
  }
  if (!powered_) ack = false;

  if (!ack) {
    if (keepFrames_) record_.frames.push_back({static_cast<std::uint8_t>(address7 << 1), read, true, {}});
    return false;
  }
  // A read answers from the frame written just before it, whether or not
  // that frame meant anything.
  if (!read && !dropped) source_ = ReadSource::None;
  open_ = true;
  openRead_ = read;
  openNacked_ = false;
  openNackData_ = nackData;
  openDropped_ = dropped;
  openAddress7_ = address7;
  kind_ = Kind::Unknown;
  bytes_.clear();
  return true;
}

bool PdController::Write(std::uint8_t byte) {
  ++record_.busBytes;
  if (!open_ || openRead_ || openNacked_) return false;
  if (openDropped_) {
    bytes_.push_back(byte);
    return true;
  }
  if (openNackData_ || !Accepts(byte)) {
    openNacked_ = true;
    ++record_.nackedBytes;
    bytes_.push_back(byte);  // it was on the wire; the log shows it
    return false;
  }
  bytes_.push_back(byte);
  return true;
}

// Whether `byte` can continue the frame in bytes_; sets kind_ as the frame
// becomes recognisable.
bool PdController::Accepts(std::uint8_t byte) {
  const std::size_t n = bytes_.size();
  if (n == 0) {
    if (IsTcpi(openAddress7_) && IsTcpiCommand(byte)) {
      if (config_.faults.tcpiAbsent || !firmwareRunning()) return false;
      kind_ = Kind::Tcpi;
      return true;
    }
    if (!IsFirmware(openAddress7_)) return false;
    if (byte == 0xAA) {
      kind_ = Kind::VerifyFail;
      ++record_.verifyFailNotices;  // it comes without a STOP: count it now
      return true;
    }
    if (byte == 0xFE) {
      kind_ = Kind::StopCpu1;
      return true;
    }
    return byte == 0xFF || byte == 0x00 || byte == geometry_.prefix[0];
  }

  switch (kind_) {
    case Kind::Tcpi:
    case Kind::VerifyFail:
      return false;
    case Kind::StopCpu1:
      return (n == 1 && byte == 0x9C) || (n == 2 && byte == 0x47);
    case Kind::StopCpu2:
      return (n == 2 && byte == 0x9C) || (n == 3 && byte == 0x47);
    case Kind::DataPort:
      return n < kMaxDataFrame;
    case Kind::Unknown:
      // n == 1: the second byte tells the frames apart.
      if (bytes_[0] == geometry_.prefix[0] && byte == geometry_.prefix[1]) {
        kind_ = Kind::DataPort;
        return true;
      }
      if (bytes_[0] == 0x00 && byte == 0xFE) {
        kind_ = Kind::StopCpu2;
        return true;
      }
      if (bytes_[0] == 0xFF) {
        kind_ = Kind::Register;
        return true;
      }
      return false;
    case Kind::Register:
      break;
  }

  switch (bytes_[1]) {
    case kRegCommand:
      if (n == 2) return IsBridgeCode(byte);
      if (n == 3) return byte == (bytes_[2] == kStopCpuCode ? 0x47 : 0x01);
      return false;
    case kRegAddress:
      return n < 2 + geometry_.addrBytes;
    case kRegEraseBusy:
      return false;
    case kRegTestMode:
      if (n == 2) return byte == 0x00 || byte == 0x3B;
      if (n == 3) return byte == (bytes_[2] == 0x00 ? 0x00 : 0xE1);
      return false;
    default:
      return n == 2;
  }
}

std::uint8_t PdController::Read() {
  ++record_.busBytes;
  if (!open_ || !openRead_) return 0xFF;
  std::uint8_t value = 0xFF;
  if (sourceAddress7_ == openAddress7_) {
    switch (source_) {
      case ReadSource::None:
        break;
      case ReadSource::Fixed:
        if (fixedIndex_ < fixedLength_) value = fixed_[fixedIndex_++];
        break;
      case ReadSource::Register:
        value = regs_[registerCursor_++];
        break;
      case ReadSource::BridgePort:
        if (bridgeCommand_ == kReadStatus) {
          value = StatusByte();
        } else if (bridgeCommand_ == kRead) {
          value = flash_.Read(bridgeAddress_);
          bridgeAddress_ = static_cast<std::uint32_t>((bridgeAddress_ + 1) % flash_.size());
        }
        break;
      case ReadSource::EraseBusy: {
        const bool busy = flash_.EraseBusy(clock_.NowNs()) || eraseBusyLatched_;
        value = busy ? kBusyErasing : kBusyIdle;
        break;
      }
    }
  }
  bytes_.push_back(value);
  return value;
}

void PdController::Stop() {
  if (open_) EndTransaction();
}

void PdController::EndTransaction() {
  open_ = false;
  if (!openRead_ && !openNacked_ && !openDropped_ && !bytes_.empty()) DecodeFrame();
  if (keepFrames_) {
    record_.frames.push_back({static_cast<std::uint8_t>(openAddress7_ << 1), openRead_, openNacked_, bytes_});
  }
}

void PdController::DecodeFrame() {
  sourceAddress7_ = openAddress7_;
  // A stop-CPU pair must not be split by another frame.
  const bool armed = stopArmed_;
  stopArmed_ = false;
  const std::size_t n = bytes_.size();

  switch (kind_) {
    case Kind::Tcpi:
      DecodeTcpi(bytes_[0]);
      return;
    case Kind::VerifyFail:
      return;  // counted when the byte arrived
    case Kind::StopCpu1:
      if (n == 3) {
        stopArmed_ = true;
      } else {
        ++record_.ignoredFrames;
      }
      return;
    case Kind::StopCpu2:
      if (n != 4) {
        ++record_.ignoredFrames;
      } else if (armed && bytes_[0] == dummy_) {
        halted_ = true;
      } else {
        ++record_.stopCpuRejected;
      }
      return;
    case Kind::DataPort:
      if (n == 2) {
        source_ = ReadSource::BridgePort;
      } else {
        BridgeData();
      }
      return;
    case Kind::Register:
      if (n == 4 && bytes_[1] == kRegCommand && bytes_[2] == kStopCpuCode) {
        // FF FE 9C 47: the stop-CPU write of a chip whose dummy byte is FF.
        if (armed && dummy_ == 0xFF) {
          halted_ = true;
        } else {
          ++record_.stopCpuRejected;
        }
        return;
      }
      DecodeRegisterFrame();
      return;
    case Kind::Unknown:
      ++record_.ignoredFrames;
      return;
  }
}

void PdController::DecodeTcpi(std::uint8_t command) {
  fixedIndex_ = 0;
  if (command == 0xB6) {
    fixed_ = config_.fwVersion;
    fixedLength_ = 2;
  } else {
    // E4, E3, E2, E1, E0, DD answer PD version bytes 0 to 5.
    const unsigned index = command == 0xDD ? 5u : static_cast<unsigned>(0xE4 - command);
    fixed_[0] = config_.pdVersion[index];
    fixedLength_ = 1;
  }
  source_ = ReadSource::Fixed;
}

void PdController::DecodeRegisterFrame() {
  const std::size_t n = bytes_.size();
  const std::uint8_t reg = n >= 2 ? bytes_[1] : 0;
  const bool complete = (reg == kRegCommand && n == 4) || (reg == kRegAddress && n == 2 + geometry_.addrBytes) ||
                        (reg == kRegEraseBusy && n == 2) || (reg == kRegTestMode && n == 4) ||
                        (reg != kRegCommand && reg != kRegAddress && reg != kRegTestMode && (n == 2 || n == 3));
  if (n < 2 || !complete) {
    ++record_.ignoredFrames;
    return;
  }
  switch (reg) {
    case kRegCommand:
      BridgeCommand(bytes_[2]);
      return;
    case kRegAddress:
      BridgeAddress();
      return;
    case kRegEraseBusy:
      source_ = ReadSource::EraseBusy;
      return;
    case kRegTestMode:
      if (bytes_[2] == 0x3B) {
        testMode_ = true;
      } else {
        testMode_ = false;
        flash_.DropLatch();  // the bridge closes with the test mode
      }
      return;
    default:
      if (n == 2) {
        source_ = ReadSource::Register;
        registerCursor_ = reg;
      } else {
        RegisterWrite(reg, bytes_[2]);
      }
      return;
  }
}

void PdController::BridgeCommand(std::uint8_t code) {
  bridgeCommand_ = code;
  const std::uint64_t now = clock_.NowNs();
  switch (code) {
    case kWriteEnable:
      if (!FlashWorkAllowed() || !flash_.WriteEnable(now)) ++record_.refusedFlashWork;
      return;
    case kWriteDisable:
      flash_.WriteDisable(now);
      record_.lastWriteDisableNs = now;
      record_.lastWriteDisableBusBytes = record_.busBytes;
      return;
    case kChipErase:
      if (!record_.eraseCommandNs) {
        record_.eraseCommandNs = now;
        record_.eraseCommandBusBytes = record_.busBytes;
      }
      if (!FlashWorkAllowed() || !flash_.StartChipErase(now, config_.EraseDurationNs())) {
        ++record_.refusedFlashWork;
      } else if (config_.faults.eraseStuck) {
        eraseBusyLatched_ = true;
      }
      return;
    default:
      return;  // status, read and page program act on the data frames
  }
}

void PdController::BridgeAddress() {
  const std::uint32_t offset = bytes_[2];
  std::uint32_t page = bytes_[3];
  if (geometry_.addrBytes == 3) page |= static_cast<std::uint32_t>(bytes_[4] >> geometry_.addrShift) << 8;
  // Address bits above the flash are not wired, as on a real part.
  bridgeAddress_ = static_cast<std::uint32_t>((page * SpiFlash::kPageSize + offset) % flash_.size());
}

void PdController::BridgeData() {
  if (bridgeCommand_ != kPageProgram) {
    ++record_.ignoredFrames;
    return;
  }
  if (!FlashWorkAllowed() ||
      !flash_.ProgramPage(clock_.NowNs(), bridgeAddress_, bytes_.data() + 2, bytes_.size() - 2)) {
    ++record_.refusedFlashWork;
  }
}

void PdController::RegisterWrite(std::uint8_t reg, std::uint8_t value) {
  if (reg >= kRegChipId && reg < kRegChipId + 4) {
    ++record_.ignoredFrames;  // read-only
    return;
  }
  regs_[reg] = value;
  if (watchdogD0Eb_) {
    if (reg == kRegWatchdogFire && value == 0x50) {
      if (regs_[kRegWatchdogArm] == 0x02) {
        Restart();
      } else {
        ++record_.watchdogRejected;
      }
    }
  } else if (reg == kRegWatchdogKick && value == 0x01) {
    if (regs_[kRegWatchdogCtrl] == (kWatchdogCtrlReset | 0x10)) {
      Restart();
    } else {
      ++record_.watchdogRejected;
    }
  }
}

void PdController::Boot() {
  flash_.Advance(clock_.NowNs());
  const auto signature = flash_.cells().begin() + kFlashSignatureAt;
  booted_ = std::any_of(signature, signature + kFlashSignatureBytes, [](std::uint8_t cell) { return cell != 0xFF; });
}

void PdController::PowerOff() {
  powered_ = false;
  flash_.PowerLoss(clock_.NowNs());
  source_ = ReadSource::None;
}

void PdController::PowerOn() {
  config_.faults.powerLoss.reset();
  powered_ = true;
  StartFromFlash();
}

void PdController::PowerCycle() {
  if (powered_) PowerOff();
  PowerOn();
}

void PdController::EndTransientFaults() {
  PdFaults& faults = config_.faults;
  faults.absent = false;
  faults.tcpiAbsent = false;
  faults.eraseStuck = false;
  faults.statusInvalid = false;
  faults.welStuck = false;
  faults.flips.clear();
  eraseBusyLatched_ = false;
  flash_.SetLatchStuck(false);
  flash_.ClearReadFlips();
}

PdState PdController::State() {
  PdState state;
  state.powered = powered_;
  state.running = firmwareRunning();
  state.halted = halted_;
  state.testMode = testMode_;
  state.eraseBusy = flash_.EraseBusy(clock_.NowNs()) || eraseBusyLatched_;
  return state;
}

std::string PdStateText(const PdState& state) {
  if (!state.powered) return "off";
  if (state.running) return "running";
  std::string text = state.halted ? "halted" : "boot code";
  if (state.testMode) text += ", test mode";
  if (state.eraseBusy) text += ", erase busy";
  return text;
}

void PdController::Restart() {
  StartFromFlash();
  ++record_.restarts;
}

void PdController::StartFromFlash() {
  Boot();
  halted_ = false;
  testMode_ = false;
  stopArmed_ = false;
  flash_.DropLatch();
  bridgeCommand_ = 0;
  bridgeAddress_ = 0;
  source_ = ReadSource::None;
  ResetRegisters();
}

std::uint8_t PdController::StatusByte() {
  const bool busy = flash_.EraseBusy(clock_.NowNs());
  std::uint8_t status = config_.faults.statusInvalid ? 0x00 : 0x80;
  if (flash_.writeEnabled()) status |= 0x02;
  if (busy) status |= 0x01;
  return status;
}

bool PdController::Finish(std::string& error) {
  flash_.Advance(clock_.NowNs());
  if (config_.flashPath.empty()) return true;
  return flash_.SaveFile(config_.flashPath, error);
}

}  // namespace sim
